// A simulated phone's profile: what it is, what it holds and how it fails,
// read from JSON (format in README.md). The loader checks every field, so a
// profile that loads describes a phone that can be built.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "DeviceNumbers.h"
#include "Faults.h"

namespace phonesim {

// A profile that cannot describe a phone; the message names the field.
class ProfileError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

enum class Mode { Off, Blank, Flash, Os };

// "blank", "flash", "os", "off".
const char* ModeName(Mode mode);

// How the phone shows itself to the host in one mode.
struct ModeSpec {
    std::optional<std::string> descriptor;  // none: the host has no string descriptor
    std::vector<std::string> interfaces;
    // The interfaces that carry programming, erasing, RAM downloads and the
    // settings commands. Default: every interface in blank and flash mode,
    // none in os mode.
    std::vector<std::string> flashing;
};

struct Range {
    uint32_t start = 0;
    uint32_t end = 0;  // inclusive
    uint64_t Size() const { return uint64_t{end} - start + 1; }
    bool Contains(uint32_t address, uint64_t length) const {
        return address >= start && uint64_t{address} + length <= uint64_t{end} + 1;
    }
};

using Bytes8 = std::array<uint8_t, 8>;

struct BootloaderSpec {
    uint8_t flag = 0xFF;
    uint8_t chipsetType = 0;
    uint8_t maType = 0;
    uint8_t dataType = 1;
    uint16_t version = 0;
    std::optional<Range> range;        // its checksum is the sum of this range
    std::optional<uint16_t> checksum;  // or this fixed figure
};

struct CodeGroupSpec {
    int number = 0;
    Range range;
    bool carriesBarker = false;
    std::optional<Bytes8> barker;  // the expected code; none: any written code counts
};

// Firmware already installed in a code group when the phone is made.
struct FirmwareSpec {
    int codeGroup = 0;
    uint8_t fill = 0x00;
    uint8_t dataType = 6;
    uint16_t version = 0;
    std::optional<uint8_t> chipsetType;  // default: the bootloader's
    std::optional<uint8_t> maType;       // default: the bootloader's
    bool barkerWritten = true;           // for a barker-carrying code group
};

// Raw bytes placed in flash after the firmware.
struct ContentSpec {
    uint32_t address = 0;
    std::vector<uint8_t> bytes;
};

struct StatusAnswer {
    uint32_t code = 0;      // 0: the request succeeds
    uint32_t response = 4;  // RESPONSE_TYPE
};

struct SettingsSpec {
    std::vector<uint8_t> data;
    StatusAnswer status;
    std::optional<std::array<uint8_t, 12>> checksumAnswer;  // replaces the computed one
};

struct RamSpec {
    Range range{0x03FC0000, 0x03FCFFFF};
    uint32_t entryOffset = 16;  // the RAM downloader starts this far into its image
};

struct Profile {
    uint16_t deviceId = 0;
    Mode mode = Mode::Flash;
    Mode restartMode = Mode::Flash;  // after a restart or power-on
    std::map<Mode, ModeSpec> modes;
    std::optional<BootloaderSpec> bootloader;
    RamSpec ram;
    std::vector<Range> flash;  // banks; by default the layout's ranges
    std::vector<CodeGroupSpec> layout;
    std::vector<FirmwareSpec> firmware;
    std::vector<ContentSpec> content;
    SettingsSpec settings;
    bool directProgramming = false;
    // A flash packet may not cross a multiple of this many bytes of address;
    // 0: packets may cross.
    uint32_t packetBoundary = 8192;
    std::vector<std::string> unsupported;  // protocol command names answered kNotSupported
    uint64_t linkBytesPerSecond = 0;       // 0: unlimited
    uint32_t baudRate = 9600;              // serial phones: the line rate at start
    std::vector<FaultOrder> faults;
    std::string stateFile;  // relative to the current directory; empty: none

    bool IsSerial() const { return orx::IsSerialDevice(deviceId); }
    const CodeGroupSpec* CodeGroup(int number) const;
};

// Parses a profile's JSON text. Files it names are read relative to baseDir.
Profile ParseProfile(const std::string& text, const std::filesystem::path& baseDir = ".");
Profile LoadProfile(const std::filesystem::path& path);

}  // namespace phonesim
