// Standard output for the console reporting route. Lines from several threads
// never interleave within a line.
#pragma once

#include <string>

namespace platform {

// Writes the text and a line end.
void ConsoleWriteLine(const std::string& text);
// Flushes, then writes a carriage return, the percentage and "%" with no line end.
void ConsoleWriteProgress(int percent);

}  // namespace platform
