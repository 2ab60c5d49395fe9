// orxflash info: a superfile's information through GetSuperfileInformation.
#pragma once

#include <string>

namespace CLI {
class App;
}

struct InfoOptions {
    std::string superfile;
    bool json = false;
};

void AddInfoCommand(CLI::App& app, InfoOptions& options);
// Prints the information and returns the process exit status.
int RunInfoCommand(const InfoOptions& options, const std::string& modulePath);
