// The profile's firmware, content, settings and fault sections, and the rules
// that tie sections together.
#include <algorithm>
#include <cctype>
#include <fstream>

#include "ProfileSections.h"
#include "Protocol.h"

namespace phonesim::sections {

using fields::Fail;

namespace {

constexpr uint64_t kMaxContentEntry = uint64_t{64} << 20;
const std::vector<uint32_t> kBaudRates = {9600, 19200, 38400, 57600, 115200};

std::vector<uint8_t> ReadFile(const std::filesystem::path& path, const std::string& where) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) {
        Fail(where, "cannot open \"" + path.string() + "\"");
    }
    std::streamoff size = in.tellg();
    if (size < 0 || static_cast<uint64_t>(size) > kMaxContentEntry) {
        Fail(where, "\"" + path.string() + "\" is larger than 64 MiB");
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    in.seekg(0);
    if (size > 0 && !in.read(reinterpret_cast<char*>(bytes.data()), size)) {
        Fail(where, "cannot read \"" + path.string() + "\"");
    }
    return bytes;
}

// The bytes of a content or settings data entry: "hex", "fill" with "size", or "file".
std::vector<uint8_t> ParseBytes(const nlohmann::json& value, const std::string& where,
                                uint64_t maxSize, const std::filesystem::path* baseDir) {
    int kinds = value.contains("hex") + value.contains("fill") + value.contains("file");
    if (kinds != 1) {
        Fail(where, "needs exactly one of \"hex\", \"fill\" (with \"size\") and \"file\"");
    }
    if (value.contains("hex")) {
        return fields::HexBytes(value["hex"], where + ".hex", maxSize);
    }
    if (value.contains("fill")) {
        if (!value.contains("size")) {
            Fail(where, "\"fill\" needs \"size\"");
        }
        auto byte = static_cast<uint8_t>(fields::Number(value["fill"], where + ".fill", 0xFF));
        uint64_t size = fields::Number(value["size"], where + ".size", maxSize);
        return std::vector<uint8_t>(static_cast<size_t>(size), byte);
    }
    if (baseDir == nullptr) {
        Fail(where, "\"file\" is not allowed here");
    }
    std::filesystem::path file = fields::Text(value["file"], where + ".file", 4096);
    std::vector<uint8_t> bytes = ReadFile(*baseDir / file, where + ".file");
    if (bytes.size() > maxSize) {
        Fail(where, "more than " + std::to_string(maxSize) + " bytes");
    }
    return bytes;
}

bool InAnyBank(const std::vector<Range>& banks, uint32_t address, uint64_t length) {
    return std::any_of(banks.begin(), banks.end(),
                       [&](const Range& bank) { return bank.Contains(address, length); });
}

bool Overlap(const Range& a, const Range& b) {
    return a.start <= b.end && b.start <= a.end;
}

bool IsTestCommandName(const std::string& name) {
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return std::isupper(static_cast<unsigned char>(c)) || c == '_';
    });
}

}  // namespace

std::vector<FirmwareSpec> ParseFirmware(const json& value) {
    const json& list = fields::Array(value, "firmware", 256);
    std::vector<FirmwareSpec> firmware;
    for (size_t i = 0; i < list.size(); ++i) {
        std::string where = "firmware[" + std::to_string(i) + "]";
        const json& entry = list[i];
        fields::CheckKeys(
            entry, where,
            {"codeGroup", "fill", "dataType", "version", "chipsetType", "maType", "barkerWritten"});
        for (const char* key : {"codeGroup", "version"}) {
            if (!entry.contains(key)) {
                Fail(where, std::string("needs \"") + key + "\"");
            }
        }
        FirmwareSpec wanted;
        wanted.codeGroup =
            static_cast<int>(fields::Number(entry["codeGroup"], where + ".codeGroup", 255));
        wanted.version =
            static_cast<uint16_t>(fields::Number(entry["version"], where + ".version", 0xFFFF));
        auto byte = [&](const char* key) {
            return static_cast<uint8_t>(fields::Number(entry[key], where + "." + key, 0xFF));
        };
        if (entry.contains("fill")) {
            wanted.fill = byte("fill");
        }
        if (entry.contains("dataType")) {
            wanted.dataType = byte("dataType");
        }
        if (entry.contains("chipsetType")) {
            wanted.chipsetType = byte("chipsetType");
        }
        if (entry.contains("maType")) {
            wanted.maType = byte("maType");
        }
        if (entry.contains("barkerWritten")) {
            wanted.barkerWritten =
                fields::Boolean(entry["barkerWritten"], where + ".barkerWritten");
        }
        firmware.push_back(wanted);
    }
    return firmware;
}

