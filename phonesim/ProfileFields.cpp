#include "ProfileFields.h"

#include <cctype>

#include "Profile.h"

namespace phonesim::fields {

void Fail(const std::string& where, const std::string& what) {
    throw ProfileError("profile: " + where + ": " + what);
}

void RequireObject(const json& value, const std::string& where) {
    if (!value.is_object()) {
        Fail(where, "expected an object");
    }
}

void CheckKeys(const json& value, const std::string& where,
               std::initializer_list<const char*> allowed) {
    RequireObject(value, where);
    for (const auto& item : value.items()) {
        bool known = item.key() == "comment";
        for (const char* name : allowed) {
            known = known || item.key() == name;
        }
        if (!known) {
            std::string list;
            for (const char* name : allowed) {
                list += list.empty() ? name : std::string(", ") + name;
            }
            Fail(where, "unknown key \"" + item.key() + "\" (allowed: " + list + ")");
        }
    }
}

uint64_t Number(const json& value, const std::string& where, uint64_t max) {
    uint64_t number = 0;
    if (value.is_number_unsigned()) {
        number = value.get<uint64_t>();
    } else if (value.is_number_integer()) {
        if (value.get<int64_t>() < 0) {
            Fail(where, "must not be negative");
        }
        number = static_cast<uint64_t>(value.get<int64_t>());
    } else if (value.is_string()) {
        const std::string& text = value.get_ref<const std::string&>();
        bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
        size_t from = hex ? 2 : 0;
        if (text.size() == from || text.size() - from > (hex ? 16 : 19)) {
            Fail(where, "\"" + text + "\" is not a number");
        }
        for (size_t i = from; i < text.size(); ++i) {
            unsigned char c = static_cast<unsigned char>(text[i]);
            if (hex ? !std::isxdigit(c) : !std::isdigit(c)) {
                Fail(where, "\"" + text + "\" is not a number");
            }
            unsigned digit = std::isdigit(c) ? c - '0' : (std::tolower(c) - 'a' + 10);
            number = number * (hex ? 16 : 10) + digit;
        }
    } else {
        Fail(where, "expected a number");
    }
    if (number > max) {
        Fail(where, "must be at most " + std::to_string(max));
    }
    return number;
}

std::vector<uint8_t> HexBytes(const json& value, const std::string& where, size_t maxSize) {
    if (!value.is_string()) {
        Fail(where, "expected a string of hexadecimal byte pairs");
    }
    const std::string& text = value.get_ref<const std::string&>();
    std::vector<uint8_t> bytes;
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] == ' ') {
            ++i;
            continue;
        }
        if (i + 1 >= text.size() || !std::isxdigit(static_cast<unsigned char>(text[i])) ||
            !std::isxdigit(static_cast<unsigned char>(text[i + 1]))) {
            Fail(where, "expected hexadecimal byte pairs");
        }
        if (bytes.size() == maxSize) {
            Fail(where, "more than " + std::to_string(maxSize) + " bytes");
        }
        bytes.push_back(static_cast<uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
        i += 2;
    }
    return bytes;
}

std::string Text(const json& value, const std::string& where, size_t maxSize) {
    if (!value.is_string()) {
        Fail(where, "expected a string");
    }
    const std::string& text = value.get_ref<const std::string&>();
    if (text.size() > maxSize) {
        Fail(where, "longer than " + std::to_string(maxSize) + " characters");
    }
    if (text.find('\0') != std::string::npos) {
        Fail(where, "must not contain a NUL character");
    }
    return text;
}

bool Boolean(const json& value, const std::string& where) {
    if (!value.is_boolean()) {
        Fail(where, "expected true or false");
    }
    return value.get<bool>();
}

const json& Array(const json& value, const std::string& where, size_t maxSize) {
    if (!value.is_array()) {
        Fail(where, "expected an array");
    }
    if (value.size() > maxSize) {
        Fail(where, "more than " + std::to_string(maxSize) + " entries");
    }
    return value;
}

}  // namespace phonesim::fields
