// orxflash: the command-line host. It loads ORX_FP_Flash.so as a host tool
// would, binds the host services library it runs with, and drives the module's
// exports.
#include <CLI/CLI.hpp>

#include "ConvertCommand.h"
#include "DemoCommand.h"
#include "DevicesCommand.h"
#include "FlashCommand.h"
#include "FlashModule.h"
#include "HistoryCommand.h"
#include "InfoCommand.h"
#include "SimReadCommand.h"
#include "StationCommand.h"
#include "VerifyCommand.h"
#include "VersionCommand.h"

int main(int argc, char** argv) {
    CLI::App app{"orxflash: flash phones from superfiles (.shx) through the ORX_FP_Flash module"};
    app.require_subcommand(1);
    std::string modulePath = FlashModule::DefaultPath();
    app.add_option("--module", modulePath, "Path of ORX_FP_Flash.so (default: beside orxflash)");

    InfoOptions info;
    AddInfoCommand(app, info);

    ConvertOptions convert;
    AddConvertCommand(app, convert);

    DevicesOptions devices;
    AddDevicesCommand(app, devices);

    FlashOptions flash;
    AddFlashCommand(app, flash);

    VerifyOptions verify;
    AddVerifyCommand(app, verify);

    AddVersionCommand(app);

    DemoOptions demo;
    AddDemoCommand(app, demo);

    SimReadOptions simRead;
    AddSimReadCommand(app, simRead);

    StationOptions station;
    AddStationCommand(app, station);

    HistoryOptions history;
    AddHistoryCommand(app, history);

    CLI11_PARSE(app, argc, argv);

    if (app.got_subcommand("history")) {
        return RunHistoryCommand(history);
    }
    if (app.got_subcommand("sim-read")) {
        return RunSimReadCommand(simRead);
    }
    if (app.got_subcommand("devices")) {
        return RunDevicesCommand(devices, modulePath);
    }
    if (app.got_subcommand("convert")) {
        return RunConvertCommand(convert, modulePath);
    }
    if (app.got_subcommand("info")) {
        return RunInfoCommand(info, modulePath);
    }
    if (app.got_subcommand("flash")) {
        return RunFlashCommand(flash, modulePath);
    }
    if (app.got_subcommand("verify")) {
        return RunVerifyCommand(verify, modulePath);
    }
    if (app.got_subcommand("version")) {
        return RunVersionCommand(modulePath);
    }
    if (app.got_subcommand("station")) {
        return RunStationCommand(station, modulePath);
    }
    if (app.got_subcommand("demo")) {
        return RunDemoCommand(demo, modulePath);
    }
    return 1;
}
