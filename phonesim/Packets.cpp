#include "Packets.h"

namespace phonesim {

uint8_t Sum8(const uint8_t* data, size_t size) {
    uint8_t sum = 0;
    for (size_t i = 0; i < size; ++i) {
        sum = static_cast<uint8_t>(sum + data[i]);
    }
    return sum;
}

uint16_t Sum16(const uint8_t* data, size_t size) {
    uint32_t sum = 0;
    for (size_t i = 0; i < size; ++i) {
        sum += data[i];
    }
    return static_cast<uint16_t>(sum);
}

std::vector<uint8_t> MakeDataPacket(const uint8_t* data, size_t size) {
    std::vector<uint8_t> packet;
    packet.reserve(size + 3);
    packet.push_back(static_cast<uint8_t>(size >> 8));
    packet.push_back(static_cast<uint8_t>(size));
    packet.insert(packet.end(), data, data + size);
    packet.push_back(Sum8(packet.data(), packet.size()));
    return packet;
}

PacketFault CheckPacket(const uint8_t* packet, size_t size, size_t& dataSize) {
    dataSize = 0;
    if (size < 3) {
        return PacketFault::TooShort;
    }
    size_t length = size_t{packet[0]} << 8 | packet[1];
    if (length + 3 != size) {
        return PacketFault::LengthMismatch;
    }
    if (Sum8(packet, size - 1) != packet[size - 1]) {
        return PacketFault::BadSum;
    }
    if (length == 0 || length % 8 != 0) {
        return PacketFault::NotMultipleOf8;
    }
    dataSize = length;
    return PacketFault::None;
}

}  // namespace phonesim
