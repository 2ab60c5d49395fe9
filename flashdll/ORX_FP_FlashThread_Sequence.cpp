// The flash sequence: a RAM downloader running in the phone; erase, then the
// flash bootloader and the code groups without their barkers; checksums; and
// only then the barker codes that mark the code groups valid.
#include <fcntl.h>

#include "ErrorLog.h"
#include "ORX_FP_FlashHost.h"
#include "ORX_FP_FlashThread.h"

namespace {

constexpr const char* kSource = "ORX_FP_FlashThread";
constexpr const char* kOpenFailed = "An error ocurred while opening Software Image File";
constexpr int kAttempts = 3;
constexpr const char* kStopped = "Flashing stopped before it completed.";

bool SerialDevice(uint16_t deviceId) {
    return deviceId >= 1000 && deviceId <= 1031;
}

}  // namespace

int CFlashThread::FlashSequence(int& reboot) {
    reboot = 0;
    if (!fileReader) {
        ShowError("Flash File IO pointer is a NULL Pointer", 1);
        return 0;
    }
    if (!deviceApi) {
        ShowError("Flash Device API pointer is a NULL Pointer", 1);
        return 0;
    }
    const CFlashFileIO& file = *fileReader;
    const int n = file.FileCount();
    // An image that cannot be opened fails the sequence: passing over it would
    // leave its range erased on a phone that may still be called flashed.
    auto open = [&](const SubfileRecord& record, platform::UniqueFd& image) {
        int error = 0;
        image = platform::OpenRegularForReading(record.imageName, error);
        if (!image.Valid()) {
            ShowError(kOpenFailed, 1);
            return false;
        }
        posix_fadvise(image.Get(), 0, 0, POSIX_FADV_SEQUENTIAL);
        return true;
    };

    int f = 0;
    if (n > 0) {
        if (LoadRamDownloader(file) != 1) {
            return 0;
        }
        f = 1;
    }
    if (n > 1) {
        if (StopRequested()) {
            ShowError(kStopped, 0);
            return 0;
        }
        if (EraseForFile(file, reboot) != 1) {
            return 0;
        }
        bool noBootloaderNoted = false;
        int cg = 0;
        while (f < n && cg < 256) {
            if (StopRequested()) {
                ShowError(kStopped, 0);
                return 0;
            }
            const SubfileRecord& boot = file.Record(1);
            if (f == 1 && boot.present) {
                platform::UniqueFd image;
                if (!open(boot, image)) {
                    return 0;
                }
                ShowStatus("Flashing Flash Bootloader.");
                if (FlashRange(image.Get(), boot.start, boot.length, boot.type) != 1) {
                    return 0;
                }
                ShowStatus("Flash Bootloader Flashed.");
                f = 2;
                continue;
            }
            if (!boot.present && !noBootloaderNoted) {
                noBootloaderNoted = true;
                continue;
            }
            const SubfileRecord& record = file.Record(shx::kFirstCodeGroupSlot + cg);
            if (record.present) {
                if (!record.combo && !record.imageName.empty()) {
                    platform::UniqueFd image;
                    if (!open(record, image)) {
                        return 0;
                    }
                    ShowStatus("Flashing Code Group " + std::to_string(cg));
                    if (FlashRange(image.Get(), record.start, record.length, record.type) != 1) {
                        return 0;
                    }
                    ShowStatus("Code Group " + std::to_string(cg) + " flashed.");
                }
                ++f;
            }
            ++cg;
        }
        if (f != n) {
            ShowError(
                "Possible Corrupt SuperFile.  File count does not match with the number of valid "
                "files.",
                1);
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

// Phase 1: the bootstrap downloader for a blank phone, or, on a phone with a
// flash bootloader, the version check and the bootloader's RAM downloader.
int CFlashThread::LoadRamDownloader(const CFlashFileIO& file) {
    if (tavenorBlank == 1) {
        return 1;
    }
    const SubfileRecord& ram = file.Record(0);
    int error = 0;
    platform::UniqueFd image = platform::OpenRegularForReading(ram.imageName, error);
    if (!image.Valid()) {
        ShowError(kOpenFailed, 1);
        return 0;
    }
    if (bootState == 1) {
        return LoadBootstrapRamDownloader(image.Get(), ram.start, ram.length);
    }
    if (ram.platformFallback) {
        ShowError("ERROR: Incompatible superfile for Subscriber Unit state. \r\n", 0);
        const char* text =
            "ERROR: The superfile selected is NOT for reflash.  Please select a superfile for "
            "reflash before flashing this subscriber unit. \r\n";
        LogFlashError(__LINE__, text, kSource);
        ShowError(text, 1);
        return 0;
    }
    if (dialog != nullptr) {
        RefreshPhoneInfo(0);
    }
    if (SerialDevice(deviceId)) {
        uint32_t code = 0;
        bool set = false;
        for (int attempt = 0; attempt < kAttempts && !set; ++attempt) {
            set = deviceApi->SetBaudRate(BAUD_115200, code) != 0;
        }
        if (!set) {
            ReportDeviceError("Error in setting the BAUD rate on the phone side", code, 0);
            return 0;
        }
        if (HostSetBaudRate(115200, deviceId) != 0) {
            ReportDeviceError("Error in setting the BAUD rate on the PC side", code, 0);
            return 0;
        }
        ShowStatus("Baud rate set to 115200");
        LogFlashError(__LINE__, "Baud rate set to 115200", kSource);
    }
    if (VerifySUInfo(file, dialog != nullptr && noDialog == 0 ? 1 : 0) != 1) {
        return 0;
    }
    return LoadBootloaderRamDownloader(image.Get(), ram.start, ram.length, ram.declaredChecksum);
}

// Phase 2's erase, chosen by the file: a settings upgrade first for a combo
// settings area, the language package alone, or everything.
int CFlashThread::EraseForFile(const CFlashFileIO& file, int& reboot) {
    const SubfileRecord& application = file.Record(shx::kFirstCodeGroupSlot + 1);
    const SubfileRecord& settings = file.Record(shx::kFirstCodeGroupSlot + 2);
    const SubfileRecord& language = file.Record(shx::kFirstCodeGroupSlot + 4);
    if (settings.present && settings.combo) {
        reboot = 1;
        ShowStatus("Performing Pre Upgrade Status Check");
        ShowStatus("Please wait (This takes up to 20 seconds)");
        if (UpgradeSettingsArea(settings.declaredChecksum) != 0) {
            ShowError("FDI Upgrade Failed", 0);
            return 0;
        }
        reinsertBarker = 0;
        return EraseFlash(ERASE_ALL, 1);
    }
    if (!application.present && language.present) {
        reinsertBarker = 1;
        return EraseFlash(ERASE_LANGUAGE_PACKAGE, settings.combo ? 1 : 0);
    }
    reinsertBarker = 0;
    return EraseFlash(ERASE_ALL, settings.combo ? 1 : 0);
}

// Phase 3: checksums, then the barkers of every type-2 part, then the
// reinsert-barker command for a language package alone.
int CFlashThread::FinishWithBarkers(const CFlashFileIO& file) {
    if (tavenorBlank == 0 && tavenorFlash == 0 && VerifyChecksums(file, 0) != 1) {
        return 0;
    }
    // Every barker is tried; a part left unmarked fails the sequence afterwards.
    bool allMarked = true;
    int seen = 0;
    for (int slot = 0; slot < shx::kSlots && seen < file.FileCount(); ++slot) {
        const SubfileRecord& record = file.Record(slot);
        if (!record.present) {
            continue;
        }
        ++seen;
        if (record.type != shx::kSubfileTypeBarker) {
            continue;
        }
        if (!fileReader) {
            ShowError("Flash File IO pointer is a NULL Pointer", 1);
            allMarked = false;
        } else if (WriteBarker(record.barkerCode, record.start) != 1) {
            allMarked = false;
        }
    }
    if (!allMarked) {
        return 0;
    }
    if (reinsertBarker == 1) {
        uint32_t error = 0;
        if (deviceApi->SendReinsertBarkerCmd(error) == 0) {
            ReportDeviceError("ERROR: Unable to re-program Code Group 0 barker.", error, 0);
            return 0;
        }
    }
    if (dialog != nullptr) {
        RefreshPhoneInfo(0);
    }
    return 1;
}
