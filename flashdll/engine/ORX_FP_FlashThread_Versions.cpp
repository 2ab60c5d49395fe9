// Does the superfile fit the phone? Chipset, MA type and data types must agree;
// versions are compared part by part and reported, and in interactive flashing
// the user is asked before an older or equal version goes on.

#include "ErrorLog.h"
#include "ORX_FP_FlashThread.h"
#include "platform/MessageBox.h"
#include "platform/Text.h"

namespace {

constexpr const char* kSource = "ORX_FP_FlashThread";
constexpr const char* kChipsetMismatch =
    "Error verifying Subscriber Unit Info: Chipset type does not match.";
constexpr const char* kMaMismatch = "Error verifying Subscriber Unit Info: MA type does not match";
constexpr const char* kAskFlash = "\r\nDo you still want to flash this file?";
constexpr int kSettingsCodeGroup = 2;
constexpr int kLanguageCodeGroup = 4;

using platform::Format;

uint16_t Version(const uint8_t version[2]) {
    return static_cast<uint16_t>((version[0] << 8) | version[1]);
}

// Descriptor bytes of a record: flag, chipset (variant), MA type (family), data type.
uint8_t Chipset(const SubfileRecord& record) {
    return record.descriptorBytes[1];
}
uint8_t MaType(const SubfileRecord& record) {
    return record.descriptorBytes[2];
}
uint8_t DataType(const SubfileRecord& record) {
    return record.descriptorBytes[3];
}

const char* Comparison(uint16_t file, uint16_t phone) {
    return file < phone ? "older than" : file > phone ? "newer than" : "the same as";
}

}  // namespace

int CFlashThread::VerifySUInfo(const CFlashFileIO& file, Ask ask) {
    if (ReadSUInfo(Failures::Report) != 1) {
        return 0;
    }
    const SU_DESCRIPTOR& phoneBoot = records.suInfo.bootloader;
    SetPlatformName(phoneBoot.maType, phoneBoot.chipsetType);
    if (dialog != nullptr) {
        dialog->ListReset(ctl::kPhoneMiscList);
    }
    const int fileCount = file.FileCount();
    int counted = 0;
    if (counted < fileCount && file.Record(0).present) {
        ++counted;
    }
    const SubfileRecord& boot = file.Record(1);
    if (counted < fileCount && boot.present) {
        if (!DescriptorAbsent(phoneBoot) && CheckBootloaderInfo(boot, ask) != 1) {
            return 0;
        }
        ++counted;
    }
    for (int n = 0; n < 256 && counted < fileCount; ++n) {
        if (!file.Record(shx::kFirstCodeGroupSlot + n).present) {
            continue;
        }
        if (CheckCodeGroupInfo(file, n, ask) != 1) {
            return 0;
        }
        ++counted;
    }
    return 1;
}

int CFlashThread::Refuse(const std::string& text) {
    ShowError(text, Box::Show);
    return 0;
}

// Status line, then the log; with Ask::User an older or equal version is put
// to the user as a question, and No stops.
int CFlashThread::ReportVersion(const std::string& text, bool olderOrSame, Ask ask) {
    const bool asks = ask == Ask::User && olderOrSame;
    ReportAndLog(asks ? text + kAskFlash : text);
    if (asks && platform::ShowQuestionBox(text + kAskFlash) != platform::BoxAnswer::Yes) {
        return 0;
    }
    return 1;
}

void CFlashThread::ReportAndLog(const std::string& text) {
    ShowStatus(text);
    LogFlashError(__LINE__, text, kSource);
}

// A part is made for the phone's chipset and MA type, as its bootloader says.
int CFlashThread::MatchesPhoneHardware(const SubfileRecord& record) {
    const SU_DESCRIPTOR& phoneBoot = records.suInfo.bootloader;
    if (Chipset(record) != phoneBoot.chipsetType) {
        return Refuse(kChipsetMismatch);
    }
    if (MaType(record) != phoneBoot.maType) {
        return Refuse(kMaMismatch);
    }
    return 1;
}

