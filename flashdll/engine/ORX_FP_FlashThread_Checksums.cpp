// Proving that the phone holds what the superfile holds: the phone's checksum
// record against every code group's declared checksum, with a range checksum
// where the file asks for one.
#include "ORX_FP_FlashHost.h"
#include "ORX_FP_FlashThread.h"
#include "platform/Text.h"

namespace {

constexpr const char* kChecksumReadFailed = "Error Geting Subscriber Unit Checksum.";
constexpr int kAttempts = 3;
constexpr int kSettingsCodeGroup = 2;
constexpr uint16_t kBarkerAsErased = 0x7F8;  // eight 0xFF bytes
constexpr const char* kNoDeviceApi = "Flash Device API pointer is a NULL Pointer";

std::string NoPhoneSumText(int n) {
    return platform::Format("Error Code Group %i contains no Subscriber Unit checksum.", n);
}

std::string MismatchText(int n, unsigned file, unsigned phone) {
    return platform::Format("Error verifying Code Group %i checksums. File: 0x%X, Phone: 0x%X", n,
                            file, phone);
}

std::string BootMismatchText(unsigned file, unsigned phone) {
    return platform::Format("Error verifying Flash Bootloader checksums. File: 0x%X, Phone: 0x%X",
                            file, phone);
}

}  // namespace

// On a phone that carries its barker, the barker's bytes replace the eight
// 0xFF the declared checksum counted.
uint16_t CFlashThread::SumWithBarker(const SubfileRecord& record) {
    return static_cast<uint16_t>(record.declaredChecksum + record.extraSum - kBarkerAsErased);
}

bool CFlashThread::PartOnPhone(const SubfileRecord& record, bool withBarker) {
    if (!deviceApi) {
        ShowError(kNoDeviceApi, Box::Show);
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
        job.superfilePath = dialog->GetControlText(ctl::kFileName);
    }
    uint8_t family = 0;
    {
        CFlashFileIO reader(dialog, job.superfilePath, context);
        if (reader.ReadSuperfile(FailureBoxes::Show) != 1) {
            return 0;
        }
        family = reader.PlatformFamily();
    }
    if (family < 1 || family > 5) {
        ShowError("ERROR: Unknown MA Type.", Box::Show);
        return 0;
    }
    if (!deviceApi) {
        ShowError(kNoDeviceApi, Box::Show);
        return 0;
    }
    MAtypeEnum maType = static_cast<MAtypeEnum>(family - 1);
    uint32_t error = 0;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (deviceApi->GetSUchkSum(maType, &records.suChecksums, error) != 0) {
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

int CFlashThread::VerifyChecksums(const CFlashFileIO& file, Stage stage) {
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
    const SubfileRecord& boot = file.Record(1);
    if (counted < fileCount && boot.present) {
        result &= CheckBootloaderSum(boot, stage);
        ++counted;
    }
    for (int n = 0; n < 256 && counted < fileCount; ++n) {
        const SubfileRecord& record = file.Record(shx::kFirstCodeGroupSlot + n);
        if (!record.present) {
            continue;
        }
        ++counted;
        if (n != kSettingsCodeGroup) {  // the settings area is the phone's own
            result &= CheckCodeGroupSum(record, n, stage);
        }
    }
    if (dialog != nullptr) {
        UpdateInfoFields();
    }
    return result;
}

// A part the flash sequence found on the phone and kept carries its barker.
bool CFlashThread::Barkered(int slot, Stage stage) const {
    return stage == Stage::Finished || sequence.alreadyOnPhone[static_cast<size_t>(slot)];
}

int CFlashThread::CheckBootloaderSum(const SubfileRecord& boot, Stage stage) {
    const CHECKSUM_ENTRY& phone = records.suChecksums.bootloader;
    if (phone.valid != 1) {
        ShowError(BootMismatchText(boot.declaredChecksum, 0), Box::Show);
        return 0;
    }
    records.bootChecksumFigure = phone.checksum;
    uint16_t expected = Barkered(1, stage) ? SumWithBarker(boot) : boot.declaredChecksum;
    if (expected != phone.checksum) {
        ShowError(BootMismatchText(expected, phone.checksum), Box::Show);
        return 0;
    }
    ShowStatus("Flash Bootloader checksums match.");
    return 1;
}

// Code group n: the phone's figure from its checksum record, or its range
// checksum for a part the file marks for one.
int CFlashThread::CheckCodeGroupSum(const SubfileRecord& record, int n, Stage stage) {
    const CHECKSUM_ENTRY& entry = records.suChecksums.codeGroups[n];
    uint16_t phoneSum = 0;
    if (record.type8) {
        if (!deviceApi) {
            ShowError(kNoDeviceApi, Box::Show);
            return 0;
        }
        uint32_t error = 0;
        if (deviceApi->GetRangeChecksum(record.start, record.end, phoneSum, error) == 0) {
            return RangeSumMissing(record, n, stage, error);
        }
    } else if (entry.valid != 1) {
        ShowError(NoPhoneSumText(n), Box::Show);
        return 0;
    } else {
        phoneSum = entry.checksum;
    }
    if (n == 1) {
        records.appChecksumFigure = phoneSum;
    }
    uint16_t expected = ExpectedSum(record, Barkered(shx::kFirstCodeGroupSlot + n, stage));
    if (expected != phoneSum) {
        ShowError(MismatchText(n, expected, phoneSum), Box::Show);
        return 0;
    }
    ShowStatus(platform::Format("Code Group %i checksums match.", n));
    return 1;
}

// A range the phone could not sum proves nothing: a mismatch. Only Verify
// lets the phone's own "no figure" answer pass silently; right after
// programming a success must be proved.
int CFlashThread::RangeSumMissing(const SubfileRecord& record, int n, Stage stage, uint32_t error) {
    if (error != kFdaErrNotSupported) {
        ReportDeviceError(kChecksumReadFailed, error, 0);
        ShowError(
            MismatchText(n, ExpectedSum(record, Barkered(shx::kFirstCodeGroupSlot + n, stage)), 0),
            Box::Show);
        return 0;
    }
    if (stage == Stage::BeforeBarkers) {
        ShowError(NoPhoneSumText(n), Box::Show);
        return 0;
    }
    return 1;
}
