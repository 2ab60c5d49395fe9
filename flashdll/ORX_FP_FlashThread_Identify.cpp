// Finding out what is on the other end of a connection: the interface the
// phone offers, what its string descriptor says it is, and the firmware its
// information and checksum records show; and the dialog's phone fields.
#include <cstdio>

#include "ORX_FP_FlashHost.h"
#include "ORX_FP_FlashThread.h"

namespace {

constexpr const char* kNoInterface =
    "***Error*** Unable to connect to the Subscriber Unit. Unable to retrieve interface handle.";
constexpr const char* kNoDescriptor =
    "***Error*** Unable to connect to the Subscriber Unit. Unable to get string descriptors.";
constexpr const char* kNotPoweredUp =
    "ERROR: Phone is not fully power up. Please power up the phone.\r\nAlso RESTART Application.";
constexpr const char* kNoValue = "-------------";

bool SerialDevice(uint16_t deviceId) {
    return deviceId >= 1000 && deviceId <= 1031;
}

struct DescriptorRow {
    const char* descriptor;
    bool boot;
    bool flash;
    bool tavenorFlash;
    bool tavenorBlank;
    const char* platform;  // null: left as it is
};

const DescriptorRow kDescriptors[] = {
    {"Blank R4X Dorsk", true, false, false, false, "Blank CDMA Dorsk"},
    {"Blank R4X Brinmar", true, false, false, false, "Blank Brinmar"},
    {"Flash R4X Dorsk", false, true, false, false, nullptr},
    {"Flash R4X Brinmar", false, true, false, false, nullptr},
    {"Flash R4X Quellin", false, true, false, false, nullptr},
    {"Blank R4X Quellin", true, false, false, false, "Blank Quellin"},
    {"Flash HMQ Vintrel", false, true, false, false, nullptr},
    {"Blank HMQ Vintrel", true, false, false, false, "Blank k.380"},
    {"Kestrova T.340x", false, true, false, false, nullptr},
    {"Kestrova T. RQ07", false, true, false, false, nullptr},
    {"Flash J617 Tavenor", false, true, true, false, nullptr},
    {"Blank J617 Tavenor", false, true, false, true, "Blank Tavenor"},
    {"Kestrova T.340e", false, true, false, false, nullptr},
    {"Flash HBX4200", false, true, false, false, nullptr},
};

// The row whose descriptor equals the text, whole and case-sensitive.
const DescriptorRow* FindDescriptorRow(const std::string& text) {
    for (const DescriptorRow& row : kDescriptors) {
        if (text == row.descriptor) {
            return &row;
        }
    }
    return nullptr;
}

// Sets the flags and platform of the engine's descriptor's row; false when none matches.
bool ApplyDescriptorRow(CFlashThread& engine) {
    const DescriptorRow* row = FindDescriptorRow(engine.stringDescriptor);
    if (row == nullptr) {
        return false;
    }
    engine.bootState |= row->boot ? 1 : 0;
    engine.flashState |= row->flash ? 1 : 0;
    engine.tavenorFlash |= row->tavenorFlash ? 1 : 0;
    engine.tavenorBlank |= row->tavenorBlank ? 1 : 0;
    if (row->platform != nullptr) {
        engine.platformName = row->platform;
    }
    return true;
}

std::string LongVersion(const uint8_t version[2]) {
    char text[24];
    std::snprintf(text, sizeof text, " v0x%.6X",
                  static_cast<unsigned>((version[0] << 8) | version[1]));
    return text;
}

std::string ShortVersion(const uint8_t version[2]) {
    char text[24];
    std::snprintf(text, sizeof text, "v0x%.4X",
                  static_cast<unsigned>((version[0] << 8) | version[1]));
    return text;
}

std::string Figure(uint16_t value) {
    return value == 0 ? kNoValue : std::to_string(value);
}

}  // namespace

