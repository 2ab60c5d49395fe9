// Device numbers as the host, the module and the phones share them. Serial
// phones are numbered 1000 to 1031; every other phone by its USB number. The
// module runs at most one automation job per slot: a number below 160 is its
// own slot, and serial phones take slots 128 to 159, which they share with the
// USB numbers of the same slot.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orx {

inline constexpr uint16_t kFirstSerialDevice = 1000;
inline constexpr uint16_t kLastSerialDevice = 1031;
inline constexpr size_t kJobSlots = 160;
inline constexpr size_t kFirstSerialSlot = 128;

constexpr bool IsSerialDevice(uint32_t deviceId) {
    return deviceId >= kFirstSerialDevice && deviceId <= kLastSerialDevice;
}

// The job slot of a device number; kJobSlots or above when it has none.
constexpr size_t JobSlotOf(uint32_t deviceId) {
    return IsSerialDevice(deviceId) ? kFirstSerialSlot + (deviceId - kFirstSerialDevice) : deviceId;
}

// True for the numbers the module takes a job for: 0 to 159 and the serial phones.
constexpr bool HasJobSlot(uint32_t deviceId) {
    return JobSlotOf(deviceId) < kJobSlots;
}

}  // namespace orx
