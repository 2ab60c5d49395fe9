// The plug-in entry points after opening: resize, close, version and the
// host's specific message.
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "ErrorLog.h"
#include "ORX_FP_Flash.h"
#include "ORX_FP_FlashDialogSession.h"
#include "ORX_FP_FlashFileIO.h"
#include "ORX_FP_FlashGuard.h"
#include "ORX_FP_FlashHost.h"
#include "ORX_FP_FlashState.h"
#include "ORX_FP_FlashThread.h"
#include "ORX_FP_FlashVersion.h"
#include "platform/File.h"
#include "platform/MessageBox.h"

namespace {

constexpr const char* kSource = "ORX_FP_Flash";
constexpr const char* kModuleFile = "ORX_FP_Flash.so";

// A failure of UTCGetVersion: boxed with the dialog, always logged.
int VersionFailure(const char* text, int line) {
    if (headlessMode.load() == 0) {
        platform::ShowStopBox(text);
        HostDisplayError(text);
    }
    LogFlashError(line, text, kSource);
    return ORX_RESULT_FAILED;
}

// Deletes the image files of a superfile, as many as it has sub-files.
void DeleteImagesOf(const std::string& superfile) {
    CFlashFileIO reader(nullptr, superfile);
    if (reader.ReadSuperfile(FailureBoxes::Quiet) != 1) {
        return;
    }
    int deleted = 0;
    for (int slot = 0; slot < shx::kSlots && deleted < reader.FileCount(); ++slot) {
        if (reader.Record(slot).present) {
            unlink(reader.Record(slot).imageName.c_str());
            ++deleted;
        }
    }
}

}  // namespace

std::string FindVersionBlock(const std::string& bytes) {
    // Built from pieces so that this code's own constants never match.
    const std::string start = std::string("ORXVB") + "1<";
    size_t at = bytes.find(start);
    if (at == std::string::npos) {
        return {};
    }
    size_t end = bytes.find('>', at + start.size());
    if (end == std::string::npos || end - at > 64) {
        return {};
    }
    return bytes.substr(at + start.size(), end - at - start.size());
}

static int UTCResizeBody(int left, int top, int right, int bottom) {
    return ResizeDialogSession(left, top, right, bottom);
}

static int UTCCloseBody(void) {
    // Jobs of the automation exports still use the module and its images.
    if (headlessMode.load() != 0 && AnyJobSlotTaken()) {
        return ORX_RESULT_BUSY;
    }
    if (headlessMode.load() == 0 && CloseDialogSession() == ORX_RESULT_BUSY) {
        return ORX_RESULT_BUSY;
    }
    std::string last = LastSuperfile();
    if (!last.empty()) {
        DeleteImagesOf(last);
    }
    return ORX_RESULT_OK;
}

static int UTCGetVersionBody(char* version, size_t versionSize) {
    if (version == nullptr || versionSize == 0) {
        return ORX_RESULT_BAD_ARGUMENTS;
    }
    char directory[PATH_MAX];
    if (getcwd(directory, sizeof directory) == nullptr) {
        const char* text = "Error retrieving version number of the Flash DLL.";
        platform::ShowStopBox(text);
        LogFlashError(__LINE__, text, kSource);
        return ORX_RESULT_FAILED;
    }
    const std::string path = std::string(directory) + "/" + kModuleFile;
    int error = 0;
    platform::UniqueFd file = platform::OpenRegularForReading(path, error);
    int64_t size = file.Valid() ? platform::FileLength(file.Get()) : 0;
    if (size <= 0) {
        return VersionFailure("Error getting file version info size", __LINE__);
    }
    std::string bytes;
    try {
        bytes.resize(static_cast<size_t>(size));
    } catch (const std::bad_alloc&) {
        return VersionFailure("Error Globally Allocating memory for Flash DLL version number",
                              __LINE__);
    }
    if (!platform::ReadAt(file.Get(), 0, bytes.data(), bytes.size())) {
        return VersionFailure("Error retrieving File Version Info for the Flash DLL.", __LINE__);
    }
    std::string found = FindVersionBlock(bytes);
    if (found.empty()) {
        return VersionFailure("ProductVersion query failed for the Flash DLL.", __LINE__);
    }
    size_t length = std::min(found.size(), versionSize - 1);
    std::memcpy(version, found.data(), length);
    version[length] = '\0';
    return ORX_RESULT_OK;
}

static int UTCSpecificBody(unsigned count, const char* const* lines) {
    std::string text;
    for (unsigned i = 0; lines != nullptr && i < count; ++i) {
        text += lines[i] != nullptr ? lines[i] : "";
        text += "\r\n";
    }
    platform::ShowMessageBox(
        {text, "ORX_FP_Flash", platform::BoxIcon::None, platform::BoxButtons::Ok, false});
    return ORX_RESULT_OK;
}

extern "C" int UTCResize(int left, int top, int right, int bottom) {
    return GuardExport("UTCResize", ORX_RESULT_FAILED,
                       [&] { return UTCResizeBody(left, top, right, bottom); });
}

extern "C" int UTCClose(void) {
    return GuardExport("UTCClose", ORX_RESULT_FAILED, [&] { return UTCCloseBody(); });
}

extern "C" int UTCGetVersion(char* version, size_t versionSize) {
    return GuardExport("UTCGetVersion", ORX_RESULT_FAILED,
                       [&] { return UTCGetVersionBody(version, versionSize); });
}

extern "C" int UTCSpecific(unsigned count, const char* const* lines) {
    return GuardExport("UTCSpecific", ORX_RESULT_FAILED,
                       [&] { return UTCSpecificBody(count, lines); });
}
