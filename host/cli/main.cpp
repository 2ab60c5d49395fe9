// orxflash: the command-line host. It loads ORX_FP_Flash.so as a host tool
// would, binds the host services library it runs with, and drives the module's
// exports.
#include <CLI/CLI.hpp>

#include "ConvertCommand.h"
#include "DevicesCommand.h"
#include "FlashModule.h"
#include "InfoCommand.h"

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

    CLI11_PARSE(app, argc, argv);

    if (app.got_subcommand("devices")) {
        return RunDevicesCommand(devices, modulePath);
    }
    if (app.got_subcommand("convert")) {
        return RunConvertCommand(convert, modulePath);
    }
    if (app.got_subcommand("info")) {
        return RunInfoCommand(info, modulePath);
    }
    return 1;
}
