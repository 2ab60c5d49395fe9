// Pieces of the boards' rows: a text on one line and a progress bar.
#pragma once

#include <string>

// The text with its line breaks and other control characters turned into
// blanks, so a row stays one line and a text from a phone (its descriptor) or
// a file cannot move the cursor or recolour the terminal.
std::string OneLine(std::string text);
// "[#####...............]": 20 cells, the percentage clamped to 0-100.
std::string Bar(int percent);
