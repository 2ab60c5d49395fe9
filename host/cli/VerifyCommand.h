// orxflash verify: compares one phone with a superfile through the module's
// VerifyDevice, writing nothing to the phone.
#pragma once

#include <string>
#include <vector>

#include "AttemptRecorder.h"

namespace CLI {
class App;
}

struct VerifyOptions {
    std::string superfile;
    int device = 0;
    std::vector<std::string> simProfiles;
    bool json = false;
    RecordOptions record;
};

void AddVerifyCommand(CLI::App& app, VerifyOptions& options);
// Returns the process exit status: 0 when the phone matches the superfile.
int RunVerifyCommand(const VerifyOptions& options, const std::string& modulePath);
