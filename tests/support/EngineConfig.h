// The configuration tests give an engine made without a dialog: on the
// console route unless a test asks for another.
#pragma once

#include <cstdint>
#include <string>

#include "ORX_FP_FlashThread.h"

namespace testsupport {

// The route is the console's unless a test asks for another.
inline CFlashThread::Config EngineConfig(void* host, std::string path = {}, uint16_t deviceId = 0,
                                         ReportRoute route = ReportRoute::Console) {
    CFlashThread::Config config;
    config.hostInstanceHandle = host;
    config.superfilePath = std::move(path);
    config.context = JobContext(route, deviceId);
    return config;
}

}  // namespace testsupport
