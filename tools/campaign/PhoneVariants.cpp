#include "PhoneVariants.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <set>
#include <stdexcept>

namespace campaign {

namespace {

using nlohmann::json;

constexpr const char* kFlashInterface = "Kestrova_Flash";

// Blank descriptors the module knows for families whose examples are only in
// flash mode.
const std::map<std::string, std::string> kBlankDescriptors = {
    {"Flash R4X Brinmar", "Blank R4X Brinmar"},
    {"Flash R4X Quellin", "Blank R4X Quellin"},
    {"Flash HMQ Vintrel", "Blank HMQ Vintrel"},
};

std::string Mode(const json& profile) {
    return profile.value("mode", "");
}

// A flash-mode example that shows a descriptor and offers only the flash interface.
bool PlainFlash(const json& profile) {
    if (Mode(profile) != "flash" || profile.value("deviceId", 0) >= 1000) {
        return false;
    }
    const json& flash = profile["modes"]["flash"];
    return flash.contains("descriptor") && flash["interfaces"] == json::array({kFlashInterface});
}

std::string FlashDescriptor(const json& profile) {
    return profile["modes"]["flash"]["descriptor"].get<std::string>();
}

int Number(const json& value) {
    if (value.is_string()) {
        return std::stoi(value.get<std::string>(), nullptr, 0);
    }
    return value.get<int>();
}

PhoneVariant Variant(const std::string& name, json base) {
    PhoneVariant variant;
    variant.name = name;
    variant.maType = static_cast<uint8_t>(Number(base["bootloader"]["maType"]));
    variant.chipset = static_cast<uint8_t>(Number(base["bootloader"]["chipsetType"]));
    variant.serial = Number(base["deviceId"]) >= 1000;
    variant.blank = Mode(base) == "blank";
    variant.base = std::move(base);
    return variant;
}

// In normal operation the phone offers only the test-command interface;
// "SUSPEND" brings it to flash mode.
json Suspended(json profile) {
    std::string descriptor = FlashDescriptor(profile);
    profile["mode"] = "os";
    profile["modes"] = {
        {"os", {{"descriptor", descriptor}, {"interfaces", {"Kestrova_Test_Command"}}}},
        {"flash", {{"descriptor", descriptor}, {"interfaces", {kFlashInterface}}}}};
    profile.erase("restartMode");
    return profile;
}

json Blank(json profile, const std::string& blankDescriptor) {
    std::string descriptor = FlashDescriptor(profile);
    profile["mode"] = "blank";
    profile["modes"] = {
        {"blank", {{"descriptor", blankDescriptor}, {"interfaces", {"Kestrova_Boot"}}}},
        {"flash", {{"descriptor", descriptor}, {"interfaces", {kFlashInterface}}}}};
    profile["restartMode"] = "flash";
    profile.erase("firmware");
    profile.erase("content");
    return profile;
}

json Serial(json profile) {
    profile["deviceId"] = 1000;
    profile["modes"] = {{"flash", {{"interfaces", {kFlashInterface}}}}};
    profile["baudRate"] = 9600;
    profile.erase("restartMode");
    return profile;
}

}  // namespace

std::vector<PhoneVariant> LoadVariants(const std::filesystem::path& examples) {
    std::vector<std::filesystem::path> files;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(examples, error)) {
        if (entry.is_regular_file() && entry.path().extension() == ".json") {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    std::vector<PhoneVariant> variants;
    for (const std::filesystem::path& file : files) {
        std::ifstream in(file);
        variants.push_back(Variant(file.stem().string(), json::parse(in, nullptr, true, true)));
    }
    if (variants.empty()) {
        throw std::runtime_error("no example phone profiles in " + examples.string());
    }
    // A platform's first plain flash-mode example also stands for the modes
    // the examples do not show for that platform.
    auto platformOf = [](const PhoneVariant& v) { return v.maType * 256 + v.chipset; };
    std::set<int> withOs, withBlank, withSerial, derived;
    for (const PhoneVariant& v : variants) {
        if (Mode(v.base) == "os") {
            withOs.insert(platformOf(v));
        }
        if (v.blank) {
            withBlank.insert(platformOf(v));
        }
        if (v.serial) {
            withSerial.insert(platformOf(v));
        }
    }
    const size_t examplesCount = variants.size();
    for (size_t i = 0; i < examplesCount; ++i) {
        const PhoneVariant example = variants[i];
        if (!PlainFlash(example.base) || !derived.insert(platformOf(example)).second) {
            continue;
        }
        if (!withOs.count(platformOf(example))) {
            variants.push_back(Variant(example.name + "+suspend", Suspended(example.base)));
        }
        auto blank = kBlankDescriptors.find(FlashDescriptor(example.base));
        if (!withBlank.count(platformOf(example)) && blank != kBlankDescriptors.end()) {
            variants.push_back(
                Variant(example.name + "+blank", Blank(example.base, blank->second)));
        }
        if (!withSerial.count(platformOf(example))) {
            variants.push_back(Variant(example.name + "+serial", Serial(example.base)));
        }
    }
    return variants;
}

json MakeProfile(const PhoneVariant& variant, const Release& release, uint16_t deviceId) {
    json profile = variant.base;
    profile["comment"] =
        "Campaign phone " + variant.name + " for release m" + std::to_string(release.index) + ".";
    profile["deviceId"] = deviceId;
    profile["flash"] = json::array({{{"start", "0x10000000"}, {"size", "0x00400000"}}});
    profile["layout"] = json::array();
    json firmware = json::array();
    for (const GroupPlan& group : release.groups) {
        json entry = {{"codeGroup", group.codeGroup}, {"start", group.start}, {"size", group.size}};
        if (group.barker) {
            entry["barker"] = true;
        }
        profile["layout"].push_back(entry);
        bool replaced = group.codeGroup == 0 && release.bootloaderOnPhone;
        if (group.size >= 16 && !replaced) {
            firmware.push_back({{"codeGroup", group.codeGroup},
                                {"dataType", group.dataType},
                                {"version", group.phoneVersion},
                                {"fill", group.phoneFill}});
        }
    }
    profile.erase("firmware");
    profile.erase("content");
    if (!variant.blank) {
        profile["firmware"] = firmware;
        if (release.bootloaderOnPhone) {
            profile["content"] =
                json::array({{{"codeGroup", 0},
                              {"hex", Hex(release.built.images.at(mkshx::kFirstCodeGroupSlot))}}});
        }
    }
    profile["settings"] = {
        {"data", {{"hex", Hex(release.settings.data)}}},
        {"status",
         {{"code", release.settings.statusCode}, {"response", release.settings.response}}}};
    profile.erase("faults");
    profile.erase("stateFile");
    return profile;
}

}  // namespace campaign
