// The driver access layer on the emulated kernel and a virtual clock; the
// driver's own refusals are tests/platform/UsbioDriverTest.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "platform/DriverInterface.h"
#include "platform/emulated/EmulatedKernel.h"
#include "sim/UsbioDriver.h"
#include "tests/support/ScriptedDevice.h"
#include "usbio/UsbDevice.h"
#include "usbio/UsbPipe.h"

namespace usbio_test {

using namespace usbio;
using Bytes = std::vector<std::uint8_t>;

inline constexpr platform::GUID DRIVER_CLASS = platform::DRIVER_INTERFACE_CLASS;
using platform::emulated::Micros;
inline constexpr Micros MS = 1000;
inline const Bytes PACKET = {2, 0x37, 0, 0x04, 0, 0, 0, 0x11};

class UsbioTest : public ::testing::Test {
protected:
    platform::emulated::VirtualClock clock;
    platform::emulated::EmulatedKernel kernel{clock};
    platform::ScopedSys sys{kernel};

    // Instance numbers follow the order of attachment.
    sim::ScriptedDevice& Attach(std::uint16_t product = 0x0000) {
        models_.push_back(std::make_shared<sim::ScriptedDevice>(0x0C70, product));
        drivers_.push_back(std::make_shared<sim::UsbioDriver>(models_.back()));
        kernel.AttachDevice(drivers_.back());
        return *models_.back();
    }
    sim::UsbioDriver& Driver(std::size_t instance = 0) { return *drivers_.at(instance); }

    void FailCall(const char* name, int nth, platform::DWORD error) {
        kernel.SetFaultHook([name, nth, error, seen = 0](const char* call) mutable -> platform::DWORD {
            return std::strcmp(call, name) == 0 && ++seen == nth ? error : 0;
        });
    }

private:
    std::vector<std::shared_ptr<sim::ScriptedDevice>> models_;
    std::vector<std::shared_ptr<sim::UsbioDriver>> drivers_;
};

// A scripted scale, configured, with its two pipes bound as the link binds them.
class LinkTest : public UsbioTest {
protected:
    void SetUp() override {
        scale = &Attach();
        ASSERT_EQ(device.Open(0, nullptr, nullptr), USB_STATUS_SUCCESS);
        const ConfigurationRequest request{0, 1, {{{0, 0, 16}}}};  // as the link: interface 0, transfers up to 16 bytes
        ASSERT_EQ(device.SetConfiguration(request), USB_STATUS_SUCCESS);
        ASSERT_EQ(readPipe.Bind(0, 0x81, nullptr, nullptr), USB_STATUS_SUCCESS);
        ASSERT_EQ(writePipe.Bind(0, 0x02, nullptr, nullptr), USB_STATUS_SUCCESS);
    }
    sim::ScriptedDevice* scale = nullptr;
    UsbDevice device;
    UsbPipe readPipe;
    UsbPipe writePipe;
};

}  // namespace usbio_test
