// What both links show alike: per situation on the bus, the results, the start-up's one box and whether it ends.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "scale/ScaleConnection.h"
#include "tests/support/FakeWindowServices.h"
#include "tests/support/ScriptedDevice.h"

namespace testing_support {

// clang-format off
enum class Situation {
    NoDevice, ForeignDevices, ScalesAfterForeign, ListRefused, UnreadableDescriptor, OpenRefused, NodeLocked,
    ConfigurationRefused, SetConfigurationRefused, Unconfigured, BulkEndpoints, NoReadEndpoint, NoWriteEndpoint
};
// clang-format on

struct ConnectRow {
    Situation situation;
    const char* name;
    scale::FindResult find;
    scale::ConfigureResult configure;  // when found
    MessageRecord box;
    bool ends;
};

inline const std::vector<ConnectRow>& ConnectRows() {
    using S = Situation;
    using F = scale::FindResult;
    using C = scale::ConfigureResult;
    const auto stop = [](const char* text) {
        return MessageRecord{text, "Quelmar", platform::MessageIcon::Stop, platform::MessageButtons::Ok};
    };
    const MessageRecord ok{"Dispositivo Encontrado y Configurado!", "Quelmar", platform::MessageIcon::Information,
                           platform::MessageButtons::Ok};
    const MessageRecord unconfigurable = stop("No se pudo configurar el dispositivo");
    const MessageRecord locked = stop(
        "No se pudo abrir el dispositivo: el sistema no da permiso de acceso a la balanza USB. Instale la regla "
        "udev 60-quelmar.rules (la instala el paquete quelmar; sin él, packaging/udev/, ver docs/linux-usb.md) y "
        "vuelva a conectarla.");
    // clang-format off
    static const std::vector<ConnectRow> rows = {
        {S::NoDevice, "no device", F::NoDevice, C::Ok, stop("No hay dispositivos USB conectados!"), true},
        {S::ForeignDevices, "foreign devices", F::NotIdentified, C::Ok, stop("Fallo el GetDescriptor"), true},
        {S::ScalesAfterForeign, "scales after a foreign one", F::Ok, C::Ok, ok, false},
        {S::ListRefused, "list refused", F::NoList, C::Ok, stop("No se pudo crear una lista de dispositivos"), true},
        {S::UnreadableDescriptor, "unreadable descriptor", F::Ok, C::Ok, ok, false},
        {S::OpenRefused, "open refused", F::Ok, C::OpenFailed, stop("No se pudo abrir el dispositivo"), true},
        {S::NodeLocked, "node locked", F::Ok, C::OpenFailed, locked, true},
        {S::ConfigurationRefused, "configuration refused", F::Ok, C::ConfigurationFailed, unconfigurable, true},
        {S::SetConfigurationRefused, "set-configuration refused", F::Ok, C::ConfigurationFailed, unconfigurable, true},
        {S::Unconfigured, "unconfigured", F::Ok, C::Ok, ok, false},
        {S::BulkEndpoints, "bulk endpoints", F::Ok, C::Ok, ok, false},
        {S::NoReadEndpoint, "no in 0x81", F::Ok, C::ReadPipeFailed, stop("No se pudo bindear el pipe 0x81"), true},
        {S::NoWriteEndpoint, "no out 0x02", F::Ok, C::WritePipeFailed, stop("No se pudo bindear el pipe 0x02"), true},
    };
    // clang-format on
    return rows;
}

// The packets byte for byte on a configured link; `access(f)` hands the scripted scale to f while the bus holds still.
template <typename Access>
void ExpectPacketsByteForByte(scale::ScaleConnection& link, Access access) {
    using Bytes = std::vector<std::uint8_t>;
    const auto queue = [&](const Bytes& packet) { access([&](sim::ScriptedDevice& s) { s.QueuePacket(packet); }); };
    queue({2, 200, 0, 0x10, 0, 0, 0, 9});
    EXPECT_EQ(link.ReadWeight(), std::optional<std::uint8_t>(200));
    queue({2, 95, 0, 0x04, 1, 2, 3, 4});
    ASSERT_TRUE(link.ReadStatus());
    EXPECT_EQ(Bytes(link.StatusPacket(), link.StatusPacket() + 8), Bytes({2, 95, 0, 0x04, 1, 2, 3, 4}));
    // Set-limits leaves its bytes in the command buffer for the commands after it.
    ASSERT_TRUE(link.SendLimits({10, 20, 30, 40, 50, 60, 70, 255}, scale::LIMITS_AFTER_SAVE_TIMEOUT_MS));
    ASSERT_TRUE(link.SendRestart());
    access([](sim::ScriptedDevice& s) {
        EXPECT_EQ(s.Writes(), (std::vector<Bytes>{{1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
                                                  {2, 10, 20, 30, 40, 50, 60, 70, 255, 0, 0, 0, 0, 0, 0, 0},
                                                  {3, 10, 20, 30, 40, 50, 60, 70, 255, 0, 0, 0, 0, 0, 0, 0}}));
    });
    // Short packets are refused, not read with what the last one left behind.
    for (const Bytes& shortPacket : {Bytes{}, Bytes{2, 95, 0}}) {
        queue(shortPacket);
        EXPECT_FALSE(link.ReadStatus()) << shortPacket.size();
    }
    queue({2});  // a weight reply needs its weight byte
    EXPECT_EQ(link.ReadWeight(), std::nullopt);
    queue({2, 9});
    EXPECT_EQ(link.ReadWeight(), std::optional<std::uint8_t>(9));
}

}  // namespace testing_support
