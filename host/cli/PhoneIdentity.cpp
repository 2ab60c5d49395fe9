#include "PhoneIdentity.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <vector>

#include "BoardText.h"
#include "OrxHost.h"
#include "SuperfileFormat.h"

namespace {

constexpr size_t kEntrySize = 128;
const char* const kInterfaces[] = {"Kestrova_Flash", "Kestrova_Boot", "Kestrova_Tavenor_OS",
                                   "Kestrova_Test_Command"};

std::string ShortVersion(uint16_t version) {
    char text[16];
    std::snprintf(text, sizeof text, "v0x%.4X", static_cast<unsigned>(version));
    return text;
}

std::string Descriptor(uint16_t deviceId) {
    for (const char* name : kInterfaces) {
        ORXInterfaceHandle handle = nullptr;
        if (ORXGetInterfaceHandle(deviceId, name, &handle) != 0) {
            continue;
        }
        char text[256] = {};
        if (ORXGetStringDescriptor(deviceId, handle, 1, 0, text, sizeof text) == 0) {
            // The phone's own words: kept within the buffer and printable.
            return OneLine(std::string(text, strnlen(text, sizeof text)));
        }
        break;
    }
    return {};
}

}  // namespace

std::string VersionsText(const std::string& group0, const std::string& group1,
                         const std::string& group6) {
    return group0 + "/" + group1 + "/" + group6;
}

std::string ReadPhoneVersions(const FlashModule& module, uint16_t deviceId) {
    if (module.getDeviceInformation == nullptr) {
        return {};
    }
    std::array<std::array<char, kEntrySize>, 3> buffers{};
    std::array<char*, 3> entries{buffers[0].data(), buffers[1].data(), buffers[2].data()};
    OrxTextArray array{entries.data(), 3, kEntrySize};
    uint16_t firstVersion = 0xFFFF;
    if (module.getDeviceInformation(deviceId, &array, &firstVersion) != 0) {
        return {};
    }
    return VersionsText(entries[0], entries[1], entries[2]);
}

PhoneIdentity ReadPhoneIdentity(const FlashModule& module, uint16_t deviceId) {
    PhoneIdentity identity;
    identity.descriptor = Descriptor(deviceId);
    char platform[kEntrySize] = {};
    if (module.getDevicePlatform != nullptr &&
        module.getDevicePlatform(deviceId, platform, sizeof platform) == 0) {
        identity.platform = platform;
    }
    identity.versions = ReadPhoneVersions(module, deviceId);
    return identity;
}

SuperfileFacts ReadSuperfileFacts(const std::string& path) {
    SuperfileFacts facts;
    std::ifstream file(path, std::ios::binary);
    std::vector<uint8_t> front(shx::kHeaderSize);
    if (!file.read(reinterpret_cast<char*>(front.data()),
                   static_cast<std::streamsize>(front.size()))) {
        return facts;
    }
    shx::SuperfileHeader header;
    shx::DescriptorWalk walk;
    if (shx::ParseSuperfileHeader(front.data(), front.size(), header, walk) ==
        shx::HeaderVerdict::Valid) {
        auto version = [&header](int group) {
            return ShortVersion(
                shx::DescriptorAt(header, shx::kFirstCodeGroupSlot + group).version);
        };
        facts.versions = VersionsText(version(0), version(1), version(6));
    }
    file.seekg(0, std::ios::end);
    auto size = static_cast<size_t>(file.tellg());
    size_t length = size < shx::kTrailerSize ? size : shx::kTrailerSize;
    std::vector<uint8_t> tail(length);
    file.seekg(static_cast<std::streamoff>(size - length));
    if (file.read(reinterpret_cast<char*>(tail.data()), static_cast<std::streamsize>(length))) {
        shx::StoredChecksum stored = shx::FindStoredChecksum(tail.data(), length);
        if (stored.found) {
            char text[16];
            std::snprintf(text, sizeof text, "0x%.4X", static_cast<unsigned>(stored.value));
            facts.storedChecksum = text;
        }
    }
    return facts;
}
