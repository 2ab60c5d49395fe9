// orxflash on a terminal: run on a pseudo-terminal, and what the terminal
// shows afterwards, for tests of boards redrawn in place.
#pragma once

#include <string>
#include <vector>

#include "ProcessRun.h"

namespace testsupport {

// orxflash with its standard output on a terminal 120 columns wide.
ProcessRun OrxflashOnTerminal(const std::vector<std::string>& arguments);

// What a terminal shows after the bytes: lines, cursor moves up and down,
// carriage returns and line clears; colour codes are left out.
std::vector<std::string> Screen(const std::string& bytes);

}  // namespace testsupport
