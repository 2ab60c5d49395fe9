// CFlashThread: the flashing engine. One object serves one phone connection:
// it identifies the phone, reads its information and checksum records, erases,
// programs and verifies it through the flash device library, and reports every
// step tagged with the phone's device number.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>

#include "FlashDevApi.h"
#include "FlashView.h"
#include "ORX.h"
#include "ORX_FP_FlashFileIO.h"
#include "ORX_FP_FlashJobContext.h"
#include "WorkerThread.h"
#include "platform/NamedEvent.h"

class CFlashThread : public CWorkerThread {
  public:
    // What a headless job does with its phone.
    enum class JobKind { Flash, Verify };
    // What an engine is given when it is made. The dialog's engine takes each
    // job's superfile path from the dialog instead.
    struct Config {
        IFlashView* dialog = nullptr;  // null for the automation exports' engines
        void* hostInstanceHandle = nullptr;
        std::string superfilePath;
        // The job's route, phone, stop request and outcome; the default is the
        // dialog's route, device 0.
        JobContext context;
        JobKind kind = JobKind::Flash;
    };
    // The commands the dialog's worker carries out when woken.
    enum class Command { None, Flash, Move, Verify };
    struct WindowRect {
        int left = 0, top = 0, right = 0, bottom = 0;
    };

    // Options of the engine's steps, named at every call.
    enum class Box { None, Show };          // an error also shown in a stop box (dialog only)
    enum class Failures { Report, Quiet };  // whether a failure is reported
    enum class InfoScope { Versions, WithChecksums };  // what a phone-information refresh reads
    enum class SettingsArea { AskPhone, Restored };    // the phone's settings before an erase
    enum class Ask { Never, User };  // an older or equal version is put to the user
    // When checksums are compared: right after programming, before the
    // barkers, or on a finished phone that carries them (Verify).
    enum class Stage { BeforeBarkers, Finished };

    // What the engine knows of the connected phone: how it was identified,
    // its records, and the figures and texts the dialog's phone fields show.
    struct PhoneRecords {
        ORXInterfaceHandle interfaceHandle = nullptr;
        std::string stringDescriptor;
        std::string platformName = "Unknown Platform";
        int bootState = 0;   // 1: a blank phone (boot interface or descriptor)
        int flashState = 0;  // 1: on its flash interface
        int tavenorBlank = 0;
        int tavenorFlash = 0;
        SU_INFO_STRUC suInfo{};
        CHECKSUMS_STRUC suChecksums{};
        std::array<uint8_t, 8> absentPattern{};
        uint16_t ramChecksumFigure = 0;
        uint16_t bootChecksumFigure = 0;
        uint16_t appChecksumFigure = 0;
        std::string buildVersionText;
        std::string codeVersionText;
        std::string bootVersionText;
    };

    // The dialog's engine (dialog null: an engine with no configuration).
    explicit CFlashThread(IFlashView* dialog);
    explicit CFlashThread(Config config);
    ~CFlashThread() override;

    // The worker: with a dialog it polls the host's devices and carries out
    // commands; without one it runs one headless job and ends.
    void Run() override;
    // The dialog's worker is woken as well, so it sees the stop at once
    // instead of at the end of its 500 ms wait.
    int Stop() override;
    void RunFailed(const char* what) override;
    // Signals the command event; 1 on success.
    int WakeWorker();
    // Sets the command and wakes the worker; 1 on success.
    int Post(Command next);
    // Moves the dialog to the rectangle, on the worker.
    int RequestMove(const WindowRect& rect);
    void DoFlashJob();
    int RunFlash();
    int DoHeadlessJob(const std::string& path, uint16_t id);
    // The verify of VerifyDevice, run as a headless job: connect, then Verify.
    int DoHeadlessVerify(const std::string& path, uint16_t id);

    IFlashView* Dialog() const { return dialog; }
    const PhoneRecords& Phone() const { return records; }
    // The superfile reader of the flash sequence (null outside a job). A job
    // makes its own; tests hand in one they prepared.
    CFlashFileIO* Reader() const { return sequence.reader.get(); }
    void SetReader(std::unique_ptr<CFlashFileIO> reader);
    // Stands for a device library that could not be made.
    void DropDeviceApi() { deviceApi.reset(); }

