// Verify: does the connected phone hold exactly what the superfile holds?
// Versions and checksums are compared; nothing is written to the phone.
#include <memory>
#include <new>

#include "ErrorLog.h"
#include "ORX_FP_FlashThread.h"
#include "platform/MessageBox.h"

namespace {
constexpr const char* kSource = "ORX_FP_FlashThread";
}

void CFlashThread::Verdict(const char* text) {
    context.Status(text);
    LogFlashError(__LINE__, text, kSource);
}

int CFlashThread::RunVerify() {
    if (dialog != nullptr) {
        job.superfilePath = dialog->GetControlText(ctl::kFileName);
    }
    std::unique_ptr<CFlashFileIO> reader(new (std::nothrow)
                                             CFlashFileIO(dialog, job.superfilePath, context));
    if (!reader) {
        platform::ShowStopBox("Flash File IO pointer is a NULL Pointer");
        LogFlashError(__LINE__, "Flash File IO pointer is a NULL Pointer", kSource);
        context.NoteFailure("Flash File IO pointer is a NULL Pointer");
        return 0;
    }
    if (reader->ReadSuperfile(FailureBoxes::Show) != 1) {
        LogFlashError(__LINE__, "Error Reading File Header", kSource);
        Verdict("Verify FAILED!!!");
        return 0;
    }
    InitDeviceApi(Failures::Report);
    if (records.tavenorBlank == 1 || records.tavenorFlash == 1) {
        return 1;
    }
    if (VerifySUInfo(*reader, Ask::Never) != 1) {
        Verdict("Verify FAILED!!!");
        return 0;
    }
    int result = VerifyChecksums(*reader, Stage::Finished);
    Verdict(result == 1 ? "Verify Successful" : "Verify FAILED!!!");
    return result;
}
