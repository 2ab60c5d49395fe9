#include "DemoSummary.h"

#include <algorithm>

namespace {

std::string Outcome(int result) {
    return result == 0 ? "ok" : "FAILED (" + std::to_string(result) + ")";
}

std::string Settings(const DemoRow& row) {
    if (!row.settingsKept) {
        return "-";
    }
    return *row.settingsKept ? "kept" : "LOST";
}

std::string Verify(const DemoRow& row) {
    if (row.verdict) {
        return *row.verdict;
    }
    return Outcome(row.verifyResult);
}

bool AllPassed(const std::vector<DemoRow>& rows) {
    return std::all_of(rows.begin(), rows.end(), [](const DemoRow& row) { return row.Passed(); });
}

}  // namespace

bool DemoRow::Passed() const {
    return flashResult == 0 && verifyResult == 0 && settingsKept.value_or(true);
}

void PrintDemoSummary(std::FILE* out, const std::vector<DemoRow>& rows) {
    const char* format = "%-6s %-18s %-27s %-15s %-12s %-18s %s\n";
    std::fprintf(out, "\n");
    std::fprintf(out, format, "phone", "descriptor", "role", "superfile", "flash", "verify",
                 "settings");
    for (const DemoRow& row : rows) {
        std::fprintf(out, format, std::to_string(row.deviceId).c_str(),
                     row.descriptor.empty() ? "(none: serial)" : row.descriptor.c_str(),
                     row.role.c_str(), row.superfile.c_str(), Outcome(row.flashResult).c_str(),
                     Verify(row).c_str(), Settings(row).c_str());
    }
    size_t passed = static_cast<size_t>(
        std::count_if(rows.begin(), rows.end(), [](const DemoRow& row) { return row.Passed(); }));
    std::fprintf(out, "\n%zu of %zu phones flashed and verified%s.\n", passed, rows.size(),
                 AllPassed(rows) ? "" : "; see the errors above");
    std::fflush(out);
}

nlohmann::ordered_json DemoSummaryJson(const std::vector<DemoRow>& rows) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const DemoRow& row : rows) {
        nlohmann::ordered_json entry;
        entry["device"] = row.deviceId;
        entry["descriptor"] = row.descriptor;
        entry["role"] = row.role;
        entry["superfile"] = row.superfile;
        entry["flash"] = row.flashResult;
        entry["verify"] = row.verifyResult;
        entry["verdict"] = row.verdict ? nlohmann::ordered_json(*row.verdict) : nullptr;
        entry["settingsKept"] =
            row.settingsKept ? nlohmann::ordered_json(*row.settingsKept) : nullptr;
        entry["ok"] = row.Passed();
        list.push_back(entry);
    }
    nlohmann::ordered_json summary;
    summary["summary"] = list;
    summary["ok"] = AllPassed(rows);
    return summary;
}
