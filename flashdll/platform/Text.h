// printf-style text for the module's messages, checked by the compiler: every
// format string passed here is matched against its arguments by -Wformat.
#pragma once

#include <string>

namespace platform {

// The text printf would print; any length.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace platform
