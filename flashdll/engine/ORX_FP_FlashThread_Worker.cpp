// The engine's worker: the dialog's loop of commands and device-list polls,
// the dialog's flash job with its repeat, and the headless job of the
// automation exports.
#include <cstdio>
#include <memory>
#include <mutex>
#include <new>

#include "DeviceNumbers.h"
#include "ORX_FP_Flash.h"
#include "ORX_FP_FlashHost.h"
#include "ORX_FP_FlashThread.h"
#include "platform/MessageBox.h"
#include "platform/Text.h"

namespace {

constexpr int kPollMilliseconds = 500;
constexpr const char* kNoReader = "Flash File IO pointer is a NULL Pointer";
constexpr const char* kProcessingFailed = "Error Processing Flash File";
constexpr const char* kFlashFailed = "*********Flash FAILED!!!*********";
constexpr const char* kNoInterface =
    "***Error*** Unable to connect to the Subscriber Unit. Unable to retrieve interface handle.";

bool SerialDevice(uint16_t deviceId) {
    return orx::IsSerialDevice(deviceId);
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

int CFlashThread::WakeWorker() {
    if (!commandEvent) {
        ShowError("Error setting Flash Event.", Box::Show);
        return 0;
    }
    commandEvent->Set();
    return 1;
}

int CFlashThread::Post(Command next) {
    loop.command = next;
    return WakeWorker();
}

int CFlashThread::RequestMove(const WindowRect& rect) {
    {
        std::lock_guard guard(loop.windowLock);
        loop.window = rect;
    }
    return Post(Command::Move);
}

int CFlashThread::Stop() {
    RequestStop();
    if (context.Route() == ReportRoute::Dialog && commandEvent) {
        commandEvent->Set();
    }
    return CWorkerThread::Stop();
}

void CFlashThread::Run() {
    const JobContextBinding bound(context);
    bool listKnown = false;
    bool allIdentified = true;
    while (Running() == 1) {
        if (context.Route() != ReportRoute::Dialog) {
            int result = job.kind == JobKind::Verify
                             ? DoHeadlessVerify(job.superfilePath, DeviceNumber())
                             : DoHeadlessJob(job.superfilePath, DeviceNumber());
            context.Finish(result == 1 ? ORX_RESULT_OK : ORX_RESULT_JOB_FAILED);
            if (context.Route() == ReportRoute::Console) {
                ClearRunning();  // Flash sees the job ended
            }
            return;
        }
        // A command is taken once: a wake without a new command (a stop)
        // carries nothing out again.
        if (commandEvent && commandEvent->Wait(kPollMilliseconds) && Running() == 1) {
            CarryOut(loop.command.exchange(Command::None));
        }
        if (Running() == 1) {
            PollDevices(listKnown, allIdentified);
        }
    }
}

void CFlashThread::CarryOut(Command command) {
    switch (command) {
        case Command::Flash:
            FlashEveryPhone();
            break;
        case Command::Move:
            if (dialog != nullptr) {
                WindowRect to;
                {
                    std::lock_guard guard(loop.windowLock);
                    to = loop.window;
                }
                dialog->Move(to.left, to.top, to.right, to.bottom);
            }
            break;
        case Command::Verify:
            VerifyEveryPhone();
            break;
        case Command::None:
            break;
    }
}

void CFlashThread::FlashEveryPhone() {
    for (int i = 0; i < loop.deviceCount && Running() == 1; ++i) {
        if (ConnectWithDialogInterface(loop.deviceList[static_cast<size_t>(i)]) == 1) {
            DoFlashJob();
        }
    }
    if (dialog != nullptr) {
        dialog->EnableControl(ctl::kFlash, true);
        dialog->EnableControl(ctl::kVerify, true);
        dialog->EnableControl(ctl::kBrowse, true);
    }
}

// Connects the phone; a Tavenor phone is then reached on the interface the
// dialog's radio buttons chose.
int CFlashThread::ConnectWithDialogInterface(uint16_t id) {
    if (ConnectDevice(id) != 1) {
        return 0;
    }
    if (!EndsWith(records.stringDescriptor, "J617 Tavenor") || dialog == nullptr) {
        return 1;
    }
    std::string name = dialog->InterfaceName();
    if (ORXGetInterfaceHandle(DeviceNumber(), name.c_str(), &records.interfaceHandle) != 0) {
        ShowError(platform::Format("The \"%s\" Interface could not be found.", name.c_str()),
                  Box::Show);
        return 0;
    }
    return 1;
}

void CFlashThread::VerifyEveryPhone() {
    // The button handler disabled these too, but a poll that ended just
    // after the click may have enabled them again.
    if (dialog != nullptr) {
        dialog->EnableControl(ctl::kFlash, false);
        dialog->EnableControl(ctl::kBrowse, false);
    }
    for (int i = 0; i < loop.deviceCount && Running() == 1; ++i) {
        ConnectDevice(loop.deviceList[static_cast<size_t>(i)]);
        RunVerify();
    }
    if (dialog != nullptr) {
        dialog->EnableControl(ctl::kFlash, true);
        dialog->EnableControl(ctl::kBrowse, true);
    }
}

// The host's device list: a new list is connected phone by phone until one
// cannot be identified; Flash and Verify are enabled only when all were.
void CFlashThread::PollDevices(bool& listKnown, bool& allIdentified) {
    int count = loop.deviceCount;
    if (HostGetDeviceList(loop.deviceList.data(), loop.deviceList.size(), count) != 0) {
        listKnown = false;
        if (dialog != nullptr) {
            dialog->EnableControl(ctl::kFlash, false);
            dialog->EnableControl(ctl::kVerify, false);
        }
        return;
    }
    loop.deviceCount = count;
    if (loop.deviceCount > 1) {
        loop.multiDevice = true;
    }
    if (!listKnown) {
        for (int i = 0; i < loop.deviceCount; ++i) {
            allIdentified = ConnectDevice(loop.deviceList[static_cast<size_t>(i)]) == 1;
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

void CFlashThread::DoFlashJob() {
    if (dialog == nullptr) {
        return;
    }
    job.superfilePath = dialog->GetControlText(ctl::kFileName);
    dialog->EnableControl(ctl::kFlash, false);
    // As the button handler did: a poll that ended just after the click may
    // have enabled them again.
    dialog->EnableControl(ctl::kVerify, false);
    dialog->EnableControl(ctl::kBrowse, false);
    dialog->SetFlashing(true);
    if (!dialog->HeaderRead() && dialog->ReadFileHeader() != 1) {
        ShowError(kProcessingFailed, Box::None);
        dialog->SetFlashing(false);
        return;
    }
    sequence.reader.reset(new (std::nothrow) CFlashFileIO(dialog, job.superfilePath, context));
    if (!sequence.reader) {
        ShowError(kNoReader, Box::Show);
        dialog->SetFlashing(false);
        return;
    }
    ShowStatus("Creating Image File.");
    if (sequence.reader->PrepareImages() != 1) {
        ShowError(kProcessingFailed, Box::Show);
        dialog->EnableControl(ctl::kFlash, true);
        dialog->EnableControl(ctl::kVerify, true);
        dialog->EnableControl(ctl::kBrowse, true);
        dialog->SetFlashing(false);
        sequence.reader.reset();
        return;
    }
    if (RunFlash() == 0) {
        ShowError(kFlashFailed, Box::None);
    }
    sequence.reader.reset();
    if (!loop.multiDevice &&
        platform::ShowQuestionBox("Flash Another Phone?") == platform::BoxAnswer::Yes &&
        platform::ShowQuestionBox("Please replace subscriber unit before flashing and press OK.",
                                  platform::BoxButtons::OkCancel) == platform::BoxAnswer::Ok) {
        if (SerialDevice(DeviceNumber())) {
            HostRefreshConnections();
        }
        Post(Command::Flash);
    }
    dialog->SetFlashing(false);
}

int CFlashThread::RunFlash() {
    if (!deviceApi) {
        ShowError("Flash Device API pointer is a NULL Pointer", Box::Show);
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
        ShowError("Error in Refreshing Device List.", Box::None);
        return 0;
    }
    return ok;
}

int CFlashThread::DoHeadlessJob(const std::string& path, uint16_t id) {
    job.superfilePath = path;
    context.SetDeviceNumber(id);
    sequence.reader.reset(new (std::nothrow) CFlashFileIO(nullptr, path, context));
    if (!sequence.reader) {
        ShowError(kNoReader, Box::None);
        return 0;
    }
    // The reader goes on every way out.
    struct ReaderRelease {
        std::unique_ptr<CFlashFileIO>& reader;
        ~ReaderRelease() { reader.reset(); }
    } release{sequence.reader};

    ShowStatus("Creating Image File.");
    if (sequence.reader->PrepareImages() != 1) {
        ShowError(kProcessingFailed, Box::None);
        return 0;
    }
    if (ConnectPhone(id) != 1) {
        return 0;
    }
    if (!deviceApi) {
        ShowError("Flash Device API pointer is a NULL Pointer", Box::None);
        return 0;
    }
    uint32_t error = 0;
    if (StartDeviceApi(error) == 0) {
        ShowError("Error initializing Flash Device API", Box::None);
        return 0;
    }
    // A job told to stop while it connected starts no flash, and says so.
    if (StopHere()) {
        ShowError(kFlashFailed, Box::None);
        return 0;
    }
    int reboot = 0;
    if (FlashSequence(reboot) != 1) {
        ShowError(kFlashFailed, Box::None);
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
        ShowError(kNoInterface, Box::None);
        return 0;
    }
    return 1;
}

// After a settings upgrade the phone restarts; otherwise it is powered down.
int CFlashThread::FinishPhone(bool reboot) {
    if (reboot) {
        ShowStatus("Phone is being rebooted");
        if (Reboot() != 1) {
            ShowError("Reboot SU FAILED!!!", Box::None);
            return 0;
        }
        return 1;
    }
    ShowStatus("Phone is powered DOWN!!!");
    if (PowerDown() != 1) {
        ShowError("Power down SU FAILED!!!", Box::None);
        return 0;
    }
    return 1;
}

int CFlashThread::DoHeadlessVerify(const std::string& path, uint16_t id) {
    job.superfilePath = path;
    context.SetDeviceNumber(id);
    if (ConnectPhone(id) != 1) {
        return 0;
    }
    return RunVerify();
}
