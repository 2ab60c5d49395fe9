// orxflash devices: the connected phones, as the host lists them and as the
// module reads them through GetDeviceInformation.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

class FlashModule;

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

// A connected phone as the host and the module read it.
inline constexpr int kInfoEntries = 3;
struct DeviceRow {
    uint16_t deviceId = 0;
    std::string descriptor;
    std::string interfaceName;
    int result = 0;                              // GetDeviceInformation's
    std::array<std::string, kInfoEntries> info;  // versions of code groups 0, 1 and 6
    std::string platform;                        // empty when the phone could not be identified
};
DeviceRow DescribeDevice(FlashModule& module, uint16_t deviceId);
