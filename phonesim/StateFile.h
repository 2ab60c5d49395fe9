// A phone's lasting state in a file, so separate processes see the same
// phone: mode, flash pages, settings data, line rate and code group 0's mark.
#pragma once

#include <filesystem>

#include "PhoneCore.h"

namespace phonesim {

// Replaces the core's lasting state with the file's; nothing happens when
// the file does not exist. Throws ProfileError for a damaged file.
void LoadState(PhoneCore& core, const std::filesystem::path& path);
// Writes a new file and renames it into place; false when that fails.
bool SaveState(const PhoneCore& core, const std::filesystem::path& path);

}  // namespace phonesim
