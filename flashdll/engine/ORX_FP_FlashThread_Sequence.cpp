// The flash sequence: a RAM downloader running in the phone; erase, then the
// flash bootloader and the code groups without their barkers; checksums; and
// only then the barker codes that mark the code groups valid.
#include <fcntl.h>

#include "DeviceNumbers.h"
#include "ErrorLog.h"
#include "ORX_FP_FlashHost.h"
#include "ORX_FP_FlashThread.h"

namespace {

constexpr const char* kSource = "ORX_FP_FlashThread";
constexpr const char* kOpenFailed = "An error ocurred while opening Software Image File";
constexpr int kAttempts = 3;
constexpr const char* kStopped = "Flashing stopped before it completed.";
constexpr int kSettingsSlot = shx::kFirstCodeGroupSlot + 2;
constexpr int kLanguageSlot = shx::kFirstCodeGroupSlot + 4;

bool SerialDevice(uint16_t deviceId) {
    return orx::IsSerialDevice(deviceId);
}

}  // namespace

int CFlashThread::FlashSequence(int& reboot) {
    reboot = 0;
    if (!sequence.reader) {
        ShowError("Flash File IO pointer is a NULL Pointer", Box::Show);
        return 0;
    }
    if (!deviceApi) {
        ShowError("Flash Device API pointer is a NULL Pointer", Box::Show);
        return 0;
    }
    const CFlashFileIO& file = *sequence.reader;
    const int n = file.FileCount();
    sequence.alreadyOnPhone.fill(false);
    sequence.settingsRestored = false;
    if (n > 0 && LoadRamDownloader(file) != 1) {
        return 0;
    }
    if (n > 1) {
        if (StopHere()) {
            return 0;
        }
        if (EraseForFile(file, reboot) != 1 || ProgramParts(file) != 1) {
            return 0;
        }
    }
    // A lone RAM downloader is done once it runs; everything else is proved.
    if (n != 1 && FinishWithBarkers(file) != 1) {
        return 0;
    }
    ShowStatus("FLASH COMPLETED!!!.");
    return 1;
}

// Phase 2 after the erase: the flash bootloader, then the code groups in
// order, without their barkers. Only what this sequence erased is programmed:
// a part already on the phone (kept settings, or one a language package erase
// left) is passed over. Every sub-file after the RAM downloader must be met.
int CFlashThread::ProgramParts(const CFlashFileIO& file) {
    const int n = file.FileCount();
    int f = 1;  // the RAM downloader is done
    if (StopHere()) {
        return 0;
    }
    const SubfileRecord& boot = file.Record(1);
    if (boot.present) {
        // A bootloader the phone holds was not erased.
        if (!sequence.alreadyOnPhone[1] &&
            ProgramPart(boot, "Flashing Flash Bootloader.", "Flash Bootloader Flashed.") != 1) {
            return 0;
        }
        f = 2;
    }
    for (int cg = 0; f < n && cg < 256; ++cg) {
        if (StopHere()) {
            return 0;
        }
        const int slot = shx::kFirstCodeGroupSlot + cg;
        const SubfileRecord& record = file.Record(slot);
        if (!record.present) {
            continue;
        }
        if (!sequence.alreadyOnPhone[static_cast<size_t>(slot)] && !record.imageName.empty() &&
            ProgramPart(record, "Flashing Code Group " + std::to_string(cg),
                        "Code Group " + std::to_string(cg) + " flashed.") != 1) {
            return 0;
        }
        ++f;
    }
    if (f != n) {
        ShowError(
            "Possible Corrupt SuperFile.  File count does not match with the number of valid "
            "files.",
            Box::Show);
        return 0;
    }
    return 1;
}

