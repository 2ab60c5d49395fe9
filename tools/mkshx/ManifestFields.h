// Readers for single manifest values. Each takes the JSON value and a path
// such as "subfiles[2].start" that goes into the error message.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "Manifest.h"

namespace mkshx::fields {

// A JSON unsigned integer, or a string holding "0x"-prefixed hex or decimal.
uint64_t Number(const nlohmann::json& value, const std::string& where, uint64_t max);
bool Boolean(const nlohmann::json& value, const std::string& where);
std::string Text(const nlohmann::json& value, const std::string& where);

// A string of hex digit pairs; blanks between them are ignored.
std::vector<uint8_t> HexBytes(const nlohmann::json& value, const std::string& where);
Bytes8 Hex8(const nlohmann::json& value, const std::string& where);
std::array<uint8_t, 3> Hex3(const nlohmann::json& value, const std::string& where);

// 0..257, "ramdld", "boot" or "cg<n>".
int Slot(const nlohmann::json& value, const std::string& where);

// Throws on any key of the object not in the list (catches typos).
void CheckKeys(const nlohmann::json& object, const std::string& where,
               std::initializer_list<const char*> allowed);
void RequireObject(const nlohmann::json& value, const std::string& where);

}  // namespace mkshx::fields
