// A job whose worker ended by an exception: reported on the job's route as a
// failure of its phone, and seen as ended by the export that waits for it.
#include <string>

#include "ORX_FP_FlashOutcome.h"
#include "ORX_FP_FlashThread.h"

void CFlashThread::RunFailed(const char* what) {
    headlessResult = 0;
    if (dialog != nullptr) {
        dialog->SetFlashing(false);
    }
    ShowError(std::string("Job ended by an unexpected failure: ") + what, 0);
    if (noDialog != 0) {
        RecordDeviceOutcome(deviceId, ThreadFailure());
    }
    if (noDialog != 0 && perDeviceRoute == 0) {
        ClearRunning();  // Flash sees the job ended
    }
}
