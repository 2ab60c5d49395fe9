// Does the superfile fit the phone? Chipset, MA type and data types must agree;
// versions are compared part by part and reported, and in interactive flashing
// the user is asked before an older or equal version goes on.
#include <cstdio>

#include "ErrorLog.h"
#include "ORX_FP_FlashThread.h"
#include "platform/MessageBox.h"

namespace {

constexpr const char* kSource = "ORX_FP_FlashThread";
constexpr const char* kChipsetMismatch =
    "Error verifying Subscriber Unit Info: Chipset type does not match.";
constexpr const char* kMaMismatch = "Error verifying Subscriber Unit Info: MA type does not match";
constexpr const char* kAskFlash = "\r\nDo you still want to flash this file?";
constexpr int kSettingsCodeGroup = 2;
constexpr int kLanguageCodeGroup = 4;

std::string Format(const char* format, unsigned a, unsigned b = 0, unsigned c = 0) {
    char text[240];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}

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

}  // namespace

int CFlashThread::VerifySUInfo(const CFlashFileIO& file, int askUser) {
    if (ReadSUInfo(0) != 1) {
        return 0;
    }
    const SU_DESCRIPTOR& phoneBoot = suInfo.bootloader;
    SetPlatformName(phoneBoot.maType, phoneBoot.chipsetType);
    if (dialog != nullptr) {
        dialog->ListReset(ctl::kPhoneMiscList);
    }
    // Status line, then the log; with askUser the question follows, and No stops.
    auto report = [&](const std::string& text) {
        ShowStatus(text);
        LogFlashError(__LINE__, text, kSource);
    };
    auto ask = [&](const std::string& question) {
        return platform::ShowQuestionBox(question) == platform::BoxAnswer::Yes;
    };
    auto fatal = [&](const std::string& text) {
        ShowError(text, 1);
        return 0;
    };

    const int fileCount = file.FileCount();
    int counted = 0;
    if (counted < fileCount && file.Record(0).present) {
        ++counted;
    }
    const SubfileRecord& boot = file.Record(1);
    if (counted < fileCount && boot.present) {
        if (!DescriptorAbsent(phoneBoot)) {
            if (Chipset(boot) != phoneBoot.chipsetType) {
                return fatal(kChipsetMismatch);
            }
            if (MaType(boot) != phoneBoot.maType) {
                return fatal(kMaMismatch);
            }
            if (DataType(boot) != 1) {
                return fatal(
                    "Error verifying Subscriber Unit Info: Flash Bootloader Data Type does "
                    "not match.");
            }
            uint16_t phone = Version(phoneBoot.version);
            bootVersionText = Format("v0x%.6X", phone);
            const char* kind = boot.version < phone   ? "older than"
                               : boot.version > phone ? "newer than"
                                                      : "the same as";
            std::string text =
                Format("File version v 0x%X for Flash Bootloader is ", boot.version) + kind +
                Format(" Subscriber Unit version v 0x%X.", phone);
            bool asks = askUser == 1 && boot.version <= phone;
            report(asks ? text + kAskFlash : text);
            if (asks && !ask(text + kAskFlash)) {
                return 0;
            }
        }
        ++counted;
    }
    const bool tavenor = tavenorBlank == 1 || tavenorFlash == 1;
    for (int n = 0; n < 256 && counted < fileCount; ++n) {
        const SubfileRecord& record = file.Record(shx::kFirstCodeGroupSlot + n);
        if (!record.present) {
            continue;
        }
        const SU_DESCRIPTOR& phone = suInfo.codeGroups[n];
        if ((!tavenor && DescriptorAbsent(phone)) || n == kSettingsCodeGroup) {
            ++counted;
            continue;
        }
        if (Chipset(record) != phoneBoot.chipsetType) {
            return fatal(kChipsetMismatch);
        }
        if (MaType(record) != phoneBoot.maType) {
            return fatal(kMaMismatch);
        }
        std::string dataTypeText =
            Format("Error verifying Subscriber Unit Info: Code Group %d Data Type does not match.",
                   static_cast<unsigned>(n));
        if (n <= 1 && DataType(record) != 6) {
            return fatal(dataTypeText);
        }
        if (DataType(record) != phone.dataType) {
            ShowError(dataTypeText, 0);
            if (dialog != nullptr && askUser == 1 &&
                !ask(dataTypeText + "\r\nDo you still want to flash the phone?")) {
                return 0;
            }
            ++counted;
            continue;
        }
        uint16_t phoneVersion = Version(phone.version);
        std::string listed = Format(" v0x%.6X", phoneVersion);
        if (dialog != nullptr) {
            dialog->ListAdd(ctl::kPhoneMiscList, "Code Group " + std::to_string(n) + listed);
            dialog->ListSelect(ctl::kPhoneMiscList, 0);
        }
        if (n == 1) {
            codeVersionText = listed;
        }
        if (n == kLanguageCodeGroup && !file.Record(shx::kFirstCodeGroupSlot + 1).present) {
            if (record.version != phoneVersion) {
                std::string text = Format(
                    "ERROR: Language package version 0x%X does not match Subscriber Unit version "
                    "0x%X.\r\n",
                    record.version, phoneVersion);
                ShowError(text, 1);
                if (askUser == 1) {
                    return 0;
                }
            }
            ++counted;
            continue;
        }
        const char* kind = record.version < phoneVersion   ? "older than"
                           : record.version > phoneVersion ? "newer than"
                                                           : "the same as";
        // The "same as" texts carry no full stop.
        const char* end = record.version == phoneVersion ? "" : ".";
        std::string text = Format("File version v 0x%X for Code Group %i is ", record.version,
                                  static_cast<unsigned>(n)) +
                           kind + Format(" Subscriber Unit version v 0x%X", phoneVersion) + end;
        bool asks = askUser == 1 && record.version <= phoneVersion;
        report(asks ? text + kAskFlash : text);
        if (asks && !ask(text + kAskFlash)) {
            return 0;
        }
        ++counted;
    }
    return 1;
}
