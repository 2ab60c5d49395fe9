// What the demo flashes: four simulated phones of two platforms, each with the
// release built for its platform.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

struct DemoPhone {
    std::string profile;         // a demo file
    std::string release;         // a key of DemoReleases()
    std::string role;            // what the phone shows
    bool keepsSettings = false;  // a combo release: its settings must survive
};

const std::vector<DemoPhone>& DemoPhones();

// Builds every release's superfile into the directory; returns its absolute
// path by release. Throws on failure with the reason.
std::map<std::string, std::string> BuildDemoReleases(const std::filesystem::path& directory);
