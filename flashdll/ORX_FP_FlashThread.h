// CFlashThread: the flashing engine. One object serves one phone connection:
// it identifies the phone, reads its information and checksum records, erases,
// programs and verifies it through the flash device library, and reports every
// step tagged with the phone's device number.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "FlashView.h"
#include "ORX_FP_FlashFileIO.h"
#include "ORX_FP_FlashJobContext.h"
#include "WorkerThread.h"
#include "interfaces/FlashDevApi.h"
#include "interfaces/ORX.h"
#include "platform/NamedEvent.h"

class CFlashThread : public CWorkerThread {
  public:
    // dialog is null for the automation exports' engines. The context gives the
    // job's route and phone; the default is the dialog's route.
    explicit CFlashThread(IFlashView* dialog, JobContext context = JobContext());
    ~CFlashThread() override;

    // The worker: with a dialog it polls the host's devices and carries out
    // commands; without one it runs one headless job and ends.
    void Run() override;
    void RunFailed(const char* what) override;
    // Signals the command event after the caller set the command; 1 on success.
    int WakeWorker();
    void DoFlashJob();
    int RunFlash();
    int DoHeadlessJob(const std::string& path, uint16_t id);
    // The verify of VerifyDevice, run as a headless job: connect, then Verify.
    int DoHeadlessVerify(const std::string& path, uint16_t id);

    // Reporting, tagged "Phone[%.4d]: " and sent on the job's route; every
    // error is logged and the first one is noted as the job's cause.
    void ShowStatus(const std::string& text);
    void ShowError(const std::string& text, int showBox);
    void ReportDeviceError(const std::string& text, uint32_t errorCode, uint32_t address);

    // Device library start-up on the current device number and interface.
    void InitDeviceApi(int quiet);
    // The same without a report: 1 when the phone answered. A serial phone is
    // also looked for at the other line rate.
    int StartDeviceApi(uint32_t& error);

    // Phone records and one-command operations.
    int ReadSUInfo(int quiet);
    int EraseFlash(EraseTypeEnum eraseType, int settingsPreserved);
    int PowerDown();
    int Reboot();
    int SuspendViaTestCommand();

    // Checksums.
    int ReadSUChecksums();
    int VerifyChecksums(const CFlashFileIO& file, int onBarkeredPhone);
    // The 16-bit sum of a part as a phone that carries its barker holds it.
    static uint16_t SumWithBarker(const SubfileRecord& record);

    // Identification.
    int ConnectDevice(uint16_t deviceId);
    int OpenDeviceInterface(uint16_t deviceId);
    int IdentifyDevice(uint16_t deviceId);
    int ConnectPhone(uint16_t deviceId);
    void SetPlatformName(uint8_t maType, uint8_t chipsetType);
    int RefreshPhoneInfo(int withChecksums);
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
    int VerifySUInfo(const CFlashFileIO& file, int askUser);
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

    // Engine state (members of the engine, read and set by its parts).
    uint16_t ramChecksumFigure = 0;
    uint16_t bootChecksumFigure = 0;
    uint16_t appChecksumFigure = 0;
    std::string buildVersionText;
    std::string codeVersionText;
    std::string platformName = "Unknown Platform";
    std::string bootVersionText;
    void* hostInstanceHandle = nullptr;
    int command = 5;
    SU_INFO_STRUC suInfo{};
    CHECKSUMS_STRUC suChecksums{};
    IFlashView* dialog;
    std::string superfilePath;
    std::unique_ptr<CFlashFileIO> fileReader;
    int windowLeft = 0, windowTop = 0, windowRight = 0, windowBottom = 0;
    std::unique_ptr<CFlashDeviceApi> deviceApi;
    ORXInterfaceHandle interfaceHandle = nullptr;
    std::string stringDescriptor;
    int bootState = 0;
    int flashState = 0;
    int tavenorBlank = 0;
    int tavenorFlash = 0;
    int multiDevice = 0;
    std::array<uint8_t, 8> absentPattern{};
    std::array<uint16_t, 128> deviceList{};
    int deviceCount = 0;
    bool headlessVerify = false;  // a headless job that verifies instead of flashing
    int reinsertBarker = 0;
    // Set by the settings upgrade only when the phone saved, took the new
    // settings area and restored its data; an answer that let nothing happen
    // leaves it clear.
    bool settingsRestored = false;
    // Slots the current flash sequence found already on the phone (or put
    // there before its erase): the code-group loop and the barkers pass over
    // them, and the checksums expect them as the phone carries them.
    std::array<bool, shx::kSlots> alreadyOnPhone{};
    int firstOsConnection = 1;
    std::shared_ptr<platform::NamedEvent> commandEvent;

  private:
    void ReportProgress(const char* value);
    void ReportPercent(int percent);
    void ResetProgress();
    int SendImage(int fd, uint32_t start, uint64_t skip, uint64_t total, bool toRam,
                  bool everyBlock);
    int SendTail(int fd, uint32_t tailAddress, uint64_t fileOffset, size_t bytes,
                 uint32_t errorAddress);
    int LoadRamDownloader(const CFlashFileIO& file);
    int EraseForFile(const CFlashFileIO& file, int& reboot);
    int RequireOnPhone(const CFlashFileIO& file, int slot);
    // True, with the stop reported, when the worker was told to stop and no
    // step that must run to its end is under way.
    bool StopHere();
    // True when the phone's range checksum proves it holds the part already.
    bool PartOnPhone(const SubfileRecord& record, bool withBarker);
    int FinishWithBarkers(const CFlashFileIO& file);
    int FinishPhone(bool reboot);
    // "Verify Successful" or "Verify FAILED!!!", untagged, and logged.
    void Verdict(const char* text);

    // Set while the settings upgrade runs from save to restore: a stop then
    // waits for the phone's settings data to be back.
    bool stopHeld = false;
    JobContext context;
};