std::vector<ContentSpec> ParseContent(const json& value, const Profile& profile,
                                      const std::filesystem::path& baseDir) {
    const json& list = fields::Array(value, "content", 1024);
    std::vector<ContentSpec> content;
    uint64_t total = 0;
    for (size_t i = 0; i < list.size(); ++i) {
        std::string where = "content[" + std::to_string(i) + "]";
        const json& entry = list[i];
        fields::CheckKeys(entry, where, {"address", "codeGroup", "hex", "fill", "size", "file"});
        if (entry.contains("address") == entry.contains("codeGroup")) {
            Fail(where, "needs exactly one of \"address\" and \"codeGroup\"");
        }
        ContentSpec wanted;
        if (entry.contains("address")) {
            wanted.address = static_cast<uint32_t>(
                fields::Number(entry["address"], where + ".address", UINT32_MAX));
        } else {
            int number =
                static_cast<int>(fields::Number(entry["codeGroup"], where + ".codeGroup", 255));
            const CodeGroupSpec* group = profile.CodeGroup(number);
            if (group == nullptr) {
                Fail(where, "code group " + std::to_string(number) + " is not in the layout");
            }
            wanted.address = group->range.start;
        }
        wanted.bytes = ParseBytes(entry, where, kMaxContentEntry, &baseDir);
        total += wanted.bytes.size();
        if (total > kMaxContentBytes) {
            Fail(where, "content adds up to more than 256 MiB");
        }
        if (!InAnyBank(profile.flash, wanted.address, wanted.bytes.size())) {
            Fail(where, "does not lie within one flash bank");
        }
        content.push_back(std::move(wanted));
    }
    return content;
}

SettingsSpec ParseSettings(const json& value) {
    fields::CheckKeys(value, "settings", {"data", "status", "checksumAnswer"});
    SettingsSpec wanted;
    if (value.contains("data")) {
        fields::CheckKeys(value["data"], "settings.data", {"hex", "fill", "size"});
        wanted.data = ParseBytes(value["data"], "settings.data", kMaxSettingsBytes, nullptr);
    }
    if (value.contains("status")) {
        const json& status = value["status"];
        fields::CheckKeys(status, "settings.status", {"code", "response"});
        if (status.contains("code")) {
            wanted.status.code = static_cast<uint32_t>(
                fields::Number(status["code"], "settings.status.code", UINT32_MAX));
        }
        if (status.contains("response")) {
            wanted.status.response = static_cast<uint32_t>(
                fields::Number(status["response"], "settings.status.response", UINT32_MAX));
        }
    }
    if (value.contains("checksumAnswer")) {
        std::vector<uint8_t> bytes =
            fields::HexBytes(value["checksumAnswer"], "settings.checksumAnswer", 12);
        if (bytes.size() != 12) {
            Fail("settings.checksumAnswer", "needs exactly 12 bytes");
        }
        wanted.checksumAnswer.emplace();
        std::copy(bytes.begin(), bytes.end(), wanted.checksumAnswer->begin());
    }
    return wanted;
}

FaultOrder ParseFault(const json& value, const std::string& where) {
    fields::CheckKeys(
        value, where,
        {"action", "command", "occurrence", "times", "stage", "code", "byte", "afterBytes"});
    if (!value.contains("action")) {
        Fail(where, "needs \"action\"");
    }
    FaultOrder fault;
    std::string action = fields::Text(value["action"], where + ".action", 32);
    if (!FaultActionByName(action, fault.action)) {
        Fail(where + ".action", "\"" + action +
                                    "\" is not one of cut, stall, corruptRequest, "
                                    "corruptAnswer, refuse, powerLoss");
    }
    if (value.contains("command")) {
        fault.command = fields::Text(value["command"], where + ".command", 64);
        orxproto::Command ignored;
        bool known = fault.command == "any" || fault.command == "packet" ||
                     orxproto::CommandByName(fault.command.c_str(), ignored);
        if (!known && !(IsTestCommandName(fault.command) && fault.action == FaultAction::Refuse)) {
            Fail(where + ".command", "\"" + fault.command +
                                         "\" is no protocol command, \"packet\" or \"any\" "
                                         "(test commands such as SUSPEND only with refuse)");
        }
    }
    auto number = [&](const char* key, uint64_t max) {
        return fields::Number(value[key], where + "." + key, max);
    };
    if (value.contains("occurrence")) {
        fault.occurrence = static_cast<uint32_t>(number("occurrence", UINT32_MAX));
    }
    if (value.contains("times")) {
        fault.times = static_cast<uint32_t>(number("times", UINT32_MAX));
    }
    if (value.contains("code")) {
        fault.code = static_cast<uint32_t>(number("code", UINT32_MAX));
    }
    if (value.contains("byte")) {
        fault.byte = static_cast<uint32_t>(number("byte", UINT32_MAX));
    }
    if (value.contains("afterBytes")) {
        if (fault.action != FaultAction::Cut || value.contains("command")) {
            Fail(where + ".afterBytes", "only for a cut without a command");
        }
        fault.afterBytes = number("afterBytes", UINT64_MAX);
    }
    if (value.contains("stage")) {
        std::string stage = fields::Text(value["stage"], where + ".stage", 32);
        if (!FaultStageByName(stage, fault.stage)) {
            Fail(where + ".stage",
                 "\"" + stage + "\" is not one of request, beforeAnswer, midAnswer");
        }
    }
    if (fault.occurrence == 0) {
        Fail(where + ".occurrence", "counts from 1");
    }
    if (fault.action == FaultAction::Refuse && fault.code == 0) {
        Fail(where + ".code", "a refusal needs a non-zero code");
    }
    return fault;
}

