// Field readers for the profile loader: each checks the JSON type and range
// and throws ProfileError naming the field.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace phonesim::fields {

using nlohmann::json;

[[noreturn]] void Fail(const std::string& where, const std::string& what);

void RequireObject(const json& value, const std::string& where);
// Unknown keys are errors, to catch typos; "comment" is always allowed.
void CheckKeys(const json& value, const std::string& where,
               std::initializer_list<const char*> allowed);
// A JSON integer, or a string in decimal or 0x-hexadecimal, from 0 to max.
uint64_t Number(const json& value, const std::string& where, uint64_t max);
// Hexadecimal digit pairs, blanks allowed between pairs.
std::vector<uint8_t> HexBytes(const json& value, const std::string& where, size_t maxSize);
std::string Text(const json& value, const std::string& where, size_t maxSize);
bool Boolean(const json& value, const std::string& where);
const json& Array(const json& value, const std::string& where, size_t maxSize);

}  // namespace phonesim::fields
