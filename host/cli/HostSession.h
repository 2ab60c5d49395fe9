// What every flashing command does first: load the module, plug in the
// simulated phones asked for, and open the module without a dialog. Failures
// are said on standard error.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "FlashModule.h"
#include "OrxHost.h"

// True when the module is open.
bool OpenHostSession(FlashModule& module, const std::string& modulePath,
                     const std::vector<std::string>& simProfiles);

// The device numbers the host lists now.
std::vector<uint16_t> ListedDevices();