int CFlashThread::CheckBootloaderInfo(const SubfileRecord& boot, Ask ask) {
    if (MatchesPhoneHardware(boot) != 1) {
        return 0;
    }
    if (DataType(boot) != 1) {
        return Refuse(
            "Error verifying Subscriber Unit Info: Flash Bootloader Data Type does "
            "not match.");
    }
    const uint16_t phone = Version(records.suInfo.bootloader.version);
    records.bootVersionText = Format("v0x%.6X", phone);
    std::string text = Format("File version v 0x%X for Flash Bootloader is ", boot.version) +
                       Comparison(boot.version, phone) +
                       Format(" Subscriber Unit version v 0x%X.", phone);
    return ReportVersion(text, boot.version <= phone, ask);
}

// Code group n of the file against the phone's: parts the phone lacks (unless
// Tavenor) and the settings area pass; hardware and data type must agree,
// then versions are listed and compared.
int CFlashThread::CheckCodeGroupInfo(const CFlashFileIO& file, int n, Ask ask) {
    const SubfileRecord& record = file.Record(shx::kFirstCodeGroupSlot + n);
    const SU_DESCRIPTOR& phone = records.suInfo.codeGroups[n];
    const bool tavenor = records.tavenorBlank == 1 || records.tavenorFlash == 1;
    if ((!tavenor && DescriptorAbsent(phone)) || n == kSettingsCodeGroup) {
        return 1;
    }
    if (MatchesPhoneHardware(record) != 1) {
        return 0;
    }
    std::string dataTypeText =
        Format("Error verifying Subscriber Unit Info: Code Group %d Data Type does not match.", n);
    if (n <= 1 && DataType(record) != 6) {
        return Refuse(dataTypeText);
    }
    if (DataType(record) != phone.dataType) {
        return AcceptOtherDataType(dataTypeText, ask);
    }
    const uint16_t phoneVersion = Version(phone.version);
    std::string listed = Format(" v0x%.6X", phoneVersion);
    if (dialog != nullptr) {
        dialog->ListAdd(ctl::kPhoneMiscList, "Code Group " + std::to_string(n) + listed);
        dialog->ListSelect(ctl::kPhoneMiscList, 0);
    }
    if (n == 1) {
        records.codeVersionText = listed;
    }
    if (n == kLanguageCodeGroup && !file.Record(shx::kFirstCodeGroupSlot + 1).present) {
        return CheckLanguageVersion(record, phoneVersion, ask);
    }
    // The "same as" texts carry no full stop.
    const char* end = record.version == phoneVersion ? "" : ".";
    std::string text = Format("File version v 0x%X for Code Group %i is ", record.version, n) +
                       Comparison(record.version, phoneVersion) +
                       Format(" Subscriber Unit version v 0x%X", phoneVersion) + end;
    return ReportVersion(text, record.version <= phoneVersion, ask);
}

// Another data type than the phone's is reported; the dialog's user may still
// flash, and without a question the part is passed over.
int CFlashThread::AcceptOtherDataType(const std::string& text, Ask ask) {
    ShowError(text, Box::None);
    if (dialog != nullptr && ask == Ask::User &&
        platform::ShowQuestionBox(text + "\r\nDo you still want to flash the phone?") !=
            platform::BoxAnswer::Yes) {
        return 0;
    }
    return 1;
}

// A language package alone must carry the phone's version; flashing stops on
// a mismatch, Verify only reports it.
int CFlashThread::CheckLanguageVersion(const SubfileRecord& record, uint16_t phoneVersion,
                                       Ask ask) {
    if (record.version == phoneVersion) {
        return 1;
    }
    ShowError(Format("ERROR: Language package version 0x%X does not match Subscriber Unit "
                     "version 0x%X.\r\n",
                     record.version, phoneVersion),
              Box::Show);
    return ask == Ask::User ? 0 : 1;
}
