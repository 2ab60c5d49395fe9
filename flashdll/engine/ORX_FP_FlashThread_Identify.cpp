// Finding out what is on the other end of a connection: the interface the
// phone offers, what its string descriptor says it is, and the firmware its
// information and checksum records show; and the dialog's phone fields.
#include "DeviceNumbers.h"
#include "ORX_FP_FlashHost.h"
#include "ORX_FP_FlashThread.h"
#include "platform/Text.h"

namespace {

constexpr const char* kNoInterface =
    "***Error*** Unable to connect to the Subscriber Unit. Unable to retrieve interface handle.";
constexpr const char* kNoDescriptor =
    "***Error*** Unable to connect to the Subscriber Unit. Unable to get string descriptors.";
constexpr const char* kNotPoweredUp =
    "ERROR: Phone is not fully power up. Please power up the phone.\r\nAlso RESTART Application.";
constexpr const char* kNoValue = "-------------";

bool SerialDevice(uint16_t deviceId) {
    return orx::IsSerialDevice(deviceId);
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

// Sets the flags and platform of the row of the phone's descriptor; false when none matches.
bool ApplyDescriptorRow(CFlashThread::PhoneRecords& phone) {
    const DescriptorRow* row = FindDescriptorRow(phone.stringDescriptor);
    if (row == nullptr) {
        return false;
    }
    phone.bootState |= row->boot ? 1 : 0;
    phone.flashState |= row->flash ? 1 : 0;
    phone.tavenorFlash |= row->tavenorFlash ? 1 : 0;
    phone.tavenorBlank |= row->tavenorBlank ? 1 : 0;
    if (row->platform != nullptr) {
        phone.platformName = row->platform;
    }
    return true;
}

unsigned Version(const uint8_t version[2]) {
    return static_cast<unsigned>((version[0] << 8) | version[1]);
}

std::string LongVersion(const uint8_t version[2]) {
    return platform::Format(" v0x%.6X", Version(version));
}

std::string ShortVersion(const uint8_t version[2]) {
    return platform::Format("v0x%.4X", Version(version));
}

std::string Figure(uint16_t value) {
    return value == 0 ? kNoValue : std::to_string(value);
}

}  // namespace

int CFlashThread::ConnectDevice(uint16_t id) {
    context.SetDeviceNumber(id);
    records.ramChecksumFigure = records.bootChecksumFigure = records.appChecksumFigure = 0;
    records.buildVersionText = records.bootVersionText = records.codeVersionText = "0x000000";
    records.platformName = "Unknown Platform";
    records.tavenorBlank = records.tavenorFlash = 0;
    // A serial phone has no descriptor of its own; never keep the last phone's.
    records.stringDescriptor.clear();

    ORXInterfaceHandle scratch = nullptr;
    int boot = ORXGetInterfaceHandle(DeviceNumber(), "Kestrova_Boot", &scratch);
    if (boot == kOrxNoSuchInterface) {
        int test = ORXGetInterfaceHandle(DeviceNumber(), "Kestrova_Test_Command", &scratch);
        if (test == 0) {
            if (SuspendViaTestCommand() != 1) {
                ShowError(kNotPoweredUp, Box::Show);
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
            ShowError(kNoInterface, Box::None);
            return 0;
        }
    } else {
        if (IdentifyDevice(DeviceNumber()) != 1) {
            return 0;
        }
        if (records.flashState == 1 && records.bootState == 0) {
            RefreshPhoneInfo(InfoScope::Versions);
            return 1;
        }
    }
    UpdateInfoFields();
    return 1;
}

int CFlashThread::OpenDeviceInterface(uint16_t id) {
    context.SetDeviceNumber(id);
    records.bootState = records.flashState = 0;
    if (HostGetInterfaceHandle(DeviceNumber(), "Kestrova_Flash", records.interfaceHandle) == 0) {
        records.flashState = 1;
        return 1;
    }
    if (HostGetInterfaceHandle(DeviceNumber(), "Kestrova_Boot", records.interfaceHandle) == 0) {
        records.bootState = 1;
        return 1;
    }
    if (HostGetInterfaceHandle(DeviceNumber(), "Kestrova_Tavenor_OS", records.interfaceHandle) !=
        0) {
        return 0;
    }
    // Only an engine with a dialog shows the interface choice.
    if (loop.firstOsConnection && dialog != nullptr) {
        loop.firstOsConnection = false;
        for (int id : {ctl::kTavenorOs, ctl::kTavenorFs, ctl::kTavenorBp, ctl::kInterfaceGroup}) {
            dialog->ShowControl(id, true);
        }
        dialog->CheckRadio(ctl::kTavenorOs, true);
    }
    return 1;
}

int CFlashThread::IdentifyDevice(uint16_t id) {
    if (OpenDeviceInterface(id) != 1) {
        ShowError(kNoInterface, Box::Show);
        return 0;
    }
    if (HostGetStringDescriptor(DeviceNumber(), records.interfaceHandle, 1, 0,
                                records.stringDescriptor) != 0) {
        ShowError(kNoDescriptor, Box::Show);
        return 0;
    }
    if (records.stringDescriptor.empty()) {
        ShowError("String Descriptor is NULL", Box::Show);
        return 0;
    }
    if (!ApplyDescriptorRow(records)) {
        ShowError(kNoDescriptor, Box::Show);
        return 0;
    }
    return 1;
}

void CFlashThread::SetPlatformName(uint8_t maType, uint8_t chipsetType) {
    bool known = false;
    if (const char* name = shx::PlatformText(maType, chipsetType, known)) {
        records.platformName = name;
    }
}

int CFlashThread::RefreshPhoneInfo(InfoScope scope) {
    InitDeviceApi(Failures::Report);
    if (ReadSUInfo(Failures::Report) != 1 ||
        (scope == InfoScope::WithChecksums && ReadSUChecksums() != 1)) {
        return 0;
    }
    const SU_DESCRIPTOR& boot = records.suInfo.bootloader;
    if (records.platformName == "Unknown Platform") {
        SetPlatformName(boot.maType, boot.chipsetType);
    }
    if (DescriptorAbsent(boot)) {
        records.bootVersionText = "v0x000000";
    } else {
        records.bootVersionText = LongVersion(boot.version);
        if (scope == InfoScope::WithChecksums) {
            records.bootChecksumFigure = records.suChecksums.bootloader.valid == 1
                                             ? records.suChecksums.bootloader.checksum
                                             : 0;
        }
    }
    if (dialog != nullptr) {
        dialog->ListReset(ctl::kPhoneMiscList);
    }
    for (int n = 0; n < 256; ++n) {
        const SU_DESCRIPTOR& descriptor = records.suInfo.codeGroups[n];
        const CHECKSUM_ENTRY& entry = records.suChecksums.codeGroups[n];
        if (!DescriptorAbsent(descriptor)) {
            std::string version = LongVersion(descriptor.version);
            if (dialog != nullptr) {
                dialog->ListAdd(ctl::kPhoneMiscList, "Code Group " + std::to_string(n) + version);
            }
            if (n == 1 && entry.valid == 1) {
                records.codeVersionText = version;
                if (scope == InfoScope::WithChecksums) {
                    records.appChecksumFigure = entry.checksum;
                }
            }
        } else if (n <= 1) {
            std::string line = "Code Group " + std::to_string(n) + " v0x000000";
            if (dialog != nullptr) {
                dialog->ListAdd(ctl::kPhoneMiscList, line);
            }
            records.codeVersionText = " v0x000000";
            if (scope == InfoScope::WithChecksums) {
                if (entry.valid == 1) {
                    records.appChecksumFigure = entry.checksum;
                }
                ShowError("WARNING: Invalid Software Descriptors.\r\n" + line, Box::None);
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
    dialog->SetControlText(ctl::kPhoneBootChecksum, Figure(records.bootChecksumFigure));
    dialog->SetControlText(ctl::kPhoneRamChecksum, Figure(records.ramChecksumFigure));
    dialog->SetControlText(ctl::kPhoneAppChecksum, Figure(records.appChecksumFigure));
    records.buildVersionText = "0x000000";
    dialog->SetControlText(ctl::kPhoneBuildVersion, records.buildVersionText);
    dialog->SetControlText(ctl::kPhoneBootVersion, records.bootVersionText);
    dialog->SetControlText(ctl::kPhoneAppVersion, records.codeVersionText);
    dialog->SetControlText(ctl::kPhonePlatform, records.platformName);
}

int CFlashThread::GetPhoneVersions(std::span<std::string> info, uint16_t& firstVersion) {
    if (info.size() < 3) {
        return 0;
    }
    if (OpenDeviceInterface(DeviceNumber()) != 1) {
        return 0;
    }
    InitDeviceApi(Failures::Quiet);
    if (ReadSUInfo(Failures::Quiet) != 1) {
        return 0;
    }
    const uint8_t* first = records.suInfo.codeGroups[0].version;
    firstVersion = 0xFFFF;
    firstVersion = static_cast<uint16_t>((first[0] << 8) | first[1]);
    info[0] = ShortVersion(records.suInfo.codeGroups[0].version);
    info[1] = ShortVersion(records.suInfo.codeGroups[1].version);
    info[2] = ShortVersion(records.suInfo.codeGroups[6].version);
    return 1;
}

// As a connection identifies the phone, reporting nothing: a blank phone's
// descriptor names its platform; a phone in flash mode (a serial one too)
// has it from its bootloader descriptor.
int CFlashThread::IdentifyPlatform(std::string& name) {
    records.platformName = "Unknown Platform";
    records.tavenorBlank = records.tavenorFlash = 0;
    records.stringDescriptor.clear();
    if (OpenDeviceInterface(DeviceNumber()) != 1) {
        return 0;
    }
    if (!SerialDevice(DeviceNumber())) {
        if (HostGetStringDescriptor(DeviceNumber(), records.interfaceHandle, 1, 0,
                                    records.stringDescriptor) != 0 ||
            !ApplyDescriptorRow(records)) {
            return 0;
        }
    }
    if (records.platformName == "Unknown Platform" && records.flashState == 1 &&
        records.bootState == 0) {
        InitDeviceApi(Failures::Quiet);
        if (ReadSUInfo(Failures::Quiet) != 1) {
            return 0;
        }
        SetPlatformName(records.suInfo.bootloader.maType, records.suInfo.bootloader.chipsetType);
    }
    name = records.platformName;
    return 1;
}