int CFlashThread::ConnectDevice(uint16_t id) {
    context.SetDeviceNumber(id);
    ramChecksumFigure = bootChecksumFigure = appChecksumFigure = 0;
    buildVersionText = bootVersionText = codeVersionText = "0x000000";
    platformName = "Unknown Platform";
    tavenorBlank = tavenorFlash = 0;
    // A serial phone has no descriptor of its own; never keep the last phone's.
    stringDescriptor.clear();

    ORXInterfaceHandle scratch = nullptr;
    int boot = ORXGetInterfaceHandle(DeviceNumber(), "Kestrova_Boot", &scratch);
    if (boot == kOrxNoSuchInterface) {
        int test = ORXGetInterfaceHandle(DeviceNumber(), "Kestrova_Test_Command", &scratch);
        if (test == 0) {
            if (SuspendViaTestCommand() != 1) {
                ShowError(kNotPoweredUp, 1);
                return 0;
            }
        } else if (test != kOrxNoSuchInterface) {
            return 0;
        }
    } else if (boot != 0) {
        return 0;
    }
    if (SerialDevice(DeviceNumber())) {
        if (OpenDeviceInterface(DeviceNumber()) != 1) {
            ShowError(kNoInterface, 0);
            return 0;
        }
    } else {
        if (IdentifyDevice(DeviceNumber()) != 1) {
            return 0;
        }
        if (flashState == 1 && bootState == 0) {
            RefreshPhoneInfo(0);
            return 1;
        }
    }
    UpdateInfoFields();
    return 1;
}

int CFlashThread::OpenDeviceInterface(uint16_t id) {
    context.SetDeviceNumber(id);
    bootState = flashState = 0;
    if (HostGetInterfaceHandle(DeviceNumber(), "Kestrova_Flash", interfaceHandle) == 0) {
        flashState = 1;
        return 1;
    }
    if (HostGetInterfaceHandle(DeviceNumber(), "Kestrova_Boot", interfaceHandle) == 0) {
        bootState = 1;
        return 1;
    }
    if (HostGetInterfaceHandle(DeviceNumber(), "Kestrova_Tavenor_OS", interfaceHandle) != 0) {
        return 0;
    }
    // Only an engine with a dialog shows the interface choice.
    if (firstOsConnection == 1 && dialog != nullptr) {
        firstOsConnection = 0;
        for (int id : {ctl::kTavenorOs, ctl::kTavenorFs, ctl::kTavenorBp, ctl::kInterfaceGroup}) {
            dialog->ShowControl(id, true);
        }
        dialog->CheckRadio(ctl::kTavenorOs, true);
    }
    return 1;
}

int CFlashThread::IdentifyDevice(uint16_t id) {
    if (OpenDeviceInterface(id) != 1) {
        ShowError(kNoInterface, 1);
        return 0;
    }
    if (HostGetStringDescriptor(DeviceNumber(), interfaceHandle, 1, 0, stringDescriptor) != 0) {
        ShowError(kNoDescriptor, 1);
        return 0;
    }
    if (stringDescriptor.empty()) {
        ShowError("String Descriptor is NULL", 1);
        return 0;
    }
    if (!ApplyDescriptorRow(*this)) {
        ShowError(kNoDescriptor, 1);
        return 0;
    }
    return 1;
}

void CFlashThread::SetPlatformName(uint8_t maType, uint8_t chipsetType) {
    bool known = false;
    if (const char* name = shx::PlatformText(maType, chipsetType, known)) {
        platformName = name;
    }
}

