// The two packets the scale's controller speaks, with nothing of the link or
// the window in them: a 16-byte command from the host on endpoint 0x02 and
// an 8-byte status packet from the scale on endpoint 0x81.
//
//   command: byte 0 the command; for CMD_SET_LIMITS bytes 1..8 the limit
//            counts, line 1 first; the other bytes are not looked at.
//   status:  byte 0 the state (0 waiting for synchronisation, 1 taking
//            tares, 2 working), byte 1 the weight in counts, byte 3 the
//            line of a sorted item as one bit (bit 0 = line 1).
#pragma once

#include <array>
#include <cstdint>
#include <cstring>

namespace scale {

constexpr int LINE_COUNT = 8;

constexpr std::uint32_t COMMAND_PACKET_SIZE = 16;
constexpr std::uint32_t STATUS_PACKET_SIZE = 8;

constexpr std::uint8_t CMD_READ_WEIGHT = 1;
constexpr std::uint8_t CMD_SET_LIMITS = 2;
constexpr std::uint8_t CMD_RESTART = 3;

constexpr std::size_t COMMAND_BYTE = 0;
constexpr std::size_t LIMIT_COUNTS_BYTE = 1;

constexpr std::size_t STATE_BYTE = 0;
constexpr std::size_t WEIGHT_BYTE = 1;
constexpr std::size_t LINE_BYTE = 3;

constexpr std::uint8_t STATE_WAITING_SYNC = 0;
constexpr std::uint8_t STATE_TAKING_TARES = 1;
constexpr std::uint8_t STATE_WORKING = 2;

// Fewest bytes that make a packet usable: a status packet must reach its
// line byte, a weight reply its weight byte. A shorter one would leave the
// previous packet's bytes in place and count its item a second time.
constexpr std::uint32_t MIN_STATUS_BYTES = LINE_BYTE + 1;
constexpr std::uint32_t MIN_WEIGHT_BYTES = WEIGHT_BYTE + 1;

using LimitCounts = std::array<std::uint8_t, LINE_COUNT>;

// Writes the command byte; the rest of the packet is left as it is.
inline void EncodeCommand(std::uint8_t* packet, std::uint8_t command) { packet[COMMAND_BYTE] = command; }

// CMD_SET_LIMITS with its eight counts; bytes 9 to 15 are left as they are.
inline void EncodeSetLimits(std::uint8_t* packet, const LimitCounts& counts) {
    EncodeCommand(packet, CMD_SET_LIMITS);
    std::memcpy(packet + LIMIT_COUNTS_BYTE, counts.data(), counts.size());
}

// The line (1 to 8) of a one-hot line byte; 0 when no bit or more than one
// bit is set: the scale never sends two, and such a byte names no line.
constexpr int DecodeLine(std::uint8_t lineByte) {
    if (lineByte == 0 || (lineByte & (lineByte - 1)) != 0) return 0;
    int line = 1;
    while ((lineByte & 1u) == 0) {
        lineByte = static_cast<std::uint8_t>(lineByte >> 1);
        ++line;
    }
    return line;
}

struct StatusReading {
    std::uint8_t state;
    std::uint8_t weightCounts;
    int line;  // 0: no item
};

inline StatusReading DecodeStatus(const std::uint8_t* packet) {
    return {packet[STATE_BYTE], packet[WEIGHT_BYTE], DecodeLine(packet[LINE_BYTE])};
}

}  // namespace scale
