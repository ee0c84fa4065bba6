// The simulated scale on its USB port, pulled out and plugged in again as
// an operator would: each plug-in is a new device instance on the emulated
// kernel, behind a new driver instance, and the scale powers up afresh.
#pragma once

#include <memory>

#include "platform/emulated/EmulatedKernel.h"
#include "sim/SimulatedScale.h"
#include "sim/UsbioDriver.h"

namespace sim {

class ScalePlug {
public:
    // Plugged in from the start.
    ScalePlug(platform::emulated::EmulatedKernel& kernel, std::shared_ptr<SimulatedScale> scale)
        : kernel_(kernel), scale_(std::move(scale)) {
        PlugIn();
    }

    SimulatedScale& Scale() { return *scale_; }
    // The driver of the instance plugged in last.
    UsbioDriver& Driver() { return *driver_; }
    bool PluggedIn() const { return !scale_->Unplugged(); }

    // Pulls the scale out when it is in, plugs it in when it is out.
    void Toggle() {
        if (!PluggedIn()) {
            scale_->PlugIn(kernel_.GetClock().Now());
            PlugIn();
            return;
        }
        scale_->Unplug(kernel_.GetClock().Now());
        kernel_.DetachDevice(instance_);
    }

private:
    void PlugIn() {
        driver_ = std::make_shared<UsbioDriver>(scale_);
        instance_ = kernel_.AttachDevice(driver_);
    }

    platform::emulated::EmulatedKernel& kernel_;
    std::shared_ptr<SimulatedScale> scale_;
    std::shared_ptr<UsbioDriver> driver_;
    int instance_ = -1;
};

}  // namespace sim
