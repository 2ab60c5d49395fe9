// The files the demo needs, built into orxflash so that `orxflash demo` runs
// from any directory: the simulated phones' profiles and the release manifest.
#pragma once

#include <string>

// The file's text by its name (for example "flash-hmq-vintrel.json");
// throws std::out_of_range for a name the demo does not carry.
const std::string& DemoFile(const std::string& name);
