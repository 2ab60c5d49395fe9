// The engine's worker: the dialog's loop of commands and device-list polls,
// the dialog's flash job with its repeat, and the headless job of the
// automation exports.
#include <cstdio>
#include <memory>
#include <new>

#include "ORX_FP_Flash.h"
#include "ORX_FP_FlashHost.h"
#include "ORX_FP_FlashThread.h"
#include "platform/MessageBox.h"

namespace {

constexpr int kCommandFlash = 1;
constexpr int kCommandMove = 2;
constexpr int kCommandVerify = 4;
constexpr int kPollMilliseconds = 500;
constexpr const char* kNoReader = "Flash File IO pointer is a NULL Pointer";
constexpr const char* kProcessingFailed = "Error Processing Flash File";
constexpr const char* kFlashFailed = "*********Flash FAILED!!!*********";
constexpr const char* kNoInterface =
    "***Error*** Unable to connect to the Subscriber Unit. Unable to retrieve interface handle.";

bool SerialDevice(uint16_t deviceId) {
    return deviceId >= 1000 && deviceId <= 1031;
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

int CFlashThread::WakeWorker() {
    if (!commandEvent) {
        ShowError("Error setting Flash Event.", 1);
        return 0;
    }
    commandEvent->Set();
    return 1;
}

void CFlashThread::Run() {
    const JobContextBinding bound(context);
    bool listKnown = false;
    bool allIdentified = true;
    while (Running() == 1) {
        if (context.Route() != ReportRoute::Dialog) {
            int result = headlessVerify ? DoHeadlessVerify(superfilePath, DeviceNumber())
                                        : DoHeadlessJob(superfilePath, DeviceNumber());
            context.Finish(result == 1 ? ORX_RESULT_OK : ORX_RESULT_JOB_FAILED);
            if (context.Route() == ReportRoute::Console) {
                ClearRunning();  // Flash sees the job ended
            }
            return;
        }
        if (commandEvent && commandEvent->Wait(kPollMilliseconds)) {
            switch (command) {
                case kCommandFlash:
                    for (int i = 0; i < deviceCount && Running() == 1; ++i) {
                        if (ConnectDevice(deviceList[static_cast<size_t>(i)]) != 1) {
                            continue;
                        }
                        if (EndsWith(stringDescriptor, "J617 Tavenor") && dialog != nullptr) {
                            std::string name = dialog->InterfaceName();
                            if (ORXGetInterfaceHandle(DeviceNumber(), name.c_str(),
                                                      &interfaceHandle) != 0) {
                                char text[256];
                                std::snprintf(text, sizeof text,
                                              "The \"%s\" Interface could not be found.",
                                              name.c_str());
                                ShowError(text, 1);
                                continue;
                            }
                        }
                        DoFlashJob();
                    }
                    if (dialog != nullptr) {
                        dialog->EnableControl(ctl::kFlash, true);
                        dialog->EnableControl(ctl::kVerify, true);
                        dialog->EnableControl(ctl::kBrowse, true);
                    }
                    break;
                case kCommandMove:
                    if (dialog != nullptr) {
                        dialog->Move(windowLeft, windowTop, windowRight, windowBottom);
                    }
                    break;
                case kCommandVerify:
                    for (int i = 0; i < deviceCount && Running() == 1; ++i) {
                        ConnectDevice(deviceList[static_cast<size_t>(i)]);
                        RunVerify();
                    }
                    if (dialog != nullptr) {
                        dialog->EnableControl(ctl::kFlash, true);
                        dialog->EnableControl(ctl::kBrowse, true);
                    }
                    break;
                default:
                    break;
            }
        }
        int count = deviceCount;
        if (HostGetDeviceList(deviceList.data(), deviceList.size(), count) != 0) {
            listKnown = false;
            if (dialog != nullptr) {
                dialog->EnableControl(ctl::kFlash, false);
                dialog->EnableControl(ctl::kVerify, false);
            }
            continue;
        }
        deviceCount = count;
        if (deviceCount > 1) {
            multiDevice = 1;
        }
        if (!listKnown) {
            for (int i = 0; i < deviceCount; ++i) {
                allIdentified = ConnectDevice(deviceList[static_cast<size_t>(i)]) == 1;
                if (!allIdentified) {
                    break;
                }
            }
            listKnown = true;
        }
        if (dialog != nullptr) {
            dialog->EnableControl(ctl::kFlash, allIdentified);
            dialog->EnableControl(ctl::kVerify, allIdentified);
        }
    }
}

void CFlashThread::DoFlashJob() {
    if (dialog == nullptr) {
        return;
    }
    superfilePath = dialog->GetControlText(ctl::kFileName);
    dialog->EnableControl(ctl::kFlash, false);
    dialog->SetFlashing(true);
    if (!dialog->HeaderRead() && dialog->ReadFileHeader() != 1) {
        ShowError(kProcessingFailed, 0);
        dialog->SetFlashing(false);
        return;
    }
    fileReader.reset(new (std::nothrow) CFlashFileIO(dialog, superfilePath, context));
    if (!fileReader) {
        ShowError(kNoReader, 1);
        dialog->SetFlashing(false);
        return;
    }
    ShowStatus("Creating Image File.");
    if (fileReader->PrepareImages() != 1) {
        ShowError(kProcessingFailed, 1);
        dialog->EnableControl(ctl::kFlash, true);
        dialog->EnableControl(ctl::kVerify, true);
        dialog->EnableControl(ctl::kBrowse, true);
        dialog->SetFlashing(false);
        fileReader.reset();
        return;
    }
    if (RunFlash() == 0) {
        ShowError(kFlashFailed, 0);
    }
    fileReader.reset();
    if (multiDevice == 0 &&
        platform::ShowQuestionBox("Flash Another Phone?") == platform::BoxAnswer::Yes &&
        platform::ShowQuestionBox("Please replace subscriber unit before flashing and press OK.",
                                  platform::BoxButtons::OkCancel) == platform::BoxAnswer::Ok) {
        if (SerialDevice(DeviceNumber())) {
            HostRefreshConnections();
        }
        command = kCommandFlash;
        WakeWorker();
    }
    dialog->SetFlashing(false);
}

int CFlashThread::RunFlash() {
    if (!deviceApi) {
        ShowError("Flash Device API pointer is a NULL Pointer", 1);
        return 0;
    }
    uint32_t error = 0;
    if (StartDeviceApi(error) == 0) {
        ReportDeviceError("Error initializing Flash Device API", error, 0);
        return 0;
    }
    int reboot = 0;
    int ok = FlashSequence(reboot);
    if (FinishPhone(reboot != 0 && ok == 1) != 1) {
        return 0;
    }
    ShowStatus("Refreshing Device Connections...");
    if (HostRefreshConnections() != 0) {
        ShowError("Error in Refreshing Device List.", 0);
        return 0;
    }
    return ok;
}

int CFlashThread::DoHeadlessJob(const std::string& path, uint16_t id) {
    superfilePath = path;
    context.SetDeviceNumber(id);
    fileReader.reset(new (std::nothrow) CFlashFileIO(nullptr, path, context));
    if (!fileReader) {
        ShowError(kNoReader, 0);
        return 0;
    }
    // The reader goes on every way out.
    struct ReaderRelease {
        std::unique_ptr<CFlashFileIO>& reader;
        ~ReaderRelease() { reader.reset(); }
    } release{fileReader};

    ShowStatus("Creating Image File.");
    if (fileReader->PrepareImages() != 1) {
        ShowError(kProcessingFailed, 0);
        return 0;
    }
    if (ConnectPhone(id) != 1) {
        return 0;
    }
    if (!deviceApi) {
        ShowError("Flash Device API pointer is a NULL Pointer", 0);
        return 0;
    }
    uint32_t error = 0;
    if (StartDeviceApi(error) == 0) {
        ShowError("Error initializing Flash Device API", 0);
        return 0;
    }
    // A job told to stop while it connected starts no flash, and says so.
    if (StopHere()) {
        ShowError(kFlashFailed, 0);
        return 0;
    }
    int reboot = 0;
    if (FlashSequence(reboot) != 1) {
        ShowError(kFlashFailed, 0);
        return 0;
    }
    return FinishPhone(reboot != 0);
}

// A serial phone needs only its interface; any other is identified first.
int CFlashThread::ConnectPhone(uint16_t id) {
    if (!SerialDevice(id)) {
        return IdentifyDevice(id);
    }
    if (OpenDeviceInterface(id) != 1) {
        ShowError(kNoInterface, 0);
        return 0;
    }
    return 1;
}

// After a settings upgrade the phone restarts; otherwise it is powered down.
int CFlashThread::FinishPhone(bool reboot) {
    if (reboot) {
        ShowStatus("Phone is being rebooted");
        if (Reboot() != 1) {
            ShowError("Reboot SU FAILED!!!", 0);
            return 0;
        }
        return 1;
    }
    ShowStatus("Phone is powered DOWN!!!");
    if (PowerDown() != 1) {
        ShowError("Power down SU FAILED!!!", 0);
        return 0;
    }
    return 1;
}

int CFlashThread::DoHeadlessVerify(const std::string& path, uint16_t id) {
    superfilePath = path;
    context.SetDeviceNumber(id);
    if (ConnectPhone(id) != 1) {
        return 0;
    }
    return RunVerify();
}
