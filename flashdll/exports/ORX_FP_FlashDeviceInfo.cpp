// GetDeviceInformation and GetDevicePlatform: the versions a connected phone
// carries and its platform, for a program without a dialog, read on the
// caller's thread by an engine of its own.
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "ORX_FP_Flash.h"
#include "ORX_FP_FlashGuard.h"
#include "ORX_FP_FlashState.h"
#include "ORX_FP_FlashTextArray.h"
#include "ORX_FP_FlashThread.h"

namespace {

// An engine of its own for the phone, on the caller's thread: it reports on
// the host's display with the dialog, on the console without.
std::unique_ptr<CFlashThread> PhoneEngine(int deviceId) {
    CFlashThread::Config config;
    config.hostInstanceHandle = hostInstance.load();
    config.context =
        JobContext(headlessMode.load() == 0 ? ReportRoute::Dialog : ReportRoute::Console,
                   static_cast<uint16_t>(deviceId & 0xFFFF));
    return std::unique_ptr<CFlashThread>(new (std::nothrow) CFlashThread(std::move(config)));
}

}  // namespace

static int GetDeviceInformationBody(int deviceId, OrxTextArray* infoArray, uint16_t* firstVersion) {
    if (hostInstance.load() == nullptr) {
        return ORX_RESULT_FAILED;
    }
    if (!ValidTextArray(infoArray) || firstVersion == nullptr) {
        return ORX_RESULT_BAD_ARGUMENTS;
    }
    std::unique_ptr<CFlashThread> engine = PhoneEngine(deviceId);
    if (!engine) {
        return ORX_RESULT_FAILED;
    }
    std::vector<std::string> before = CopyTextsIn(*infoArray);
    std::vector<std::string> after = before;
    uint16_t version = *firstVersion;
    if (engine->GetPhoneVersions(after, version) != 1) {
        return ORX_RESULT_JOB_FAILED;
    }
    CopyChangedTextsOut(before, after, *infoArray);
    *firstVersion = version;
    return ORX_RESULT_OK;
}

extern "C" int GetDeviceInformation(int deviceId, OrxTextArray* infoArray, uint16_t* firstVersion) {
    return GuardExport("GetDeviceInformation", ORX_RESULT_JOB_FAILED,
                       [&] { return GetDeviceInformationBody(deviceId, infoArray, firstVersion); });
}

static int GetDevicePlatformBody(int deviceId, char* platform, size_t platformSize) {
    if (hostInstance.load() == nullptr) {
        return ORX_RESULT_FAILED;
    }
    if (platform == nullptr || platformSize == 0) {
        return ORX_RESULT_BAD_ARGUMENTS;
    }
    std::unique_ptr<CFlashThread> engine = PhoneEngine(deviceId);
    if (!engine) {
        return ORX_RESULT_FAILED;
    }
    std::string name;
    if (engine->IdentifyPlatform(name) != 1) {
        return ORX_RESULT_JOB_FAILED;
    }
    size_t length = std::min(name.size(), platformSize - 1);
    std::memcpy(platform, name.data(), length);
    platform[length] = '\0';
    return ORX_RESULT_OK;
}

extern "C" int GetDevicePlatform(int deviceId, char* platform, size_t platformSize) {
    return GuardExport("GetDevicePlatform", ORX_RESULT_JOB_FAILED,
                       [&] { return GetDevicePlatformBody(deviceId, platform, platformSize); });
}