std::vector<FaultOrder> ParseFaults(const json& value, const std::string& where) {
    const json& list = fields::Array(value, where, 64);
    std::vector<FaultOrder> faults;
    for (size_t i = 0; i < list.size(); ++i) {
        faults.push_back(ParseFault(list[i], where + "[" + std::to_string(i) + "]"));
    }
    return faults;
}

void Validate(Profile& profile) {
    for (Mode mode : {profile.mode, profile.restartMode}) {
        if (!profile.modes.count(mode)) {
            Fail("modes", std::string("has no entry for mode \"") + ModeName(mode) + "\"");
        }
    }
    std::vector<bool> seen(256);
    for (size_t i = 0; i < profile.layout.size(); ++i) {
        const CodeGroupSpec& group = profile.layout[i];
        std::string where = "layout[" + std::to_string(i) + "]";
        if (seen[group.number]) {
            Fail(where, "code group " + std::to_string(group.number) + " is given twice");
        }
        seen[group.number] = true;
        if (group.carriesBarker && group.range.Size() < 8) {
            Fail(where, "a barker-carrying code group needs at least 8 bytes");
        }
        for (size_t j = 0; j < i; ++j) {
            if (Overlap(group.range, profile.layout[j].range)) {
                Fail(where, "overlaps layout[" + std::to_string(j) + "]");
            }
        }
    }
    if (profile.flash.empty()) {
        // Without explicit banks the flash is exactly the ranges it has to hold.
        for (const CodeGroupSpec& group : profile.layout) {
            profile.flash.push_back(group.range);
        }
        if (profile.bootloader && profile.bootloader->range) {
            profile.flash.push_back(*profile.bootloader->range);
        }
    }
    for (size_t i = 0; i < profile.flash.size(); ++i) {
        for (size_t j = 0; j < i; ++j) {
            if (Overlap(profile.flash[i], profile.flash[j])) {
                Fail("flash", "banks or code group ranges overlap");
            }
        }
        if (Overlap(profile.flash[i], profile.ram.range)) {
            Fail("ram", "overlaps the flash");
        }
    }
    for (const CodeGroupSpec& group : profile.layout) {
        if (!InAnyBank(profile.flash, group.range.start, group.range.Size())) {
            Fail("layout",
                 "code group " + std::to_string(group.number) + " lies outside the flash banks");
        }
    }
    if (profile.bootloader && profile.bootloader->range &&
        !InAnyBank(profile.flash, profile.bootloader->range->start,
                   profile.bootloader->range->Size())) {
        Fail("bootloader", "its range lies outside the flash banks");
    }
    for (size_t i = 0; i < profile.firmware.size(); ++i) {
        const CodeGroupSpec* group = profile.CodeGroup(profile.firmware[i].codeGroup);
        std::string where = "firmware[" + std::to_string(i) + "]";
        if (group == nullptr) {
            Fail(where, "code group " + std::to_string(profile.firmware[i].codeGroup) +
                            " is not in the layout");
        }
        if (group->range.Size() < 16) {
            Fail(where, "a code group needs 16 bytes to hold its descriptor");
        }
        if (group->range.Size() > kMaxContentBytes) {
            Fail(where, "code group larger than 256 MiB");
        }
    }
    for (size_t i = 0; i < profile.unsupported.size(); ++i) {
        orxproto::Command ignored;
        if (!orxproto::CommandByName(profile.unsupported[i].c_str(), ignored)) {
            Fail("unsupported[" + std::to_string(i) + "]",
                 "\"" + profile.unsupported[i] + "\" is no protocol command");
        }
    }
    if (std::find(kBaudRates.begin(), kBaudRates.end(), profile.baudRate) == kBaudRates.end()) {
        Fail("baudRate", "must be 9600, 19200, 38400, 57600 or 115200");
    }
}

}  // namespace phonesim::sections
