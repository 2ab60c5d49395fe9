// GetSuperfileInformation: a superfile's information for a program without a
// dialog, on the caller's thread.
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "ErrorLog.h"
#include "ORX_FP_Flash.h"
#include "ORX_FP_FlashFileIO.h"
#include "ORX_FP_FlashGuard.h"
#include "ORX_FP_FlashTextArray.h"
#include "platform/MessageBox.h"

namespace {

constexpr const char* kSource = "ORX_FP_Flash";

void ReportAndLog(const char* text, int line) {
    platform::ShowStopBox(text, false);
    LogFlashError(line, text, kSource);
}

}  // namespace

static int GetSuperfileInformationBody(const char* superfilePath, OrxTextArray* infoArray,
                                       uint16_t* firstVersion) {
    if (superfilePath == nullptr || !ValidTextArray(infoArray) || firstVersion == nullptr) {
        return ORX_RESULT_BAD_ARGUMENTS;
    }
    try {
        std::unique_ptr<CFlashFileIO> reader(new (std::nothrow)
                                                 CFlashFileIO(nullptr, superfilePath));
        if (!reader) {
            ReportAndLog("Flash File IO pointer is a NULL Pointer", __LINE__);
            return ORX_RESULT_JOB_FAILED;
        }
        if (reader->ReadSuperfile(FailureBoxes::Show) != 1) {
            ReportAndLog("Error Reading File Header", __LINE__);
            // The reader's own cause, which its reports may have left in the log only.
            RecordThreadFailure(
                JobOutcome{ORX_RESULT_JOB_FAILED, 0, reader->Context().Outcome().reason});
            return ORX_RESULT_JOB_FAILED;
        }
        std::vector<std::string> before = CopyTextsIn(*infoArray);
        std::vector<std::string> after = before;
        uint16_t version = *firstVersion;
        reader->GetFileInformation(after, version);
        CopyChangedTextsOut(before, after, *infoArray);
        *firstVersion = version;
        return ORX_RESULT_OK;
    } catch (const std::exception&) {
        ReportAndLog("Error Reading File Header", __LINE__);
        return ORX_RESULT_JOB_FAILED;
    }
}

extern "C" int GetSuperfileInformation(const char* superfilePath, OrxTextArray* infoArray,
                                       uint16_t* firstVersion) {
    return GuardExport("GetSuperfileInformation", ORX_RESULT_JOB_FAILED, [&] {
        return GetSuperfileInformationBody(superfilePath, infoArray, firstVersion);
    });
}
