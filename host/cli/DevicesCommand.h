// orxflash devices: the connected phones, as the host lists them and as the
// module reads them through GetDeviceInformation.
#pragma once

#include <string>
#include <vector>

namespace CLI {
class App;
}

struct DevicesOptions {
    std::vector<std::string> simProfiles;
    bool json = false;
};

void AddDevicesCommand(CLI::App& app, DevicesOptions& options);
int RunDevicesCommand(const DevicesOptions& options, const std::string& modulePath);
// Attaches a simulated phone for each profile; false with a message on failure.
bool AttachSimulatedPhones(const std::vector<std::string>& profiles);
