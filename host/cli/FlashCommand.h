// orxflash flash: flashes the connected phones from a superfile, each through
// FlashDevice on a thread of its own, or all through Flash with --console.
#pragma once

#include <string>
#include <vector>

#include "AttemptRecorder.h"

namespace CLI {
class App;
}

struct FlashOptions {
    std::string superfile;
    std::vector<int> devices;  // -d; empty: every connected phone
    std::vector<std::string> simProfiles;
    bool json = false;
    bool console = false;
    RecordOptions record;
};

void AddFlashCommand(CLI::App& app, FlashOptions& options);
// Flashes and returns the process exit status: 0 when every phone succeeded.
int RunFlashCommand(const FlashOptions& options, const std::string& modulePath);