int CFlashThread::RefreshPhoneInfo(int withChecksums) {
    InitDeviceApi(0);
    if (ReadSUInfo(0) != 1 || (withChecksums == 1 && ReadSUChecksums() != 1)) {
        return 0;
    }
    const SU_DESCRIPTOR& boot = suInfo.bootloader;
    if (platformName == "Unknown Platform") {
        SetPlatformName(boot.maType, boot.chipsetType);
    }
    if (DescriptorAbsent(boot)) {
        bootVersionText = "v0x000000";
    } else {
        bootVersionText = LongVersion(boot.version);
        if (withChecksums == 1) {
            bootChecksumFigure =
                suChecksums.bootloader.valid == 1 ? suChecksums.bootloader.checksum : 0;
        }
    }
    if (dialog != nullptr) {
        dialog->ListReset(ctl::kPhoneMiscList);
    }
    for (int n = 0; n < 256; ++n) {
        const SU_DESCRIPTOR& descriptor = suInfo.codeGroups[n];
        const CHECKSUM_ENTRY& entry = suChecksums.codeGroups[n];
        if (!DescriptorAbsent(descriptor)) {
            std::string version = LongVersion(descriptor.version);
            if (dialog != nullptr) {
                dialog->ListAdd(ctl::kPhoneMiscList, "Code Group " + std::to_string(n) + version);
            }
            if (n == 1 && entry.valid == 1) {
                codeVersionText = version;
                if (withChecksums == 1) {
                    appChecksumFigure = entry.checksum;
                }
            }
        } else if (n <= 1) {
            std::string line = "Code Group " + std::to_string(n) + " v0x000000";
            if (dialog != nullptr) {
                dialog->ListAdd(ctl::kPhoneMiscList, line);
            }
            codeVersionText = " v0x000000";
            if (withChecksums == 1) {
                if (entry.valid == 1) {
                    appChecksumFigure = entry.checksum;
                }
                ShowError("WARNING: Invalid Software Descriptors.\r\n" + line, 0);
            }
        }
    }
    if (dialog != nullptr) {
        dialog->ListSelect(ctl::kPhoneMiscList, 0);
    }
    UpdateInfoFields();
    return 1;
}

void CFlashThread::UpdateInfoFields() {
    if (dialog == nullptr) {
        return;
    }
    dialog->SetControlText(ctl::kPhoneBootChecksum, Figure(bootChecksumFigure));
    dialog->SetControlText(ctl::kPhoneRamChecksum, Figure(ramChecksumFigure));
    dialog->SetControlText(ctl::kPhoneAppChecksum, Figure(appChecksumFigure));
    buildVersionText = "0x000000";
    dialog->SetControlText(ctl::kPhoneBuildVersion, buildVersionText);
    dialog->SetControlText(ctl::kPhoneBootVersion, bootVersionText);
    dialog->SetControlText(ctl::kPhoneAppVersion, codeVersionText);
    dialog->SetControlText(ctl::kPhonePlatform, platformName);
}

int CFlashThread::GetPhoneVersions(std::span<std::string> info, uint16_t& firstVersion) {
    if (info.size() < 3) {
        return 0;
    }
    if (OpenDeviceInterface(DeviceNumber()) != 1) {
        return 0;
    }
    InitDeviceApi(1);
    if (ReadSUInfo(1) != 1) {
        return 0;
    }
    const uint8_t* first = suInfo.codeGroups[0].version;
    firstVersion = 0xFFFF;
    firstVersion = static_cast<uint16_t>((first[0] << 8) | first[1]);
    info[0] = ShortVersion(suInfo.codeGroups[0].version);
    info[1] = ShortVersion(suInfo.codeGroups[1].version);
    info[2] = ShortVersion(suInfo.codeGroups[6].version);
    return 1;
}

// As a connection identifies the phone, reporting nothing: a blank phone's
// descriptor names its platform; a phone in flash mode (a serial one too)
// has it from its bootloader descriptor.
int CFlashThread::IdentifyPlatform(std::string& name) {
    platformName = "Unknown Platform";
    tavenorBlank = tavenorFlash = 0;
    stringDescriptor.clear();
    if (OpenDeviceInterface(DeviceNumber()) != 1) {
        return 0;
    }
    if (!SerialDevice(DeviceNumber())) {
        if (HostGetStringDescriptor(DeviceNumber(), interfaceHandle, 1, 0, stringDescriptor) != 0 ||
            !ApplyDescriptorRow(*this)) {
            return 0;
        }
    }
    if (platformName == "Unknown Platform" && flashState == 1 && bootState == 0) {
        InitDeviceApi(1);
        if (ReadSUInfo(1) != 1) {
            return 0;
        }
        SetPlatformName(suInfo.bootloader.maType, suInfo.bootloader.chipsetType);
    }
    name = platformName;
    return 1;
}
