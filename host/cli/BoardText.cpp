#include "BoardText.h"

#include <algorithm>

namespace {
constexpr int kBarCells = 20;
}

std::string OneLine(std::string text) {
    std::replace_if(
        text.begin(), text.end(),
        [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }, ' ');
    return text;
}

std::string Bar(int percent) {
    int filled = std::clamp(percent, 0, 100) * kBarCells / 100;
    return "[" + std::string(static_cast<size_t>(filled), '#') +
           std::string(static_cast<size_t>(kBarCells - filled), '.') + "]";
}
