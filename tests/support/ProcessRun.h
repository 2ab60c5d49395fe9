// Running orxflash as a separate process, as users run it.
#pragma once

#include <string>

namespace testsupport {

struct ProcessRun {
    int status = -1;  // exit status, or -1 when the process did not exit normally
    std::string out;
    std::string err;
};

// Runs the orxflash beside the test binary with the arguments, in the current
// directory, with no input; standard error goes through stderr.txt.
ProcessRun Orxflash(const std::string& arguments);

}  // namespace testsupport
