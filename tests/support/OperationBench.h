// The scale operations over recording doubles: no window, no USB, no disk.
#pragma once

#include <array>
#include <deque>
#include <functional>
#include <utility>
#include <vector>

#include "scale/ScaleContext.h"
#include "storage/CalibrationFile.h"
#include "tests/support/FakeWindowServices.h"
#include "tests/support/MemoryFileSystem.h"

namespace testing_support {

// Counts its calls; ReadFields answers `accept` unless `onRead` is set.
class FakeFieldExchange final : public scale::FieldExchange {
public:
    bool ReadFields() override {
        ++reads;
        return onRead ? onRead() : accept;
    }
    void ShowFields() override { ++shows; }
    void ShowLoadedValues() override { ++loadedShows; }

    bool accept = true;
    std::function<bool()> onRead;
    int reads = 0, shows = 0, loadedShows = 0;
};

// Records the modes entered and whether "&Guardar" was enabled.
class FakeModes final : public scale::ModeControl {
public:
    void EnterMode(scale::Mode next) override { entered.push_back(mode = next); }
    void EnableSaveLimits() override { saveLimitsEnabled = true; }

    scale::Mode mode = scale::Mode::Unconfigured;
    std::vector<scale::Mode> entered;
    bool saveLimitsEnabled = false;
};

// Answers from queues (empty: none), records what was sent; never connects.
class FakeScaleLink final : public scale::ScaleConnection {
public:
    using Sent = std::pair<scale::LimitCounts, std::uint32_t>;  // the counts and the time-out in ms
    decltype(std::declval<ScaleConnection&>().FindScale()) FindScale() override { return {}; }
    decltype(std::declval<ScaleConnection&>().ConfigureScale()) ConfigureScale() override { return {}; }
    std::optional<std::uint8_t> ReadWeight() override {
        if (weights.empty()) return std::nullopt;
        const std::uint8_t weight = weights.front();
        weights.pop_front();
        return weight;
    }
    bool ReadStatus() override {
        if (packets.empty()) return false;
        packet = packets.front();
        packets.pop_front();
        return true;
    }
    bool SendRestart() override {
        ++restarts;
        return sendWorks;
    }
    bool SendLimits(const std::array<std::uint8_t, 8>& counts, std::uint32_t timeoutMs) override {
        sent.push_back({counts, timeoutMs});
        return sendWorks;
    }
    void Close() override {}
    const std::uint8_t* StatusPacket() const override { return packet.data(); }

    std::deque<std::uint8_t> weights;
    std::deque<std::array<std::uint8_t, 8>> packets;
    std::array<std::uint8_t, 8> packet{};
    bool sendWorks = true;
    int restarts = 0;
    std::vector<Sent> sent;
};

struct OperationBench {
    FakeWindowServices window;
    FakeFieldExchange fields;
    FakeModes modes;
    scale::DialogValues values;
    scale::ProgramValues program;
    FakeScaleLink link;
    MemoryFileSystem files;
    storage::MemoryShiftStore shift;
    scale::ScaleContext context{window, fields, modes, values, program, link, files, shift};

    std::optional<std::vector<std::uint8_t>> CalibrationFile() const {
        return files.File(storage::CALIBRATION_FILE_PATH);
    }
    void StoreCalibration(float factor, const std::array<std::int16_t, 8>& limits) {
        files.SetFile(storage::CALIBRATION_FILE_PATH, CalibrationBytes(factor, limits));
    }
    static std::vector<std::uint8_t> CalibrationBytes(float factor, const std::array<std::int16_t, 8>& limits) {
        const auto bytes = storage::EncodeCalibration({factor, limits});
        return {bytes.begin(), bytes.end()};
    }
};

}  // namespace testing_support
