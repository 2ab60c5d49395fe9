// orxflash version: the module's file version through UTCGetVersion.
#pragma once

#include <string>

namespace CLI {
class App;
}

void AddVersionCommand(CLI::App& app);
// Prints the version and returns the process exit status.
int RunVersionCommand(const std::string& modulePath);