    // Reporting, tagged "Phone[%.4d]: " and sent on the job's route; every
    // error is logged and the first one is noted as the job's cause.
    void ShowStatus(const std::string& text);
    void ShowError(const std::string& text, Box box);
    void ReportDeviceError(const std::string& text, uint32_t errorCode, uint32_t address);

    // Device library start-up on the current device number and interface.
    void InitDeviceApi(Failures failures);
    // The same without a report: 1 when the phone answered. A serial phone is
    // also looked for at the other line rate.
    int StartDeviceApi(uint32_t& error);

    // Phone records and one-command operations.
    int ReadSUInfo(Failures failures);
    int EraseFlash(EraseTypeEnum eraseType, SettingsArea settings);
    int PowerDown();
    int Reboot();
    int SuspendViaTestCommand();

    // Checksums.
    int ReadSUChecksums();
    int VerifyChecksums(const CFlashFileIO& file, Stage stage);
    // The 16-bit sum of a part as a phone that carries its barker holds it.
    static uint16_t SumWithBarker(const SubfileRecord& record);

    // Identification.
    int ConnectDevice(uint16_t deviceId);
    int OpenDeviceInterface(uint16_t deviceId);
    int IdentifyDevice(uint16_t deviceId);
    int ConnectPhone(uint16_t deviceId);
    void SetPlatformName(uint8_t maType, uint8_t chipsetType);
    int RefreshPhoneInfo(InfoScope scope);
    void UpdateInfoFields();
    // Versions of code groups 0, 1 and 6 as "v0x%.4X" into the first three
    // texts; firstVersion gets code group 0's. 0 with fewer than 3 texts.
    int GetPhoneVersions(std::span<std::string> info, uint16_t& firstVersion);
    // The platform name identification gives the phone, without reporting. 1 or 0.
    int IdentifyPlatform(std::string& name);

    // Programming primitives; each reports its own failure.
    int LoadBootstrapRamDownloader(int fd, uint32_t start, uint32_t length);
    int LoadBootloaderRamDownloader(int fd, uint32_t start, uint32_t length,
                                    uint16_t declaredChecksum);
    int FlashRange(int fd, uint32_t start, uint32_t length, uint16_t type);
    int WriteBarker(const std::array<uint8_t, 8>& barker, uint32_t address);

    // The flash sequence and what it is made of.
    int VerifySUInfo(const CFlashFileIO& file, Ask ask);
    uint8_t UpgradeSettingsArea(uint16_t expectedChecksum);
    int FlashSequence(int& reboot);
    int RunVerify();

    // True when the engine's worker was told to stop: the sequence then starts
    // no further step.
    bool StopRequested() const { return context.StopRequested(); }

    // The job's context: route, phone, stop request and outcome.
    const JobContext& Context() const { return context; }
    // The phone the engine serves now.
    uint16_t DeviceNumber() const { return context.DeviceNumber(); }

    // True when the phone's descriptor is all 0xFF (nothing there).
    bool DescriptorAbsent(const SU_DESCRIPTOR& descriptor) const;

  private:
    // What the job was made with, beyond its dialog and device number.
    struct JobSettings {
        void* hostInstanceHandle = nullptr;
        std::string superfilePath;
        JobKind kind = JobKind::Flash;
    };
    // The superfile of the current flash sequence and what the sequence
    // found of it on the phone.
    struct FileRecords {
        std::unique_ptr<CFlashFileIO> reader;
        // Slots already on the phone (or put there before its erase): the
        // code-group loop and the barkers pass over them, and the checksums
        // expect them as the phone carries them.
        std::array<bool, shx::kSlots> alreadyOnPhone{};
        bool reinsertBarker = false;  // a language package alone: code group 0's barker goes back
        // Set by the settings upgrade only when the phone saved, took the new
        // settings area and restored its data; an answer that let nothing
        // happen leaves it clear.
        bool settingsRestored = false;
    };
    // The dialog's worker: its pending command and the phones it lists.
    struct DialogLoop {
        std::atomic<Command> command{Command::None};
        std::mutex windowLock;  // the host's thread sets the window, the worker reads it
        WindowRect window;
        std::array<uint16_t, 128> deviceList{};
        int deviceCount = 0;
        bool multiDevice = false;
        bool firstOsConnection = true;
    };

