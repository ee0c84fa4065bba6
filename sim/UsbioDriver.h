// The emulated driver: the driver's side of its I/O-control requests and of
// reads and writes on pipe handles, for one device instance, routed to a
// device model. Failures come back as the real driver reports them: the call
// fails and the last error holds a driver status.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "platform/emulated/EmulatedKernel.h"
#include "sim/DeviceModel.h"

namespace sim {

// A control request as the driver received it (tests read these back).
struct ControlRecord {
    std::uint32_t code = 0;
    std::vector<std::uint8_t> input;
    std::uint32_t outputSize = 0;
    // Direct-in requests (method 1): the caller's second buffer as the
    // driver read it.
    std::vector<std::uint8_t> directIn;
};

// A scripted answer to a control request the driver does not interpret.
struct ControlAnswer {
    std::uint32_t status = 0;
    std::vector<std::uint8_t> output;  // bytes delivered (cut to the caller's size)
};

class UsbioDriver final : public platform::emulated::EmulatedDevice {
public:
    explicit UsbioDriver(std::shared_ptr<DeviceModel> model);

    DeviceModel& Model() { return *model_; }

    // Requests other than the four the driver interprets itself are recorded
    // and answered from this table (default: success, the output filled
    // with 0xA0, 0xA1, ... up to the caller's size).
    void SetControlAnswer(std::uint32_t code, ControlAnswer answer);
    // Makes one interpreted request fail with a driver status (0 clears).
    void FailControl(std::uint32_t code, std::uint32_t status);
    // Leaves every request of `code` pending: the driver works out its answer
    // (its own, a failure or the table's) at once but delivers the bytes into
    // the caller's area, and ends the request with its status, only `delay`
    // later on the clock (0 clears).
    void DelayControl(std::uint32_t code, platform::emulated::Micros delay);
    const std::vector<ControlRecord>& ControlLog() const { return controlLog_; }
    void ClearControlLog() { controlLog_.clear(); }
    // Every control request, the four interpreted ones included, in order.
    const std::vector<ControlRecord>& RequestLog() const { return requestLog_; }
    void ClearRequestLog() { requestLog_.clear(); }
    bool Configured() const { return configured_; }
    // The endpoint each handle was bound to, in the order the handles were
    // closed (0: a handle that was never bound).
    const std::vector<std::uint8_t>& CloseLog() const { return closeLog_; }

    // EmulatedDevice
    std::string HardwareId() const override;
    std::uintptr_t OpenHandle() override;
    void CloseHandle(std::uintptr_t context) override;
    platform::emulated::SubmitResult Submit(platform::emulated::RequestId id,
                                            const platform::emulated::IoRequest& request,
                                            platform::emulated::IoCompletion& completion,
                                            platform::emulated::Micros now) override;
    void Cancel(platform::emulated::RequestId id, platform::emulated::IoCompletion& completion,
                platform::emulated::Micros now) override;
    std::optional<platform::emulated::Micros> NextEventTime(platform::emulated::Micros now) const override;
    void Advance(platform::emulated::IoCompletion& completion, platform::emulated::Micros now) override;
    void Remove(platform::emulated::IoCompletion& completion, platform::emulated::Micros now) override;

private:
    struct HandleState {
        bool bound = false;
        std::uint8_t endpoint = 0;
    };
    struct Transfer {
        platform::emulated::RequestId id;
        std::uintptr_t context;
        bool read;
        std::uint8_t endpoint;
        std::uint8_t* data;
        std::uint32_t size;
        std::optional<Time> completeAt;  // writes and late control requests: when they finish by themselves
        std::uint32_t bytes;
        std::uint32_t status;             // late control requests: their status
        std::vector<std::uint8_t> reply;  // and the bytes they deliver into `data`
    };

    [[nodiscard]] platform::emulated::SubmitResult Control(platform::emulated::RequestId id,
                                                           const platform::emulated::IoRequest& request,
                                                           HandleState& handle, Time now);
    [[nodiscard]] platform::emulated::SubmitResult Answer(const platform::emulated::IoRequest& request,
                                                          HandleState& handle);
    [[nodiscard]] platform::emulated::SubmitResult SubmitTransfer(platform::emulated::RequestId id,
                                                                  const platform::emulated::IoRequest& request,
                                                                  HandleState& handle, Time now);
    [[nodiscard]] bool ServeRead(const Transfer& transfer, Time now, std::uint32_t& bytes);
    // Pulled out, or the model says its device is gone.
    bool Gone() const { return removed_ || model_->Unplugged(); }

    std::shared_ptr<DeviceModel> model_;
    std::map<std::uintptr_t, HandleState> handles_;
    std::uintptr_t nextContext_ = 1;
    bool configured_ = false;
    bool removed_ = false;
    std::vector<Transfer> transfers_;
    std::map<std::uint32_t, ControlAnswer> answers_;
    std::map<std::uint32_t, std::uint32_t> failures_;
    std::map<std::uint32_t, platform::emulated::Micros> delays_;
    std::vector<ControlRecord> controlLog_;
    std::vector<ControlRecord> requestLog_;
    std::vector<std::uint8_t> closeLog_;
};

}  // namespace sim
