// Faults the fuzzing runs found in the test doubles themselves.
#include <gtest/gtest.h>

#include "tests/support/ScriptedDevice.h"

namespace {

// Found by fuzz_work_mode: QueuePacket passed the empty vector's data()
// (null) to memcpy, which UndefinedBehaviorSanitizer reports as undefined
// behaviour (under scripts/test-sanitizers.sh this test aborted).
TEST(ScriptedDevice, EmptyPacketIsQueuedWithoutCopyingFromNull) {
    sim::ScriptedDevice device;
    device.QueuePacket(std::vector<std::uint8_t>{});
    ASSERT_EQ(device.QueuedPackets(), 1u);
    sim::Packet packet;
    packet.size = 99;
    ASSERT_TRUE(device.TakePacket(0x81, 0, packet));
    EXPECT_EQ(packet.size, 0u);
}

}  // namespace
