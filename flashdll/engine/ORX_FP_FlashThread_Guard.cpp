// A job whose worker ended by an exception: reported on the job's route as a
// failure of its phone, and seen as ended by the export that waits for it.
#include <string>

#include "ORX_FP_Flash.h"
#include "ORX_FP_FlashThread.h"

void CFlashThread::RunFailed(const char* what) {
    if (dialog != nullptr) {
        dialog->SetFlashing(false);
    }
    ShowError(std::string("Job ended by an unexpected failure: ") + what, Box::None);
    context.Finish(ORX_RESULT_JOB_FAILED);
    if (context.Route() == ReportRoute::Console) {
        ClearRunning();  // Flash sees the job ended
    }
}