    // The worker's parts.
    void CarryOut(Command command);
    void FlashEveryPhone();
    void VerifyEveryPhone();
    void PollDevices(bool& listKnown, bool& allIdentified);
    int ConnectWithDialogInterface(uint16_t id);

    // Reporting helpers.
    void ReportProgress(const char* value);
    void ReportPercent(int percent);
    void ResetProgress();
    // "Verify Successful" or "Verify FAILED!!!", untagged, and logged.
    void Verdict(const char* text);
    // A status line that is also logged.
    void ReportAndLog(const std::string& text);

    // Programming.
    // Where an image goes: programmed into flash, or downloaded into RAM,
    // which reports its progress after every block.
    enum class Into { Flash, Ram };
    int SendImage(int fd, uint32_t start, uint64_t skip, uint64_t total, Into into);
    int SendBlock(int fd, uint32_t address, uint64_t offset, size_t size, size_t blankTail,
                  Into into, uint8_t* packet);
    int SendTail(int fd, uint32_t tailAddress, uint64_t fileOffset, size_t bytes,
                 uint32_t errorAddress);
    int ReadRamChecksum(uint32_t start, uint32_t length, uint16_t declaredChecksum);

    // The flash sequence's phases.
    int LoadRamDownloader(const CFlashFileIO& file);
    int RaiseSerialLineRate();
    int EraseForFile(const CFlashFileIO& file, int& reboot);
    int RequireOnPhone(const CFlashFileIO& file, int slot);
    int ProgramParts(const CFlashFileIO& file);
    int ProgramPart(const SubfileRecord& record, const std::string& flashing,
                    const std::string& flashed);
    int WriteBarkers(const CFlashFileIO& file);
    int FinishWithBarkers(const CFlashFileIO& file);
    int FinishPhone(bool reboot);
    // True, with the stop reported, when the worker was told to stop and no
    // step that must run to its end is under way.
    bool StopHere();

    // The settings upgrade's steps from save to restore; 0 or its failure code.
    uint8_t ReplaceSettingsArea(int image, const SubfileRecord& settings,
                                uint16_t expectedChecksum);
    uint8_t CheckSettingsChecksum(uint16_t expectedChecksum);

    // Version rules of VerifySUInfo; each reports and gives 1 to go on, 0 to stop.
    int CheckBootloaderInfo(const SubfileRecord& boot, Ask ask);
    int CheckCodeGroupInfo(const CFlashFileIO& file, int n, Ask ask);
    int MatchesPhoneHardware(const SubfileRecord& record);
    int AcceptOtherDataType(const std::string& text, Ask ask);
    int CheckLanguageVersion(const SubfileRecord& record, uint16_t phoneVersion, Ask ask);
    int ReportVersion(const std::string& text, bool olderOrSame, Ask ask);
    int Refuse(const std::string& text);

    // Checksum rules of VerifyChecksums; each reports and gives 1 or 0.
    int CheckBootloaderSum(const SubfileRecord& boot, Stage stage);
    int CheckCodeGroupSum(const SubfileRecord& record, int n, Stage stage);
    int RangeSumMissing(const SubfileRecord& record, int n, Stage stage, uint32_t error);
    // True when the slot's part carries its barker on the phone.
    bool Barkered(int slot, Stage stage) const;
    // True when the phone's range checksum proves it holds the part already.
    bool PartOnPhone(const SubfileRecord& record, bool withBarker);

    IFlashView* const dialog;
    JobSettings job;
    PhoneRecords records;
    FileRecords sequence;
    DialogLoop loop;
    std::unique_ptr<CFlashDeviceApi> deviceApi;
    std::shared_ptr<platform::NamedEvent> commandEvent;
    // Set while the settings upgrade runs from save to restore: a stop then
    // waits for the phone's settings data to be back.
    bool stopHeld = false;
    JobContext context;
};
