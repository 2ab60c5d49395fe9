#include "ORX_FP_FlashThread.h"

#include "ORX_FP_FlashHost.h"

#include <cstring>
#include <new>
#include <utility>

CFlashThread::CFlashThread(IFlashView* dialog, JobContext context)
    : dialog(dialog),
      deviceApi(new (std::nothrow) CFlashDeviceApi()),
      commandEvent(platform::OpenNamedEvent("Flash Thread Event", true)),
      context(std::move(context)) {
    this->context.SetStopToken(StopToken(this));
}

// The worker may still be finishing a step: wait for it before the members it
// uses go. The context may outlive the engine; its stop token may not.
CFlashThread::~CFlashThread() {
    JoinWorker();
    context.SetStopToken(StopToken());
}

bool CFlashThread::DescriptorAbsent(const SU_DESCRIPTOR& descriptor) const {
    return std::memcmp(&descriptor, absentPattern.data(), sizeof descriptor) == 0;
}

// Progress markers around long phone operations go to the dialog only.
void CFlashThread::ReportProgress(const char* value) {
    context.DialogProgressMarker(value);
}
