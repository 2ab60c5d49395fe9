// Running orxflash as a separate process, as users run it.
#pragma once

#include <sys/types.h>

#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace testsupport {

struct ProcessRun {
    int status = -1;  // exit status, or -1 when the process did not exit normally
    std::string out;
    std::string err;
};

// Runs the orxflash beside the test binary with the arguments, in the current
// directory, with no input; standard error goes through stderr.txt.
ProcessRun Orxflash(const std::string& arguments);

// The same with the arguments as they are, standard output on a pipe: watch
// is called with the output so far and the process's id each time more
// arrives, so a test can act on what it sees (send a signal, change a file).
ProcessRun OrxflashWatched(const std::vector<std::string>& arguments,
                           const std::function<void(const std::string& out, pid_t child)>& watch);
// Sends the signal once the output holds the cue; fails the test when it never does.
ProcessRun OrxflashSignalled(const std::vector<std::string>& arguments, const std::string& cue,
                             int signal);

// The output's lines, each one JSON object; fails the test for a line that is
// not JSON and for output that does not end with a line end.
std::vector<nlohmann::json> JsonLines(const std::string& out);

}  // namespace testsupport
