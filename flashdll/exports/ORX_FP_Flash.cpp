// The plug-in entry points that open the module.
#include "ORX_FP_Flash.h"

#include "ErrorLog.h"
#include "ORX_FP_FlashDialogSession.h"
#include "ORX_FP_FlashGuard.h"
#include "ORX_FP_FlashState.h"
#include "platform/MessageBox.h"

namespace {
constexpr const char* kSource = "ORX_FP_Flash";
constexpr const char* kNoInstance = "Handle to instance of ORX DLL is a NULL Pointer";

void ReportNoInstance(int line) {
    platform::ShowStopBox(kNoInstance);
    LogFlashError(line, kNoInstance, kSource);
}
}  // namespace

static int UTCInitBody(void* instance) {
    errorLogEnabled.store(1);
    hostInstance.store(instance);  // kept even when reporting fails
    if (instance == nullptr) {
        ReportNoInstance(__LINE__);
    }
    return 0;
}

static int UTCOpenBody(int mode, const DialogPlacement& placement, void** threadHandle) {
    const bool dialogMode = (mode & 0xFF) == 1;
    headlessMode.store(dialogMode ? 0 : 1);
    if (dialogMode) {
        return OpenDialogSession(placement, threadHandle);
    }
    if (hostInstance.load() == nullptr) {
        ReportNoInstance(__LINE__);
        return ORX_RESULT_FAILED;
    }
    return ORX_RESULT_OK;
}

extern "C" int UTCInit(void* instance) {
    return GuardExport("UTCInit", ORX_RESULT_FAILED, [&] { return UTCInitBody(instance); });
}

extern "C" int UTCOpen(int mode, void* parent, int left, int top, int right, int bottom,
                       void** threadHandle) {
    return GuardExport("UTCOpen", ORX_RESULT_FAILED, [&] {
        return UTCOpenBody(mode, {parent, left, top, right, bottom}, threadHandle);
    });
}
