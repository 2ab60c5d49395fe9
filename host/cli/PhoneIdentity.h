// What an attempt's record says of its phone and its superfile, read without
// showing anything: the phone's string descriptor, platform and code group
// versions, and the superfile's stored checksum and code group versions.
#pragma once

#include <cstdint>
#include <string>

#include "FlashModule.h"

struct PhoneIdentity {
    std::string descriptor;  // empty for serial phones, which carry none
    std::string platform;    // empty when the phone could not be identified
    std::string versions;    // VersionsText; empty when they could not be read
};

// Versions as records keep them: code groups 0, 1 and 6, "v0x0100/v0x0200/v0x0300".
std::string VersionsText(const std::string& group0, const std::string& group1,
                         const std::string& group6);

PhoneIdentity ReadPhoneIdentity(const FlashModule& module, uint16_t deviceId);
// The phone's versions through GetDeviceInformation; empty when unreadable.
std::string ReadPhoneVersions(const FlashModule& module, uint16_t deviceId);

struct SuperfileFacts {
    std::string storedChecksum;  // the trailer's, "0x1A2B"; empty when it has none
    std::string versions;        // its code groups 0, 1 and 6, as VersionsText (v0xFFFF: absent)
};
// Empty facts when the file cannot be read.
SuperfileFacts ReadSuperfileFacts(const std::string& path);
