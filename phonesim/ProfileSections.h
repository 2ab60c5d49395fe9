// Internal steps of the profile loader, one per section of the profile.
#pragma once

#include <filesystem>

#include "Profile.h"
#include "ProfileFields.h"

namespace phonesim::sections {

using nlohmann::json;

// Limits that keep a hostile profile from exhausting memory.
inline constexpr uint64_t kMaxContentBytes = uint64_t{256} << 20;
inline constexpr uint64_t kMaxRamBytes = uint64_t{16} << 20;
inline constexpr size_t kMaxSettingsBytes = size_t{1} << 20;

Mode ParseMode(const json& value, const std::string& where, bool allowOff = false);
Range ParseRange(const json& value, const std::string& where);
void ParseModes(const json& value, Profile& profile);
BootloaderSpec ParseBootloader(const json& value);
RamSpec ParseRam(const json& value);
std::vector<CodeGroupSpec> ParseLayout(const json& value);
std::vector<FirmwareSpec> ParseFirmware(const json& value);
std::vector<ContentSpec> ParseContent(const json& value, const Profile& profile,
                                      const std::filesystem::path& baseDir);
SettingsSpec ParseSettings(const json& value);
std::vector<FaultOrder> ParseFaults(const json& value, const std::string& where);
FaultOrder ParseFault(const json& value, const std::string& where);

// Cross-field rules, after every section is read.
void Validate(Profile& profile);

}  // namespace phonesim::sections
