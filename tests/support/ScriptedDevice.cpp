#include "tests/support/ScriptedDevice.h"

#include <cstring>

#include "platform/LittleEndian.h"

namespace sim {

ScriptedDevice::ScriptedDevice(std::uint16_t vendorId, std::uint16_t productId) {
    descriptor_ = {18, 1, 0x10, 0x01, 0, 0, 0, 16, 0, 0, 0, 0, 0x00, 0x01, 1, 2, 0, 1};
    platform::PutLe16(&descriptor_[8], vendorId);
    platform::PutLe16(&descriptor_[10], productId);
}

ScriptedDevice::Timed ScriptedDevice::MakePacket(const std::vector<std::uint8_t>& bytes, Time at) {
    Timed timed{at, {}};
    timed.packet.size = static_cast<std::uint32_t>(std::min(bytes.size(), MAX_PACKET));
    // An empty vector's data() may be null, which memcpy must not be given.
    if (timed.packet.size > 0) std::memcpy(timed.packet.bytes.data(), bytes.data(), timed.packet.size);
    return timed;
}

TransferOutcome ScriptedDevice::Write(std::uint8_t, const std::uint8_t* data, std::uint32_t size, Time now) {
    writes_.emplace_back(data, data + size);
    TransferOutcome outcome;
    outcome.kind = writeMode_ == WriteMode::Complete ? TransferOutcome::Kind::Done
                   : writeMode_ == WriteMode::Fail   ? TransferOutcome::Kind::Failed
                                                     : TransferOutcome::Kind::Pending;
    outcome.status = writeMode_ == WriteMode::Fail ? writeStatus_ : 0;
    outcome.bytes = writeMode_ == WriteMode::Complete || writeMode_ == WriteMode::Delay ? size : 0;
    if (writeMode_ == WriteMode::Delay) outcome.completeAt = now + writeDelay_;
    return outcome;
}

}  // namespace sim
