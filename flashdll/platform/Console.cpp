#include "platform/Console.h"

#include <cstdio>
#include <mutex>

namespace platform {
namespace {
std::mutex consoleLock;
}

void ConsoleWriteLine(const std::string& text) {
    std::lock_guard guard(consoleLock);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void ConsoleWriteProgress(int percent) {
    std::lock_guard guard(consoleLock);
    std::fflush(stdout);
    std::printf("\r%d%%", percent);
    std::fflush(stdout);
}

}  // namespace platform
