// Lines on a terminal rewritten in place: line i of the block is redrawn by
// moving the cursor up to it and back down again, so the cursor always rests
// on the line below the block. Not thread-safe: its owner serialises calls.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

class TerminalLines {
  public:
    explicit TerminalLines(std::FILE* out) : out(out) {}

    // Shows the text as line index, drawing the lines before it first when
    // they are new. The caller cuts the text to Width() visible columns.
    void Show(size_t index, const std::string& text);
    // Columns a line may fill: never the last one, so a line never wraps.
    size_t Width() const;

  private:
    std::FILE* out;
    std::vector<std::string> shown;  // as last drawn
};
