// The phones of the campaign: every example profile family, as the example
// gives it and in the modes it can also be met in (normal operation behind
// the test-command interface, blank, on a serial line), each profile made in
// code to match a release's layout, firmware and settings.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "Releases.h"

namespace campaign {

struct PhoneVariant {
    std::string name;     // the example's name, plus "+suspend", "+blank" or "+serial"
    nlohmann::json base;  // the example profile with the variant's modes
    uint8_t maType = 0;
    uint8_t chipset = 0;
    bool serial = false;
    bool blank = false;

    bool Fits(const Release& release) const {
        return release.platform.maType == maType && release.platform.chipset == chipset;
    }
};

// Reads examples/phones/*.json and derives the variants, in a fixed order.
// Throws std::runtime_error when the folder holds no readable example.
std::vector<PhoneVariant> LoadVariants(const std::filesystem::path& examples);

// The variant's profile for the release, listed under deviceId.
nlohmann::json MakeProfile(const PhoneVariant& variant, const Release& release, uint16_t deviceId);

}  // namespace campaign
