// orxflash demo: the whole job on simulated phones. Builds the releases,
// attaches phones of two platforms (flash mode with older versions, combo
// file with settings to keep, blank, serial), flashes them all at once,
// verifies each, and ends with a per-phone summary.
#pragma once

#include <string>

namespace CLI {
class App;
}

struct DemoOptions {
    std::string directory;  // empty: a fresh one under the temporary directory
    bool json = false;
};

void AddDemoCommand(CLI::App& app, DemoOptions& options);
// Returns the process exit status: 0 when every phone was flashed and verified
// and every combo phone kept its settings.
int RunDemoCommand(const DemoOptions& options, const std::string& modulePath);
