// Times as the database stores them: UTC ISO 8601 with milliseconds,
// "2026-12-08T14:38:36.123Z", which sort as text in time order.
#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace orxresults {

std::string UtcText(std::chrono::system_clock::time_point when);
std::string UtcNow();

// A --since value: "YYYY-MM-DD" or "YYYY-MM-DDTHH:MM[:SS][Z]", read as UTC, as
// the stored text it is compared with; nothing when it is not a real date and time.
std::optional<std::string> SinceBound(const std::string& text);

}  // namespace orxresults
