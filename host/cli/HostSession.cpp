#include "HostSession.h"

#include <cstdio>

#include "DevicesCommand.h"

bool OpenHostSession(FlashModule& module, const std::string& modulePath,
                     const std::vector<std::string>& simProfiles) {
    std::string error;
    if (!module.Load(modulePath, error)) {
        std::fprintf(stderr, "orxflash: %s\n", error.c_str());
        return false;
    }
    if (!AttachSimulatedPhones(simProfiles)) {
        return false;
    }
    if (int opened = module.OpenHeadless(); opened != 0) {
        std::fprintf(stderr, "orxflash: the module did not open (result %d)\n", opened);
        return false;
    }
    return true;
}

std::vector<uint16_t> ListedDevices() {
    std::vector<uint16_t> ids;
    for (const orxhost::DeviceEntry& device : orxhost::Devices()) {
        ids.push_back(device.deviceId);
    }
    return ids;
}
