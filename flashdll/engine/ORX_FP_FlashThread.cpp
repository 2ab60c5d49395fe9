#include "ORX_FP_FlashThread.h"

#include "ORX_FP_FlashHost.h"

#include <cstring>
#include <new>
#include <utility>

namespace {

CFlashThread::Config DialogConfig(IFlashView* dialog) {
    CFlashThread::Config config;
    config.dialog = dialog;
    return config;
}

}  // namespace

CFlashThread::CFlashThread(IFlashView* dialog) : CFlashThread(DialogConfig(dialog)) {}

CFlashThread::CFlashThread(Config config)
    : dialog(config.dialog),
      job{config.hostInstanceHandle, std::move(config.superfilePath), config.kind},
      deviceApi(new (std::nothrow) CFlashDeviceApi()),
      commandEvent(platform::OpenNamedEvent("Flash Thread Event", true)),
      context(std::move(config.context)) {
    context.SetStopToken(StopToken(this));
}

// The worker may still be finishing a step: wait for it before the members it
// uses go. The context may outlive the engine; its stop token may not.
CFlashThread::~CFlashThread() {
    JoinWorker();
    context.SetStopToken(StopToken());
}

void CFlashThread::SetReader(std::unique_ptr<CFlashFileIO> reader) {
    sequence.reader = std::move(reader);
}

bool CFlashThread::DescriptorAbsent(const SU_DESCRIPTOR& descriptor) const {
    return std::memcmp(&descriptor, records.absentPattern.data(), sizeof descriptor) == 0;
}

// Progress markers around long phone operations go to the dialog only.
void CFlashThread::ReportProgress(const char* value) {
    context.DialogProgressMarker(value);
}
