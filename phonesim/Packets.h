// The programming packets the engine sends through FlashSU and RAMdownload:
// a data packet is a 2-byte big-endian length n, n data bytes and the Sum8 of
// everything before it; a tail or barker packet is the same with n = 8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace phonesim {

uint8_t Sum8(const uint8_t* data, size_t size);
uint16_t Sum16(const uint8_t* data, size_t size);

std::vector<uint8_t> MakeDataPacket(const uint8_t* data, size_t size);
inline std::vector<uint8_t> MakeDataPacket(const std::vector<uint8_t>& data) {
    return MakeDataPacket(data.data(), data.size());
}

enum class PacketFault { None, TooShort, LengthMismatch, BadSum, NotMultipleOf8 };

// Checks a packet as the phone does before writing anything. On None the
// data bytes start at packet + 2 and number dataSize.
PacketFault CheckPacket(const uint8_t* packet, size_t size, size_t& dataSize);

}  // namespace phonesim