// One part's image into its range, between its two status lines. An image
// that cannot be opened fails the sequence: passing over it would leave its
// range erased on a phone that may still be called flashed.
int CFlashThread::ProgramPart(const SubfileRecord& record, const std::string& flashing,
                              const std::string& flashed) {
    int error = 0;
    platform::UniqueFd image = platform::OpenRegularForReading(record.imageName, error);
    if (!image.Valid()) {
        ShowError(kOpenFailed, Box::Show);
        return 0;
    }
    posix_fadvise(image.Get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    ShowStatus(flashing);
    if (FlashRange(image.Get(), record.start, record.length, record.type) != 1) {
        return 0;
    }
    ShowStatus(flashed);
    return 1;
}

// Phase 1: the bootstrap downloader for a blank phone, or, on a phone with a
// flash bootloader, the version check and the bootloader's RAM downloader.
int CFlashThread::LoadRamDownloader(const CFlashFileIO& file) {
    if (records.tavenorBlank == 1) {
        return 1;
    }
    const SubfileRecord& ram = file.Record(0);
    int error = 0;
    platform::UniqueFd image = platform::OpenRegularForReading(ram.imageName, error);
    if (!image.Valid()) {
        ShowError(kOpenFailed, Box::Show);
        return 0;
    }
    if (records.bootState == 1) {
        return LoadBootstrapRamDownloader(image.Get(), ram.start, ram.length);
    }
    if (ram.platformFallback) {
        ShowError("ERROR: Incompatible superfile for Subscriber Unit state. \r\n", Box::None);
        const char* text =
            "ERROR: The superfile selected is NOT for reflash.  Please select a superfile for "
            "reflash before flashing this subscriber unit. \r\n";
        LogFlashError(__LINE__, text, kSource);
        ShowError(text, Box::Show);
        return 0;
    }
    if (dialog != nullptr) {
        RefreshPhoneInfo(InfoScope::Versions);
    }
    if (SerialDevice(DeviceNumber()) && RaiseSerialLineRate() != 1) {
        return 0;
    }
    if (VerifySUInfo(file, dialog != nullptr && context.Route() == ReportRoute::Dialog
                               ? Ask::User
                               : Ask::Never) != 1) {
        return 0;
    }
    return LoadBootloaderRamDownloader(image.Get(), ram.start, ram.length, ram.declaredChecksum);
}

// A serial phone and the host's end of its line go to 115200 before the RAM
// downloader is sent.
int CFlashThread::RaiseSerialLineRate() {
    uint32_t code = 0;
    bool set = false;
    for (int attempt = 0; attempt < kAttempts && !set; ++attempt) {
        set = deviceApi->SetBaudRate(BAUD_115200, code) != 0;
    }
    if (!set) {
        ReportDeviceError("Error in setting the BAUD rate on the phone side", code, 0);
        return 0;
    }
    if (HostSetBaudRate(115200, DeviceNumber()) != 0) {
        ReportDeviceError("Error in setting the BAUD rate on the PC side", code, 0);
        return 0;
    }
    ShowStatus("Baud rate set to 115200");
    LogFlashError(__LINE__, "Baud rate set to 115200", kSource);
    return 1;
}

// Phase 2's erase, chosen by the file: a settings upgrade first for a combo
// settings area, then the language package alone or everything. The status
// request is skipped only when the upgrade restored the phone's settings.
//
// A language package erase clears code group 4 alone, and nothing is ever
// programmed over flash this sequence did not erase: every other part of such
// a file must already be on the phone, whole, or the file is refused before
// anything is erased. A combo settings area is the upgrade's own: it erases
// and programs that area itself, so the language package erase still keeps
// the application.
int CFlashThread::EraseForFile(const CFlashFileIO& file, int& reboot) {
    const SubfileRecord& application = file.Record(shx::kFirstCodeGroupSlot + 1);
    const SubfileRecord& settings = file.Record(kSettingsSlot);
    const SubfileRecord& language = file.Record(kLanguageSlot);
    const bool languageOnly = !application.present && language.present;
    const bool upgradeSettings = settings.present && settings.combo;
    for (int slot = 1; languageOnly && slot < shx::kSlots; ++slot) {
        bool upgradesItself = upgradeSettings && slot == kSettingsSlot;
        if (slot != kLanguageSlot && !upgradesItself && RequireOnPhone(file, slot) != 1) {
            return 0;
        }
    }
    sequence.reinsertBarker = languageOnly;
    const EraseTypeEnum eraseType = languageOnly ? ERASE_LANGUAGE_PACKAGE : ERASE_ALL;
    if (!upgradeSettings) {
        return EraseFlash(eraseType, SettingsArea::AskPhone);
    }
    reboot = 1;
    ShowStatus("Performing Pre Upgrade Status Check");
    ShowStatus("Please wait (This takes up to 20 seconds)");
    if (UpgradeSettingsArea(settings.declaredChecksum) != 0) {
        ShowError("FDI Upgrade Failed", Box::None);
        return 0;
    }
    // A phone that let nothing happen keeps nothing: its erase asks for the
    // status again, and code group 2 is programmed with the others, which a
    // language package erase would not allow.
    sequence.alreadyOnPhone[kSettingsSlot] = sequence.settingsRestored;
    if (languageOnly && !sequence.settingsRestored && RequireOnPhone(file, kSettingsSlot) != 1) {
        return 0;
    }
    return EraseFlash(eraseType,
                      sequence.settingsRestored ? SettingsArea::Restored : SettingsArea::AskPhone);
}

// A part of a language package file that the phone must hold already: it is
// then passed over; otherwise the file is refused.
int CFlashThread::RequireOnPhone(const CFlashFileIO& file, int slot) {
    const SubfileRecord& record = file.Record(slot);
    if (!record.present) {
        return 1;
    }
    const bool bootloader = slot == 1;
    if (!PartOnPhone(record, bootloader || record.type == shx::kSubfileTypeBarker)) {
        std::string part = bootloader ? std::string("the Flash Bootloader")
                                      : "Code Group " + std::to_string(slot - 2);
        ShowError("ERROR: The language package file also carries " + part +
                      ", which the phone does not hold. Only Code Group 4 is erased for a "
                      "language package, so this file cannot be flashed.",
                  Box::Show);
        return 0;
    }
    sequence.alreadyOnPhone[static_cast<size_t>(slot)] = true;
    return 1;
}

// Phase 3: checksums, then the barkers of every type-2 part this sequence
// programmed, then the reinsert-barker command for a language package alone.
// No barker is written after a stop.
int CFlashThread::FinishWithBarkers(const CFlashFileIO& file) {
    if (StopHere()) {
        return 0;
    }
    if (records.tavenorBlank == 0 && records.tavenorFlash == 0 &&
        VerifyChecksums(file, Stage::BeforeBarkers) != 1) {
        return 0;
    }
    if (WriteBarkers(file) != 1) {
        return 0;
    }
    if (sequence.reinsertBarker) {
        if (StopHere()) {
            return 0;
        }
        uint32_t error = 0;
        if (deviceApi->SendReinsertBarkerCmd(error) == 0) {
            ReportDeviceError("ERROR: Unable to re-program Code Group 0 barker.", error, 0);
            return 0;
        }
    }
    if (dialog != nullptr) {
        RefreshPhoneInfo(InfoScope::Versions);
    }
    return 1;
}

// Every barker is tried; a part left unmarked fails the sequence afterwards.
int CFlashThread::WriteBarkers(const CFlashFileIO& file) {
    bool allMarked = true;
    int seen = 0;
    for (int slot = 0; slot < shx::kSlots && seen < file.FileCount(); ++slot) {
        const SubfileRecord& record = file.Record(slot);
        if (!record.present) {
            continue;
        }
        ++seen;
        if (record.type != shx::kSubfileTypeBarker ||
            sequence.alreadyOnPhone[static_cast<size_t>(slot)]) {
            continue;
        }
        if (StopHere()) {
            return 0;
        }
        if (!sequence.reader) {
            ShowError("Flash File IO pointer is a NULL Pointer", Box::Show);
            allMarked = false;
        } else if (WriteBarker(record.barkerCode, record.start) != 1) {
            allMarked = false;
        }
    }
    return allMarked ? 1 : 0;
}

bool CFlashThread::StopHere() {
    if (stopHeld || !StopRequested()) {
        return false;
    }
    ShowError(kStopped, Box::None);
    return true;
}
