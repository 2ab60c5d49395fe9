#include "ManifestFields.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace mkshx::fields {

namespace {

[[noreturn]] void Fail(const std::string& where, const std::string& what) {
    throw ManifestError("manifest: " + where + ": " + what);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

uint64_t ParseNumberText(const std::string& text, const std::string& where) {
    bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    std::string digits = hex ? text.substr(2) : text;
    if (digits.empty()) {
        Fail(where, "expected a number, got \"" + text + "\"");
    }
    unsigned base = hex ? 16 : 10;
    uint64_t value = 0;
    for (char c : digits) {
        int d = HexDigit(c);
        if (d < 0 || static_cast<unsigned>(d) >= base) {
            Fail(where, "expected a number (decimal or 0x-prefixed hex), got \"" + text + "\"");
        }
        if (value > (UINT64_MAX - static_cast<unsigned>(d)) / base) {
            Fail(where, "number \"" + text + "\" is too large");
        }
        value = value * base + static_cast<unsigned>(d);
    }
    return value;
}

std::string Hex(uint64_t value) {
    char buffer[32];
    snprintf(buffer, sizeof buffer, "0x%llX", static_cast<unsigned long long>(value));
    return buffer;
}

template <size_t N>
std::array<uint8_t, N> FixedHex(const nlohmann::json& value, const std::string& where) {
    std::vector<uint8_t> bytes = HexBytes(value, where);
    if (bytes.size() != N) {
        Fail(where, "expected " + std::to_string(N * 2) + " hex digits (" + std::to_string(N) +
                        " bytes), got " + std::to_string(bytes.size()) + " bytes");
    }
    std::array<uint8_t, N> out{};
    std::copy(bytes.begin(), bytes.end(), out.begin());
    return out;
}

}  // namespace

uint64_t Number(const nlohmann::json& value, const std::string& where, uint64_t max) {
    uint64_t result = 0;
    if (value.is_number_unsigned()) {
        result = value.get<uint64_t>();
    } else if (value.is_number_integer()) {
        // Numbers set from C++ code arrive signed even when they are not negative.
        if (value.get<int64_t>() < 0) {
            Fail(where, "must not be negative");
        }
        result = static_cast<uint64_t>(value.get<int64_t>());
    } else if (value.is_string()) {
        result = ParseNumberText(value.get<std::string>(), where);
    } else {
        Fail(where, "expected an integer or a string like \"0x1F\", got " + value.dump());
    }
    if (result > max) {
        Fail(where, Hex(result) + " is above the largest allowed value " + Hex(max));
    }
    return result;
}

bool Boolean(const nlohmann::json& value, const std::string& where) {
    if (!value.is_boolean()) {
        Fail(where, "expected true or false, got " + value.dump());
    }
    return value.get<bool>();
}

std::string Text(const nlohmann::json& value, const std::string& where) {
    if (!value.is_string()) {
        Fail(where, "expected a string, got " + value.dump());
    }
    return value.get<std::string>();
}

std::vector<uint8_t> HexBytes(const nlohmann::json& value, const std::string& where) {
    std::string text = Text(value, where);
    std::vector<uint8_t> out;
    out.reserve(text.size() / 2);
    int high = -1;
    for (char c : text) {
        if (std::isspace(static_cast<unsigned char>(c))) {
            if (high >= 0) {
                Fail(where, "hex digits must come in pairs; a blank splits a byte");
            }
            continue;
        }
        int d = HexDigit(c);
        if (d < 0) {
            Fail(where, std::string("'") + c + "' is not a hex digit");
        }
        if (high < 0) {
            high = d;
        } else {
            out.push_back(static_cast<uint8_t>(high << 4 | d));
            high = -1;
        }
    }
    if (high >= 0) {
        Fail(where, "odd number of hex digits");
    }
    return out;
}

Bytes8 Hex8(const nlohmann::json& value, const std::string& where) {
    return FixedHex<8>(value, where);
}

std::array<uint8_t, 3> Hex3(const nlohmann::json& value, const std::string& where) {
    return FixedHex<3>(value, where);
}

int Slot(const nlohmann::json& value, const std::string& where) {
    const std::string range = "a slot is 0..257, \"ramdld\", \"boot\" or \"cg0\"..\"cg255\"";
    if (value.is_string()) {
        std::string name = value.get<std::string>();
        if (name == "ramdld") {
            return kRamDownloaderSlot;
        }
        if (name == "boot") {
            return kBootSlot;
        }
        if (name.size() > 2 && name.size() <= 5 && name.compare(0, 2, "cg") == 0 &&
            std::all_of(name.begin() + 2, name.end(),
                        [](char c) { return c >= '0' && c <= '9'; })) {
            int group = std::stoi(name.substr(2));
            if (group <= 255) {
                return group + kFirstCodeGroupSlot;
            }
        }
        Fail(where, "\"" + name + "\" is not a slot; " + range);
    }
    if (!value.is_number_unsigned()) {
        Fail(where, range + ", got " + value.dump());
    }
    uint64_t slot = value.get<uint64_t>();
    if (slot >= kSlotCount) {
        Fail(where, "slot " + std::to_string(slot) + " is out of range; " + range);
    }
    return static_cast<int>(slot);
}

void CheckKeys(const nlohmann::json& object, const std::string& where,
               std::initializer_list<const char*> allowed) {
    for (const auto& item : object.items()) {
        bool known = std::any_of(allowed.begin(), allowed.end(),
                                 [&](const char* key) { return item.key() == key; });
        if (!known) {
            std::string list;
            for (const char* key : allowed) {
                list += list.empty() ? key : std::string(", ") + key;
            }
            Fail(where, "unknown key \"" + item.key() + "\" (allowed: " + list + ")");
        }
    }
}

void RequireObject(const nlohmann::json& value, const std::string& where) {
    if (!value.is_object()) {
        Fail(where, "expected a JSON object, got " + value.dump());
    }
}

}  // namespace mkshx::fields
