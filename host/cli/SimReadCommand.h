// orxflash sim-read: bytes of a simulated phone's flash, as its state file
// keeps them between runs.
#pragma once

#include <cstdint>
#include <string>

namespace CLI {
class App;
}

struct SimReadOptions {
    std::string profile;
    std::string start;
    std::string length;
};

void AddSimReadCommand(CLI::App& app, SimReadOptions& options);
int RunSimReadCommand(const SimReadOptions& options);
