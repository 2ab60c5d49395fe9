// Pieces of the boards' rows: a text on one line and a progress bar.
#pragma once

#include <string>

// The text with its line breaks turned into blanks, so a row stays one line.
std::string OneLine(std::string text);
// "[#####...............]": 20 cells, the percentage clamped to 0-100.
std::string Bar(int percent);
