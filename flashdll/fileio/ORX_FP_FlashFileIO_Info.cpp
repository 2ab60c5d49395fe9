// The superfile's information in words: the dialog's file fields, the
// information array of the export, and file-error messages by cause.
#include <cstdio>

#include "ORX_FP_FlashFileIO.h"

namespace {

constexpr const char* kNoValue = "-------------";

std::string NumberOrHyphens(uint32_t value) {
    return value == 0 ? kNoValue : std::to_string(value);
}

std::string ShortVersion(uint16_t version) {
    char text[16];
    std::snprintf(text, sizeof text, "v0x%.4X", static_cast<unsigned>(version));
    return text;
}

}  // namespace

void CFlashFileIO::ShowFileInformation() {
    if (dialog == nullptr) {
        return;
    }
    dialog->SetControlText(ctl::kFileRamChecksum, NumberOrHyphens(ramChecksum));
    dialog->SetControlText(ctl::kFileBootChecksum, NumberOrHyphens(bootChecksum));
    dialog->SetControlText(ctl::kFileAppChecksum, NumberOrHyphens(appChecksum));
    dialog->SetControlText(ctl::kFileSize, std::to_string(fileSize));
    dialog->SetControlText(ctl::kFileRamVersion, ramVersionText);
    dialog->SetControlText(ctl::kFileBootVersion, bootVersionText);
    if (appVersionText.empty()) {
        appVersionText = kNoValue;
    }
    dialog->SetControlText(ctl::kFileAppVersion, appVersionText);
    dialog->SetControlText(ctl::kFilePlatform, platformText);
    dialog->SetControlText(ctl::kFileDate, FileDate());
}

void CFlashFileIO::GetFileInformation(std::span<std::string> info, uint16_t& firstVersion) {
    if (info.size() < 12) {
        return;
    }
    firstVersion = 0xFFFF;
    if (appVersionText.empty()) {
        appVersionText = kNoValue;
    }
    info[0] = platformText;
    info[1] = appVersionText;
    info[2] = bootVersionText;
    info[3] = ramVersionText;
    info[4] = NumberOrHyphens(appChecksum);
    info[5] = NumberOrHyphens(bootChecksum);
    info[6] = NumberOrHyphens(ramChecksum);
    info[7] = FileDate();
    info[8] = std::to_string(fileSize);
    // Code groups 0, 1 and 4; an entry stays as the caller gave it when the
    // descriptor has a start or an end of 0.
    const int entries[3][2] = {{9, 0}, {10, 1}, {11, 4}};
    for (const auto& [index, codeGroup] : entries) {
        shx::SubfileDescriptor descriptor =
            shx::DescriptorAt(header, shx::kFirstCodeGroupSlot + codeGroup);
        if (descriptor.start == 0 || descriptor.end == 0) {
            continue;
        }
        info[static_cast<size_t>(index)] = ShortVersion(descriptor.version);
        if (codeGroup == 0) {
            firstVersion = descriptor.version;
        }
    }
    if (info.size() > 12) {
        bool combo =
            shx::DescriptorAt(header, shx::kFirstCodeGroupSlot + 2).type == shx::kSubfileTypeCombo;
        info[12] = combo ? "Combo File" : "Regular File";
    }
}

const char* CFlashFileIO::FileErrorText(int cause) {
    static const char* const kTexts[] = {
        nullptr,
        "ERROR: An unspecified error occurred.",
        "ERROR: File not found\n",
        "ERROR: All or part of the path is invalid.",
        "ERROR: The permitted number of open files was exceeded.",
        "ERROR: The file could not be accessed.",
        "ERROR: There was an attempt to use an invalid file handle.",
        "ERROR: The current working directory cannot be removed.",
        "ERROR: There are no more directory entries.",
        "ERROR: There was an error trying to set the file pointer.",
        "ERROR: There was a hardware error.",
        "ERROR: SHARE.EXE was not loaded, or a shared region was locked.",
        "ERROR: There was an attempt to lock a region that was already locked.",
        "ERROR: The disk is full.",
        "ERROR: The end of file was reached.",
    };
    if (cause < 1 || cause > 14) {
        return nullptr;
    }
    return kTexts[cause];
}

void CFlashFileIO::ReportFileException(int cause) {
    if (const char* text = FileErrorText(cause)) {
        ReportError(text, __LINE__);
    }
}
