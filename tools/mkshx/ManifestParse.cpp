// JSON -> Manifest. Shape errors (wrong types, unknown keys) are caught here;
// the rules that tie fields together are left to ValidateManifest.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <type_traits>

#include "ManifestFields.h"

namespace mkshx {

namespace {

using nlohmann::json;

[[noreturn]] void Fail(const std::string& where, const std::string& what) {
    throw ManifestError("manifest: " + where + ": " + what);
}

std::string SlotLabel(int slot) {
    if (slot == kRamDownloaderSlot) {
        return "ramdld";
    }
    if (slot == kBootSlot) {
        return "boot";
    }
    return "cg" + std::to_string(slot - kFirstCodeGroupSlot);
}

DataSpec ParseData(const json& value, const std::string& where) {
    fields::RequireObject(value, where);
    DataSpec data;
    if (value.contains("hex")) {
        fields::CheckKeys(value, where, {"hex"});
        data.kind = DataKind::Hex;
        data.hex = fields::HexBytes(value["hex"], where + ".hex");
        return data;
    }
    if (!value.contains("generate")) {
        Fail(where, "needs \"hex\" or \"generate\"");
    }
    std::string how = fields::Text(value["generate"], where + ".generate");
    if (how == "random") {
        fields::CheckKeys(value, where, {"generate", "seed"});
        data.kind = DataKind::Random;
        if (value.contains("seed")) {
            data.seed = fields::Number(value["seed"], where + ".seed", UINT64_MAX);
        }
    } else if (how == "counter") {
        fields::CheckKeys(value, where, {"generate"});
        data.kind = DataKind::Counter;
    } else if (how == "fill") {
        fields::CheckKeys(value, where, {"generate", "byte"});
        data.kind = DataKind::Fill;
        if (!value.contains("byte")) {
            Fail(where, "\"fill\" needs \"byte\"");
        }
        data.fillByte = static_cast<uint8_t>(fields::Number(value["byte"], where + ".byte", 0xFF));
    } else {
        Fail(where + ".generate", "\"" + how + "\" is not one of random, counter, fill");
    }
    return data;
}

std::vector<Hole> ParseHoles(const json& value, const std::string& where) {
    if (!value.is_array()) {
        Fail(where, "expected an array of [offset, length] pairs");
    }
    std::vector<Hole> holes;
    for (size_t i = 0; i < value.size(); ++i) {
        std::string at = where + "[" + std::to_string(i) + "]";
        if (!value[i].is_array() || value[i].size() != 2) {
            Fail(at, "expected [offset, length], got " + value[i].dump());
        }
        holes.push_back({static_cast<uint32_t>(fields::Number(value[i][0], at, UINT32_MAX)),
                         static_cast<uint32_t>(fields::Number(value[i][1], at, UINT32_MAX))});
    }
    return holes;
}

std::vector<ExtraRecord> ParseExtraRecords(const json& value, const std::string& where) {
    if (!value.is_array()) {
        Fail(where, "expected an array of {\"address\", \"hex\"} objects");
    }
    std::vector<ExtraRecord> records;
    for (size_t i = 0; i < value.size(); ++i) {
        std::string at = where + "[" + std::to_string(i) + "]";
        fields::RequireObject(value[i], at);
        fields::CheckKeys(value[i], at, {"address", "hex", "comment"});
        if (!value[i].contains("address") || !value[i].contains("hex")) {
            Fail(at, "needs \"address\" and \"hex\"");
        }
        records.push_back({static_cast<uint32_t>(
                               fields::Number(value[i]["address"], at + ".address", UINT32_MAX)),
                           fields::HexBytes(value[i]["hex"], at + ".hex")});
    }
    return records;
}

// start plus size or end; a hex data block alone may also give the size.
void ParseRange(const json& value, const std::string& where, ManifestSubfile& sub) {
    bool hasStart = value.contains("start");
    bool hasSize = value.contains("size");
    bool hasEnd = value.contains("end");
    if (!hasStart) {
        if (hasSize || hasEnd) {
            Fail(where, "\"size\" or \"end\" needs \"start\"");
        }
        return;
    }
    sub.hasRange = true;
    uint64_t start = fields::Number(value["start"], where + ".start", UINT32_MAX);
    sub.start = static_cast<uint32_t>(start);
    uint64_t size = 0;
    if (hasSize) {
        size = fields::Number(value["size"], where + ".size", kMaxSubfileSize);
        if (size == 0) {
            Fail(where + ".size", "must be at least 1");
        }
    } else if (!hasEnd) {
        if (sub.data.kind != DataKind::Hex || sub.data.hex.empty()) {
            Fail(where, "needs \"size\" or \"end\" (or hex data to take the size from)");
        }
        size = sub.data.hex.size();
    }
    if (size != 0 && start + size - 1 > UINT32_MAX) {
        Fail(where, "start + size runs past address 0xFFFFFFFF");
    }
    if (hasEnd) {
        sub.end = static_cast<uint32_t>(fields::Number(value["end"], where + ".end", UINT32_MAX));
        if (hasSize && sub.end != start + size - 1) {
            Fail(where, "\"size\" and \"end\" disagree (start + size - 1 must equal end)");
        }
    } else {
        sub.end = static_cast<uint32_t>(start + size - 1);
    }
}

ManifestSubfile ParseSubfile(const json& value, const std::string& index) {
    fields::RequireObject(value, index);
    if (!value.contains("slot")) {
        Fail(index, "needs \"slot\"");
    }
    ManifestSubfile sub;
    sub.slot = fields::Slot(value["slot"], index + ".slot");
    const std::string where = index + " (" + SlotLabel(sub.slot) + ")";
    fields::CheckKeys(value, where, {"slot",         "start",
                                     "size",         "end",
                                     "type",         "version",
                                     "flag",         "family",
                                     "variant",      "carried",
                                     "extra",        "barker",
                                     "tableEntry",   "declaredChecksum",
                                     "data",         "holes",
                                     "extraRecords", "omitBlock",
                                     "descriptor",   "comment"});
    if (sub.slot == kBootSlot) {
        for (const char* key : {"data", "holes", "extraRecords", "omitBlock", "descriptor"}) {
            if (value.contains(key)) {
                Fail(where,
                     std::string("\"") + key + "\" is not allowed: slot 1 never has a block");
            }
        }
    }
    if (value.contains("data")) {
        sub.data = ParseData(value["data"], where + ".data");
    }
    ParseRange(value, where, sub);
    if (!sub.hasRange && sub.slot != kBootSlot) {
        Fail(where, "needs \"start\" and \"size\" or \"end\"");
    }
    if (sub.Inverted() && value.contains("data")) {
        Fail(where, "an inverted sub-file (end < start) has no image, so no \"data\"");
    }
    auto number = [&](const char* key, uint64_t max, auto& field) {
        if (value.contains(key)) {
            using T = std::remove_reference_t<decltype(field)>;
            field = static_cast<T>(fields::Number(value[key], where + "." + key, max));
        }
    };
    number("type", 0xFFFF, sub.type);
    number("version", 0xFFFF, sub.version);
    number("flag", 0xFF, sub.flag);
    number("family", 0xFF, sub.family);
    number("variant", 0xFF, sub.variant);
    if (value.contains("declaredChecksum")) {
        sub.declaredChecksum = static_cast<uint16_t>(
            fields::Number(value["declaredChecksum"], where + ".declaredChecksum", 0xFFFF));
    }
    if (value.contains("carried")) {
        sub.carried = fields::Hex3(value["carried"], where + ".carried");
    }
    if (value.contains("extra")) {
        sub.extra = fields::Hex8(value["extra"], where + ".extra");
    }
    if (value.contains("barker")) {
        sub.barker = fields::Hex8(value["barker"], where + ".barker");
    }
    if (value.contains("tableEntry")) {
        sub.tableEntry = fields::Hex8(value["tableEntry"], where + ".tableEntry");
    }
    if (value.contains("holes")) {
        sub.holes = ParseHoles(value["holes"], where + ".holes");
    }
    if (value.contains("extraRecords")) {
        sub.extraRecords = ParseExtraRecords(value["extraRecords"], where + ".extraRecords");
    }
    if (value.contains("omitBlock")) {
        sub.omitBlock = fields::Boolean(value["omitBlock"], where + ".omitBlock");
    }
    if (value.contains("descriptor")) {
        sub.descriptor = fields::Boolean(value["descriptor"], where + ".descriptor");
    }
    return sub;
}

ChecksumMode ParseChecksumMode(const json& value) {
    std::string mode = fields::Text(value, "checksum");
    if (mode == "auto") {
        return ChecksumMode::Auto;
    }
    if (mode == "none") {
        return ChecksumMode::None;
    }
    if (mode == "bad") {
        return ChecksumMode::Bad;
    }
    Fail("checksum", "\"" + mode + "\" is not one of auto, none, bad");
}

}  // namespace

Manifest ParseManifest(const json& value) {
    fields::RequireObject(value, "top level");
    fields::CheckKeys(value, "top level",
                      {"kind", "date", "fileCount", "recordBytes", "checksum", "seed",
                       "allowInverted", "subfiles", "comment"});
    Manifest manifest;
    if (value.contains("kind")) {
        manifest.kind = fields::Text(value["kind"], "kind");
    }
    if (value.contains("date")) {
        manifest.date = fields::Text(value["date"], "date");
    }
    if (value.contains("fileCount")) {
        manifest.fileCount =
            static_cast<uint16_t>(fields::Number(value["fileCount"], "fileCount", 0xFFFF));
    }
    if (value.contains("recordBytes")) {
        manifest.recordBytes =
            static_cast<int>(fields::Number(value["recordBytes"], "recordBytes", 0xFFFF));
    }
    if (value.contains("checksum")) {
        manifest.checksum = ParseChecksumMode(value["checksum"]);
    }
    if (value.contains("seed")) {
        manifest.seed = fields::Number(value["seed"], "seed", UINT64_MAX);
    }
    if (value.contains("allowInverted")) {
        manifest.allowInverted = fields::Boolean(value["allowInverted"], "allowInverted");
    }
    if (value.contains("subfiles")) {
        const json& list = value["subfiles"];
        if (!list.is_array()) {
            Fail("subfiles", "expected an array of sub-file objects");
        }
        std::vector<std::string> origin(kSlotCount);
        for (size_t i = 0; i < list.size(); ++i) {
            std::string index = "subfiles[" + std::to_string(i) + "]";
            ManifestSubfile sub = ParseSubfile(list[i], index);
            if (!origin[sub.slot].empty()) {
                Fail(index, "slot " + std::to_string(sub.slot) + " (" + SlotLabel(sub.slot) +
                                ") is already given by " + origin[sub.slot]);
            }
            origin[sub.slot] = index;
            manifest.subfiles.push_back(std::move(sub));
        }
        std::sort(
            manifest.subfiles.begin(), manifest.subfiles.end(),
            [](const ManifestSubfile& a, const ManifestSubfile& b) { return a.slot < b.slot; });
    }
    ValidateManifest(manifest);
    return manifest;
}

Manifest LoadManifest(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw ManifestError("cannot open manifest " + path + ": " + std::strerror(errno));
    }
    std::stringstream text;
    text << in.rdbuf();
    json value;
    try {
        value = json::parse(text.str(), nullptr, true, /*ignore_comments=*/true);
    } catch (const json::parse_error& error) {
        throw ManifestError(path + ": not valid JSON: " + error.what());
    }
    try {
        return ParseManifest(value);
    } catch (const ManifestError& error) {
        throw ManifestError(path + ": " + error.what());
    }
}

ManifestSubfile* Manifest::Find(int slot) {
    for (auto& sub : subfiles) {
        if (sub.slot == slot) {
            return &sub;
        }
    }
    return nullptr;
}

const ManifestSubfile* Manifest::Find(int slot) const {
    return const_cast<Manifest*>(this)->Find(slot);
}

}  // namespace mkshx
