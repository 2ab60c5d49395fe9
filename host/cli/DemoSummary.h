// The demo's closing summary: one row per phone, as a table or as JSON.
#pragma once

#include <cstdint>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

struct DemoRow {
    uint16_t deviceId = 0;
    std::string descriptor;  // as the host showed the phone before the flash
    std::string role;
    std::string superfile;  // file name
    int flashResult = -1;
    int verifyResult = -1;
    std::optional<std::string> verdict;  // the module's verify text
    std::optional<bool> settingsKept;    // only asked of combo releases
    bool Passed() const;
};

void PrintDemoSummary(std::FILE* out, const std::vector<DemoRow>& rows);
// {"summary":[{"device",...}],"ok"}
nlohmann::ordered_json DemoSummaryJson(const std::vector<DemoRow>& rows);
