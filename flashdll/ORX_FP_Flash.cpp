// The plug-in entry points that open the module.
#include "ORX_FP_Flash.h"

#include "ErrorLog.h"
#include "ORX_FP_FlashState.h"
#include "platform/MessageBox.h"

namespace {
constexpr const char* kSource = "ORX_FP_Flash";
constexpr const char* kNoInstance = "Handle to instance of ORX DLL is a NULL Pointer";
constexpr const char* kNoPointers = "Error initializing pointers";

void ReportNoInstance(int line) {
    platform::ShowStopBox(kNoInstance);
    LogFlashError(line, kNoInstance, kSource);
}
}  // namespace

extern "C" int UTCInit(void* instance) {
    errorLogEnabled.store(1);
    if (instance == nullptr) {
        ReportNoInstance(__LINE__);
    }
    hostInstance.store(instance);
    return 0;
}

extern "C" int UTCOpen(int mode, void* /*parent*/, int /*left*/, int /*top*/, int /*right*/,
                       int /*bottom*/, void** /*threadHandle*/) {
    const bool dialogMode = (mode & 0xFF) == 1;
    headlessMode.store(dialogMode ? 0 : 1);
    if (dialogMode) {
        // This build carries no dialog: the dialog and its engine cannot be made.
        platform::ShowStopBox(kNoPointers);
        LogFlashError(__LINE__, kNoPointers, kSource);
        return ORX_RESULT_FAILED;
    }
    if (hostInstance.load() == nullptr) {
        ReportNoInstance(__LINE__);
        return ORX_RESULT_FAILED;
    }
    return ORX_RESULT_OK;
}
