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
#include "platform/MessageBox.h"

namespace {

constexpr const char* kSource = "ORX_FP_Flash";

void ReportAndLog(const char* text, int line) {
    platform::ShowStopBox(text, false);
    LogFlashError(line, text, kSource);
}

std::vector<std::string> CopyIn(const OrxTextArray& array) {
    std::vector<std::string> texts(static_cast<size_t>(array.count));
    for (size_t i = 0; i < texts.size(); ++i) {
        if (array.entries[i] != nullptr && array.entrySize > 0) {
            texts[i].assign(array.entries[i], strnlen(array.entries[i], array.entrySize));
        }
    }
    return texts;
}

// Writes back only the entries the reader changed, cut to the caller's size.
void CopyOut(const std::vector<std::string>& before, const std::vector<std::string>& after,
             OrxTextArray& array) {
    for (size_t i = 0; i < after.size(); ++i) {
        char* entry = array.entries[i];
        if (after[i] == before[i] || entry == nullptr || array.entrySize == 0) {
            continue;
        }
        size_t length = std::min(after[i].size(), array.entrySize - 1);
        std::memcpy(entry, after[i].data(), length);
        entry[length] = '\0';
    }
}

}  // namespace

extern "C" int GetSuperfileInformation(const char* superfilePath, OrxTextArray* infoArray,
                                       uint16_t* firstVersion) {
    if (superfilePath == nullptr || infoArray == nullptr || firstVersion == nullptr ||
        infoArray->count < 0 || (infoArray->count > 0 && infoArray->entries == nullptr)) {
        return ORX_RESULT_BAD_ARGUMENTS;
    }
    try {
        std::unique_ptr<CFlashFileIO> reader(new (std::nothrow)
                                                 CFlashFileIO(nullptr, superfilePath));
        if (!reader) {
            ReportAndLog("Flash File IO pointer is a NULL Pointer", __LINE__);
            return ORX_RESULT_JOB_FAILED;
        }
        if (reader->ReadSuperfile(0) != 1) {
            ReportAndLog("Error Reading File Header", __LINE__);
            return ORX_RESULT_JOB_FAILED;
        }
        std::vector<std::string> before = CopyIn(*infoArray);
        std::vector<std::string> after = before;
        uint16_t version = *firstVersion;
        reader->GetFileInformation(after, version);
        CopyOut(before, after, *infoArray);
        *firstVersion = version;
        return ORX_RESULT_OK;
    } catch (const std::exception&) {
        ReportAndLog("Error Reading File Header", __LINE__);
        return ORX_RESULT_JOB_FAILED;
    }
}
