#include "VersionCommand.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>

#include "FailureReason.h"
#include "FlashModule.h"
#include "OrxHost.h"
#include "WorkingDirectory.h"

namespace {
constexpr size_t kVersionSize = 256;
}  // namespace

void AddVersionCommand(CLI::App& app) {
    app.add_subcommand("version", "Print the module's file version")
        ->footer(
            "The module (UTCGetVersion) reads the version block of ORX_FP_Flash.so in its own "
            "directory. Exit status 1, with the module's report, when it cannot be read.");
}

int RunVersionCommand(const std::string& modulePath) {
    FlashModule module;
    std::string error;
    if (!module.Load(modulePath, error)) {
        std::fprintf(stderr, "orxflash: %s\n", error.c_str());
        return 1;
    }
    if (!FlashModule::Has(module.utcGetVersion, "UTCGetVersion")) {
        return 1;
    }
    orxhost::SetDisplaySink(std::make_shared<orxhost::ConsoleSink>());
    // Initialised but not opened: the module then says why a version cannot be
    // read in a message box (standard error here) rather than only in its log.
    if (int initialised = module.Init(); initialised != 0) {
        SayFailure("the module did not initialise", initialised, AskFailure(module, -1).reason);
        return 1;
    }
    char version[kVersionSize] = {};
    int result = 0;
    {
        // The module reads its version from the file of its name in the current
        // directory, as a host that keeps its modules in its working directory
        // finds it; orxflash loads it from elsewhere, so it asks from there.
        WorkingDirectory moduleDirectory(std::filesystem::absolute(modulePath).parent_path());
        result = module.utcGetVersion(version, sizeof version);
    }
    orxhost::SetDisplaySink(nullptr);
    if (result != 0) {
        SayFailure("the module's version could not be read", result, AskFailure(module, -1).reason);
        return 1;
    }
    std::printf("ORX_FP_Flash %s\n", version);
    return 0;
}
