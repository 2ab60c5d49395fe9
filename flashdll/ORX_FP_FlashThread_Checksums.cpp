// Proving that the phone holds what the superfile holds: the phone's checksum
// record against every code group's declared checksum, with a range checksum
// where the file asks for one.
#include <cstdio>

#include "ORX_FP_FlashHost.h"
#include "ORX_FP_FlashThread.h"

namespace {

constexpr const char* kChecksumReadFailed = "Error Geting Subscriber Unit Checksum.";
constexpr int kAttempts = 3;
constexpr int kSettingsCodeGroup = 2;
constexpr uint16_t kBarkerAsErased = 0x7F8;  // eight 0xFF bytes
constexpr const char* kNoPhoneSum = "Error Code Group %i contains no Subscriber Unit checksum.";
constexpr const char* kMismatch =
    "Error verifying Code Group %i checksums. File: 0x%X, Phone: 0x%X";

std::string Format(const char* format, unsigned a, unsigned b = 0, unsigned c = 0) {
    char text[160];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}

}  // namespace

// On a phone that carries its barker, the barker's bytes replace the eight
// 0xFF the declared checksum counted.
uint16_t CFlashThread::SumWithBarker(const SubfileRecord& record) {
    return static_cast<uint16_t>(record.declaredChecksum + record.extraSum - kBarkerAsErased);
}

bool CFlashThread::PartOnPhone(const SubfileRecord& record, bool withBarker) {
    if (!deviceApi) {
        ShowError("Flash Device API pointer is a NULL Pointer", 1);
        return false;
    }
    uint16_t sum = 0;
    uint32_t error = 0;
    if (deviceApi->GetRangeChecksum(record.start, record.end, sum, error) == 0) {
        if (error != kFdaErrNotSupported) {
            ReportDeviceError(kChecksumReadFailed, error, 0);
        }
        return false;
    }
    return sum == (withBarker ? SumWithBarker(record) : record.declaredChecksum);
}

int CFlashThread::ReadSUChecksums() {
    if (dialog != nullptr) {
        superfilePath = dialog->GetControlText(ctl::kFileName);
    }
    uint8_t family = 0;
    {
        CFlashFileIO reader(dialog, superfilePath, context);
        if (reader.ReadSuperfile(0) != 1) {
            return 0;
        }
        family = reader.PlatformFamily();
    }
    if (family < 1 || family > 5) {
        ShowError("ERROR: Unknown MA Type.", 1);
        return 0;
    }
    if (!deviceApi) {
        ShowError("Flash Device API pointer is a NULL Pointer", 1);
        return 0;
    }
    MAtypeEnum maType = static_cast<MAtypeEnum>(family - 1);
    uint32_t error = 0;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (deviceApi->GetSUchkSum(maType, &suChecksums, error) != 0) {
            return 1;
        }
    }
    ReportDeviceError(kChecksumReadFailed, error, 0);
    return 0;
}

namespace {

// A code group's expected sum; the barker counts only for a type-2 part.
uint16_t ExpectedSum(const SubfileRecord& record, bool barkered) {
    return barkered && record.type == shx::kSubfileTypeBarker ? CFlashThread::SumWithBarker(record)
                                                              : record.declaredChecksum;
}

}  // namespace

int CFlashThread::VerifyChecksums(const CFlashFileIO& file, int onBarkeredPhone) {
    ShowStatus("Verifying Checksums...");
    ReportProgress("1000");
    int read = ReadSUChecksums();
    ReportProgress("1100");
    if (read != 1) {
        return 0;
    }
    int result = 1;
    int counted = 0;
    const int fileCount = file.FileCount();
    if (counted < fileCount && file.Record(0).present) {
        ++counted;
    }
    // A part the flash sequence found on the phone and kept carries its barker.
    auto barkered = [&](int slot) {
        return onBarkeredPhone == 1 || alreadyOnPhone[static_cast<size_t>(slot)];
    };
    const SubfileRecord& boot = file.Record(1);
    if (counted < fileCount && boot.present) {
        const CHECKSUM_ENTRY& phone = suChecksums.bootloader;
        if (phone.valid == 1) {
            bootChecksumFigure = phone.checksum;
            uint16_t expected = barkered(1) ? SumWithBarker(boot) : boot.declaredChecksum;
            if (expected == phone.checksum) {
                ShowStatus("Flash Bootloader checksums match.");
            } else {
                ShowError(
                    Format("Error verifying Flash Bootloader checksums. File: 0x%X, Phone: 0x%X",
                           expected, phone.checksum),
                    1);
                result = 0;
            }
        } else {
            ShowError(Format("Error verifying Flash Bootloader checksums. File: 0x%X, Phone: 0x%X",
                             boot.declaredChecksum, 0),
                      1);
            result = 0;
        }
        ++counted;
    }
    for (int n = 0; n < 256 && counted < fileCount; ++n) {
        const SubfileRecord& record = file.Record(shx::kFirstCodeGroupSlot + n);
        if (!record.present) {
            continue;
        }
        ++counted;
        if (n == kSettingsCodeGroup) {
            continue;  // the settings area is the phone's own
        }
        const CHECKSUM_ENTRY& entry = suChecksums.codeGroups[n];
        uint16_t phoneSum = 0;
        if (record.type8) {
            // A range the phone could not sum proves nothing: a mismatch. Only
            // Verify lets the phone's own "no figure" answer pass silently;
            // right after programming a success must be proved.
            uint32_t error = 0;
            if (!deviceApi) {
                ShowError("Flash Device API pointer is a NULL Pointer", 1);
                result = 0;
                continue;
            }
            if (deviceApi->GetRangeChecksum(record.start, record.end, phoneSum, error) == 0) {
                if (error != kFdaErrNotSupported) {
                    ReportDeviceError(kChecksumReadFailed, error, 0);
                    ShowError(
                        Format(kMismatch, static_cast<unsigned>(n),
                               ExpectedSum(record, barkered(shx::kFirstCodeGroupSlot + n)), 0),
                        1);
                    result = 0;
                } else if (onBarkeredPhone == 0) {
                    ShowError(Format(kNoPhoneSum, static_cast<unsigned>(n)), 1);
                    result = 0;
                }
                continue;
            }
        } else if (entry.valid != 1) {
            ShowError(Format(kNoPhoneSum, static_cast<unsigned>(n)), 1);
            result = 0;
            continue;
        } else {
            phoneSum = entry.checksum;
        }
        if (n == 1) {
            appChecksumFigure = phoneSum;
        }
        uint16_t expected = ExpectedSum(record, barkered(shx::kFirstCodeGroupSlot + n));
        if (expected == phoneSum) {
            ShowStatus(Format("Code Group %i checksums match.", static_cast<unsigned>(n)));
        } else {
            ShowError(Format(kMismatch, static_cast<unsigned>(n), expected, phoneSum), 1);
            result = 0;
        }
    }
    if (dialog != nullptr) {
        UpdateInfoFields();
    }
    return result;
}
