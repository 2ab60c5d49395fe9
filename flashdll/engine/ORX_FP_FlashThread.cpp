#include "ORX_FP_FlashThread.h"

#include "ORX_FP_FlashHost.h"

#include <cstring>
#include <new>

CFlashThread::CFlashThread(IFlashView* dialog)
    : dialog(dialog),
      deviceApi(new (std::nothrow) CFlashDeviceApi()),
      commandEvent(platform::OpenNamedEvent("Flash Thread Event", true)) {}

// The worker may still be finishing a step: wait for it before the members it
// uses go.
CFlashThread::~CFlashThread() {
    JoinWorker();
}

bool CFlashThread::DescriptorAbsent(const SU_DESCRIPTOR& descriptor) const {
    return std::memcmp(&descriptor, absentPattern.data(), sizeof descriptor) == 0;
}

// Progress markers around long phone operations go to the dialog only.
void CFlashThread::ReportProgress(const char* value) {
    if (noDialog == 0) {
        HostDisplayProgress(value);
    }
}
