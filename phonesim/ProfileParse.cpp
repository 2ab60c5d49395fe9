// The profile's top level, modes, bootloader, RAM and layout sections.
#include <algorithm>
#include <fstream>
#include <sstream>

#include "ProfileSections.h"

namespace phonesim {

using fields::Fail;
using nlohmann::json;

const char* ModeName(Mode mode) {
    switch (mode) {
        case Mode::Off:
            return "off";
        case Mode::Blank:
            return "blank";
        case Mode::Flash:
            return "flash";
        case Mode::Os:
            return "os";
    }
    return "?";
}

const CodeGroupSpec* Profile::CodeGroup(int number) const {
    for (const CodeGroupSpec& group : layout) {
        if (group.number == number) {
            return &group;
        }
    }
    return nullptr;
}

namespace sections {

namespace {

std::vector<std::string> Names(const json& value, const std::string& where) {
    const json& list = fields::Array(value, where, 16);
    std::vector<std::string> names;
    for (size_t i = 0; i < list.size(); ++i) {
        names.push_back(fields::Text(list[i], where + "[" + std::to_string(i) + "]", 64));
    }
    return names;
}

}  // namespace

Mode ParseMode(const json& value, const std::string& where, bool allowOff) {
    std::string name = fields::Text(value, where, 16);
    for (Mode mode : {Mode::Blank, Mode::Flash, Mode::Os, Mode::Off}) {
        if (name == ModeName(mode) && (allowOff || mode != Mode::Off)) {
            return mode;
        }
    }
    Fail(where, "\"" + name + "\" is not one of blank, flash, os");
}

Range ParseRange(const json& value, const std::string& where) {
    if (!value.contains("start")) {
        Fail(where, "needs \"start\"");
    }
    Range range;
    range.start =
        static_cast<uint32_t>(fields::Number(value["start"], where + ".start", UINT32_MAX));
    bool hasSize = value.contains("size");
    bool hasEnd = value.contains("end");
    if (hasSize == hasEnd) {
        Fail(where, "needs exactly one of \"size\" and \"end\"");
    }
    uint64_t last = 0;
    if (hasSize) {
        uint64_t size = fields::Number(value["size"], where + ".size", uint64_t{1} << 32);
        if (size == 0) {
            Fail(where + ".size", "must not be 0");
        }
        last = uint64_t{range.start} + size - 1;
    } else {
        last = fields::Number(value["end"], where + ".end", UINT32_MAX);
    }
    if (last < range.start || last > UINT32_MAX) {
        Fail(where, "the range must lie within 0 to 0xFFFFFFFF and not end before it starts");
    }
    range.end = static_cast<uint32_t>(last);
    return range;
}

void ParseModes(const json& value, Profile& profile) {
    fields::RequireObject(value, "modes");
    for (const auto& item : value.items()) {
        std::string where = "modes." + item.key();
        Mode mode = ParseMode(json(item.key()), where);
        fields::CheckKeys(item.value(), where, {"descriptor", "interfaces", "flashing"});
        ModeSpec wanted;
        if (item.value().contains("descriptor")) {
            wanted.descriptor =
                fields::Text(item.value()["descriptor"], where + ".descriptor", 255);
        }
        if (item.value().contains("interfaces")) {
            wanted.interfaces = Names(item.value()["interfaces"], where + ".interfaces");
        }
        if (item.value().contains("flashing")) {
            wanted.flashing = Names(item.value()["flashing"], where + ".flashing");
            for (const std::string& name : wanted.flashing) {
                if (std::find(wanted.interfaces.begin(), wanted.interfaces.end(), name) ==
                    wanted.interfaces.end()) {
                    Fail(where + ".flashing",
                         "\"" + name + "\" is not one of the mode's interfaces");
                }
            }
        } else if (mode != Mode::Os) {
            wanted.flashing = wanted.interfaces;
        }
        profile.modes[mode] = std::move(wanted);
    }
}

BootloaderSpec ParseBootloader(const json& value) {
    const std::string where = "bootloader";
    fields::CheckKeys(value, where,
                      {"flag", "chipsetType", "maType", "dataType", "version", "start", "size",
                       "end", "checksum"});
    BootloaderSpec wanted;
    auto byte = [&](const char* key, uint8_t& field) {
        if (value.contains(key)) {
            field = static_cast<uint8_t>(fields::Number(value[key], where + "." + key, 0xFF));
        }
    };
    byte("flag", wanted.flag);
    byte("chipsetType", wanted.chipsetType);
    byte("maType", wanted.maType);
    byte("dataType", wanted.dataType);
    if (value.contains("version")) {
        wanted.version =
            static_cast<uint16_t>(fields::Number(value["version"], where + ".version", 0xFFFF));
    }
    if (value.contains("start")) {
        wanted.range = ParseRange(value, where);
    }
    if (value.contains("checksum")) {
        wanted.checksum =
            static_cast<uint16_t>(fields::Number(value["checksum"], where + ".checksum", 0xFFFF));
    }
    return wanted;
}

RamSpec ParseRam(const json& value) {
    fields::CheckKeys(value, "ram", {"start", "size", "end", "entryOffset"});
    RamSpec wanted;
    wanted.range = ParseRange(value, "ram");
    if (wanted.range.Size() > kMaxRamBytes) {
        Fail("ram", "larger than 16 MiB");
    }
    if (value.contains("entryOffset")) {
        wanted.entryOffset =
            static_cast<uint32_t>(fields::Number(value["entryOffset"], "ram.entryOffset", 0xFFFF));
    }
    return wanted;
}

std::vector<CodeGroupSpec> ParseLayout(const json& value) {
    const json& list = fields::Array(value, "layout", 256);
    std::vector<CodeGroupSpec> layout;
    for (size_t i = 0; i < list.size(); ++i) {
        std::string where = "layout[" + std::to_string(i) + "]";
        fields::CheckKeys(list[i], where, {"codeGroup", "start", "size", "end", "barker"});
        if (!list[i].contains("codeGroup")) {
            Fail(where, "needs \"codeGroup\"");
        }
        CodeGroupSpec group;
        group.number =
            static_cast<int>(fields::Number(list[i]["codeGroup"], where + ".codeGroup", 255));
        group.range = ParseRange(list[i], where);
        if (list[i].contains("barker")) {
            const json& barker = list[i]["barker"];
            if (barker.is_boolean()) {
                group.carriesBarker = barker.get<bool>();
            } else {
                std::vector<uint8_t> bytes = fields::HexBytes(barker, where + ".barker", 8);
                if (bytes.size() != 8) {
                    Fail(where + ".barker", "a barker code has 8 bytes");
                }
                group.carriesBarker = true;
                group.barker.emplace();
                std::copy(bytes.begin(), bytes.end(), group.barker->begin());
            }
        }
        layout.push_back(group);
    }
    return layout;
}

}  // namespace sections

Profile ParseProfile(const std::string& text, const std::filesystem::path& baseDir) {
    json value;
    try {
        value = json::parse(text, nullptr, true, /*ignore_comments=*/true);
    } catch (const json::exception& error) {
        throw ProfileError(std::string("profile: not valid JSON: ") + error.what());
    }
    fields::CheckKeys(
        value, "top level",
        {"deviceId", "mode", "modes", "restartMode", "bootloader", "ram", "flash", "layout",
         "firmware", "content", "settings", "directProgramming", "packetBoundary", "unsupported",
         "linkBytesPerSecond", "baudRate", "faults", "stateFile"});
    for (const char* key : {"deviceId", "mode", "modes"}) {
        if (!value.contains(key)) {
            Fail("top level", std::string("needs \"") + key + "\"");
        }
    }
    Profile profile;
    profile.deviceId = static_cast<uint16_t>(fields::Number(value["deviceId"], "deviceId", 0xFFFF));
    profile.mode = sections::ParseMode(value["mode"], "mode");
    sections::ParseModes(value["modes"], profile);
    profile.restartMode = profile.modes.count(Mode::Os) ? Mode::Os : profile.mode;
    if (value.contains("restartMode")) {
        profile.restartMode = sections::ParseMode(value["restartMode"], "restartMode");
    }
    if (value.contains("bootloader")) {
        profile.bootloader = sections::ParseBootloader(value["bootloader"]);
    }
    if (value.contains("ram")) {
        profile.ram = sections::ParseRam(value["ram"]);
    }
    if (value.contains("flash")) {
        const json& banks = fields::Array(value["flash"], "flash", 64);
        for (size_t i = 0; i < banks.size(); ++i) {
            std::string where = "flash[" + std::to_string(i) + "]";
            fields::CheckKeys(banks[i], where, {"start", "size", "end"});
            profile.flash.push_back(sections::ParseRange(banks[i], where));
        }
    }
    if (value.contains("layout")) {
        profile.layout = sections::ParseLayout(value["layout"]);
    }
    if (value.contains("firmware")) {
        profile.firmware = sections::ParseFirmware(value["firmware"]);
    }
    if (value.contains("settings")) {
        profile.settings = sections::ParseSettings(value["settings"]);
    }
    if (value.contains("directProgramming")) {
        profile.directProgramming =
            fields::Boolean(value["directProgramming"], "directProgramming");
    }
    if (value.contains("packetBoundary")) {
        uint64_t boundary =
            fields::Number(value["packetBoundary"], "packetBoundary", uint64_t{1} << 31);
        if (boundary % 8 != 0) {
            Fail("packetBoundary", "must be 0 or a multiple of 8");
        }
        profile.packetBoundary = static_cast<uint32_t>(boundary);
    }
    if (value.contains("unsupported")) {
        const json& list = fields::Array(value["unsupported"], "unsupported", 32);
        for (size_t i = 0; i < list.size(); ++i) {
            profile.unsupported.push_back(
                fields::Text(list[i], "unsupported[" + std::to_string(i) + "]", 32));
        }
    }
    if (value.contains("linkBytesPerSecond")) {
        profile.linkBytesPerSecond =
            fields::Number(value["linkBytesPerSecond"], "linkBytesPerSecond", uint64_t{1} << 40);
    }
    if (value.contains("baudRate")) {
        profile.baudRate =
            static_cast<uint32_t>(fields::Number(value["baudRate"], "baudRate", 115200));
    }
    if (value.contains("faults")) {
        profile.faults = sections::ParseFaults(value["faults"], "faults");
    }
    if (value.contains("stateFile")) {
        profile.stateFile = fields::Text(value["stateFile"], "stateFile", 4096);
    }
    sections::Validate(profile);
    // Content goes last: it is checked against the flash banks Validate settled.
    if (value.contains("content")) {
        profile.content = sections::ParseContent(value["content"], profile, baseDir);
    }
    return profile;
}

Profile LoadProfile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw ProfileError("cannot open profile " + path.string());
    }
    std::stringstream text;
    text << in.rdbuf();
    try {
        return ParseProfile(text.str(), path.parent_path().empty() ? "." : path.parent_path());
    } catch (const ProfileError& error) {
        throw ProfileError(path.string() + ": " + error.what());
    }
}

}  // namespace phonesim
