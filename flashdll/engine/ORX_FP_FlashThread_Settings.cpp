// Keeping the phone's settings across an upgrade that brings a new settings
// area: save, erase the old area, program the new one, check it, restore.
#include <fcntl.h>

#include <cstdlib>
#include <cstring>

#include "ORX_FP_FlashThread.h"

namespace {

constexpr int kSettingsSlot = shx::kFirstCodeGroupSlot + 2;
constexpr size_t kAnswerSize = 12;
constexpr size_t kFirstTextRoom = 8;

// A text within its room of the answer, terminated or not.
std::string AnswerText(const char* answer, size_t offset, size_t room) {
    return std::string(answer + offset, strnlen(answer + offset, room));
}

}  // namespace

uint8_t CFlashThread::UpgradeSettingsArea(uint16_t expectedChecksum) {
    sequence.settingsRestored = false;
    if (!deviceApi || !sequence.reader) {
        ShowError("Flash Device API pointer is a NULL Pointer", Box::None);
        return 15;
    }
    // The new settings image is opened before the phone is asked anything, so a
    // missing image never leaves settings saved and erased with no restore.
    const SubfileRecord& settings = sequence.reader->Record(kSettingsSlot);
    int openError = 0;
    platform::UniqueFd image = platform::OpenRegularForReading(settings.imageName, openError);
    if (!image.Valid()) {
        ShowError("Error flashing new settings!", Box::None);
        return 9;
    }
    uint32_t error = 0;
    uint32_t value = 50;
    RESPONSE_TYPE response = RESPONSE_NONE;
    if (deviceApi->SendFDI_REQ_STAT_Command(error, value, response) != 1) {
        if (error == kFdaErrNotSupported) {
            return 14;
        }
        if (response == RESPONSE_INCOMPATIBLE) {
            ShowStatus("Incompatible file data!");
            return 2;
        }
        if (response == RESPONSE_NO_UPGRADE) {
            return 0;  // nothing was done: settingsRestored stays clear
        }
        ShowStatus("Error retrieving response from phone");
        return 15;
    }
    return ReplaceSettingsArea(image.Get(), settings, expectedChecksum);
}

// From save to restore the phone's settings data exist only in its saved
// copy: a stop waits until they are back.
uint8_t CFlashThread::ReplaceSettingsArea(int image, const SubfileRecord& settings,
                                          uint16_t expectedChecksum) {
    struct StopHold {
        bool& held;
        explicit StopHold(bool& flag) : held(flag) { held = true; }
        ~StopHold() { held = false; }
    } hold(stopHeld);
    uint32_t error = 0;
    if (deviceApi->SendFDI_SAVE_Command(error) != 1) {
        ShowError("Error saving settings data!", Box::None);
        return 5;
    }
    if (deviceApi->SendFDI_ERASE_FDI_Command(error) != 1) {
        ShowError("Error erasing old settings area!", Box::None);
        return 7;
    }
    ShowStatus("Flashing Code Group 2");
    if (FlashRange(image, settings.start, settings.end - settings.start + 1, settings.type) != 1) {
        ShowError("Error flashing new settings!", Box::None);
        return 9;
    }
    if (uint8_t failed = CheckSettingsChecksum(expectedChecksum); failed != 0) {
        return failed;
    }
    if (deviceApi->SendFDI_RESTORE_Command(error) != 1) {
        ShowError("Error restoring settings", Box::None);
        return 13;
    }
    sequence.settingsRestored = true;
    return 0;
}

// The phone's sum of its new settings area, a hexadecimal text in the first
// room of its answer, against the file's.
uint8_t CFlashThread::CheckSettingsChecksum(uint16_t expectedChecksum) {
    uint32_t error = 0;
    char answer[kAnswerSize] = {};
    if (deviceApi->SendFDI_REQ_FDI_CS_Command(error, answer, sizeof answer) != 1) {
        ShowError("checksum mismatch!", Box::None);
        return 11;
    }
    ShowStatus("Verifying Code Group 2 Checksum");
    std::string first = AnswerText(answer, 0, kFirstTextRoom);
    std::string second = AnswerText(answer, kFirstTextRoom, kAnswerSize - kFirstTextRoom);
    char* end = nullptr;
    unsigned long phoneSum = std::strtoul(first.c_str(), &end, 16);
    bool readable = end != first.c_str();
    if (!readable || static_cast<uint16_t>(phoneSum) != expectedChecksum) {
        ShowError("checksum mismatch!", Box::None);
        ShowError(first, Box::None);
        ShowError(second, Box::None);
        return 10;
    }
    ShowStatus("Code Group 2 Checksums match");
    return 0;
}
