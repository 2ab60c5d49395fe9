// The campaign's releases: seeded superfile manifests across the platforms,
// each with the code group layout, firmware and settings of the phones it is
// meant for, so that a phone profile can be made to match it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "Mkshx.h"

namespace campaign {

// A platform as the file's descriptors and the phone's bootloader name it.
struct Platform {
    const char* name;
    uint8_t maType;   // the descriptor's family byte
    uint8_t chipset;  // the descriptor's variant byte
};

const std::vector<Platform>& Platforms();

// One code group of the phones' layout; inFile when the release carries it.
struct GroupPlan {
    int codeGroup = 0;
    uint32_t start = 0;
    uint32_t size = 0;
    bool inFile = false;
    uint16_t type = 0;    // the file's sub-file type (2 barker, 4 combo, 8 range checksum)
    bool barker = false;  // the layout marks the code group by a barker code
    uint8_t dataType = 0;
    uint16_t fileVersion = 0;
    uint16_t phoneVersion = 0;
    uint8_t phoneFill = 0;  // what the phone's installed firmware is filled with
};

// The phones' settings data and their answer to the settings status request.
struct SettingsPlan {
    uint32_t statusCode = 0;  // 0: the request succeeds
    uint32_t response = 4;    // RESPONSE_TYPE
    std::vector<uint8_t> data;
};

struct Release {
    int index = 0;
    uint64_t seed = 0;
    Platform platform{};
    std::string shape;
    nlohmann::json manifest;
    std::vector<GroupPlan> groups;  // by code group number
    SettingsPlan settings;
    bool bootloaderOnPhone = false;  // the phones already hold the file's code group 0
    mkshx::BuiltSuperfile built;     // images by slot (the superfile's bytes are dropped)
    std::string superfilePath;

    const GroupPlan* Group(int codeGroup) const;
    bool Carries(int codeGroup) const;
    bool Combo() const;
    // Language package without the application.
    bool LanguageOnly() const { return Carries(4) && !Carries(1); }
    // The phone keeps its settings data: a combo settings area on a phone whose
    // status request succeeds with "ready".
    bool KeepsSettings() const;
    size_t ImageBytes() const;
    std::string Summary() const;
};

// Release number `index` of the campaign seeded with `seed`: the platform and
// the release's shape follow from the index, every size and byte from the seed.
Release MakeRelease(uint64_t seed, int index);

// Bytes as upper-case hexadecimal pairs, as profiles and manifests take them.
std::string Hex(const std::vector<uint8_t>& bytes);

// Builds the superfile and writes it to `path` (images stay in memory).
void WriteRelease(Release& release, const std::string& path);

}  // namespace campaign
