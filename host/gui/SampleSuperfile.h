// The built-in sample superfile (the k.380 release orxflash demo flashes,
// examples/phones/superfiles/k380.json, compiled in), built into a folder so
// that the window runs on it from anywhere.
#pragma once

#include <string>

// Builds k380.shx into the folder and returns its absolute path; throws
// with the reason on failure.
std::string BuildSampleSuperfile(const std::string& folder);
