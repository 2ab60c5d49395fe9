// The built-in sample superfile (examples/sample.json, compiled in), built
// into a folder so that the window runs on it from anywhere.
#pragma once

#include <string>

// Builds sample.shx into the folder and returns its absolute path; throws
// with the reason on failure.
std::string BuildSampleSuperfile(const std::string& folder);
