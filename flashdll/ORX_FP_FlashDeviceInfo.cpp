// GetDeviceInformation: the versions a connected phone carries, for a program
// without a dialog, read on the caller's thread by an engine of its own.
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "ORX_FP_Flash.h"
#include "ORX_FP_FlashState.h"
#include "ORX_FP_FlashTextArray.h"
#include "ORX_FP_FlashThread.h"

extern "C" int GetDeviceInformation(int deviceId, OrxTextArray* infoArray, uint16_t* firstVersion) {
    if (hostInstance.load() == nullptr) {
        return ORX_RESULT_FAILED;
    }
    if (!ValidTextArray(infoArray) || firstVersion == nullptr) {
        return ORX_RESULT_BAD_ARGUMENTS;
    }
    try {
        std::unique_ptr<CFlashThread> engine(new (std::nothrow) CFlashThread(nullptr));
        if (!engine) {
            return ORX_RESULT_FAILED;
        }
        engine->hostInstanceHandle = hostInstance.load();
        engine->noDialog = headlessMode.load();
        engine->deviceId = static_cast<uint16_t>(deviceId & 0xFFFF);
        std::vector<std::string> before = CopyTextsIn(*infoArray);
        std::vector<std::string> after = before;
        uint16_t version = *firstVersion;
        if (engine->GetPhoneVersions(after, version) != 1) {
            return ORX_RESULT_JOB_FAILED;
        }
        CopyChangedTextsOut(before, after, *infoArray);
        *firstVersion = version;
        return ORX_RESULT_OK;
    } catch (const std::exception&) {
        return ORX_RESULT_JOB_FAILED;
    }
}
