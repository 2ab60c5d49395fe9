// The configuration tests give an engine made without a dialog.
#pragma once

#include <cstdint>
#include <string>

#include "ORX_FP_FlashThread.h"

namespace testsupport {

inline CFlashThread::Config EngineConfig(void* host, std::string path = {}, uint16_t deviceId = 0) {
    CFlashThread::Config config;
    config.hostInstanceHandle = host;
    config.superfilePath = std::move(path);
    config.deviceId = deviceId;
    return config;
}

}  // namespace testsupport
