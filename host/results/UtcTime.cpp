#include "UtcTime.h"

#include <cstdio>
#include <ctime>
#include <regex>

namespace orxresults {

std::string UtcText(std::chrono::system_clock::time_point when) {
    using namespace std::chrono;
    auto ms = duration_cast<milliseconds>(when.time_since_epoch()).count();
    std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  static_cast<int>(ms % 1000));
    return text;
}

std::string UtcNow() {
    return UtcText(std::chrono::system_clock::now());
}

std::optional<std::string> SinceBound(const std::string& text) {
    static const std::regex form(
        R"((\d{4})-(\d{2})-(\d{2})(?:[T ](\d{2}):(\d{2})(?::(\d{2}))?Z?)?)");
    std::smatch parts;
    if (!std::regex_match(text, parts, form)) {
        return std::nullopt;
    }
    auto number = [&parts](size_t i) { return parts[i].matched ? std::stoi(parts[i]) : 0; };
    int year = number(1), month = number(2), day = number(3);
    int hour = number(4), minute = number(5), second = number(6);
    if (year < 1970 || month < 1 || month > 12 || hour > 23 || minute > 59 || second > 59) {
        return std::nullopt;
    }
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    int days = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
    if (day < 1 || day > days) {
        return std::nullopt;
    }
    char bound[96];
    std::snprintf(bound, sizeof bound, "%04d-%02d-%02dT%02d:%02d:%02d.000Z", year, month, day, hour,
                  minute, second);
    return bound;
}

}  // namespace orxresults
