// orxflash convert: the image conversion through ConvertSuperfile.
#pragma once

#include <string>

namespace CLI {
class App;
}

struct ConvertOptions {
    std::string superfile;
    bool json = false;
};

void AddConvertCommand(CLI::App& app, ConvertOptions& options);
int RunConvertCommand(const ConvertOptions& options, const std::string& modulePath);
