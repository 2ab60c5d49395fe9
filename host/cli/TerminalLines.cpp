#include "TerminalLines.h"

#include <sys/ioctl.h>
#include <unistd.h>

size_t TerminalLines::Width() const {
    winsize size{};
    if (ioctl(fileno(out), TIOCGWINSZ, &size) == 0 && size.ws_col > 1) {
        return size.ws_col - 1u;
    }
    return 79;
}

void TerminalLines::Show(size_t index, const std::string& text) {
    if (index >= shown.size()) {
        for (size_t i = shown.size(); i < index; ++i) {
            std::fprintf(out, "\n");
        }
        shown.resize(index + 1);
        shown[index] = text;
        std::fprintf(out, "%s\n", text.c_str());
    } else if (text != shown[index]) {
        size_t up = shown.size() - index;
        std::fprintf(out, "\x1b[%zuA\r\x1b[2K%s\x1b[%zuB\r", up, text.c_str(), up);
        shown[index] = text;
    }
    std::fflush(out);
}
