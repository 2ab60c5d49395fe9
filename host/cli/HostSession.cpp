#include "HostSession.h"

#include <cstdio>

#include "DevicesCommand.h"
#include "FailureReason.h"

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
        SayFailure("the module did not open", opened, AskFailure(module, -1).reason);
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
