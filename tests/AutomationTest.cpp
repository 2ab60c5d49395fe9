// Flashing without a dialog: the worker base, the command event, FlashDevice,
// Flash and VerifyDevice against simulated phones, and the entry points that
// close the module and report its version.
#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <new>
#include <optional>
#include <thread>

#include "EngineConfig.h"
#include "ModuleFakes.h"
#include "ORX_FP_Flash.h"
#include "ORX_FP_FlashOutcome.h"
#include "ORX_FP_FlashThread.h"
#include "OrxHost.h"
#include "PhoneFiles.h"
#include "ShxFiles.h"
#include "platform/NamedEvent.h"

extern std::atomic<int> deviceListRetryPauseMs;

namespace {

using nlohmann::json;
using Kind = orxhost::DisplayEvent::Kind;
using phonesim::WriteEvent;

constexpr const char* kChipsetMismatch =
    "Error verifying Subscriber Unit Info: Chipset type does not match.";

// A worker that blocks until released, whatever Stop says.
class StubbornWorker : public CWorkerThread {
  public:
    ~StubbornWorker() override { JoinWorker(); }
    void Run() override {
        while (!released.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ranAfterStop = Running() == 0;
    }
    std::atomic<bool> released{false};
    std::atomic<bool> ranAfterStop{false};
};

TEST(WorkerThread, StopOnANeverStartedWorkerIsDone) {
    testsupport::IdleWorker worker;
    EXPECT_EQ(worker.Stop(), 1);
    EXPECT_FALSE(worker.HasWorker());
}

TEST(WorkerThread, WorkerThatOutlivesTheWaitIsToldToStopAndWaitedForLater) {
    StubbornWorker worker;
    ASSERT_EQ(worker.Start(), 1);
    EXPECT_EQ(worker.Stop(), 0);
    EXPECT_EQ(worker.Running(), 0);
    worker.released = true;
    worker.WaitUntilEnded();
    EXPECT_TRUE(worker.ranAfterStop);
    EXPECT_EQ(worker.Stop(), 1);
}

TEST(WorkerThread, StopAfterTheWorkerEndedOnItsOwnIsImmediate) {
    StubbornWorker worker;
    worker.released = true;
    ASSERT_EQ(worker.Start(), 1);
    worker.WaitUntilEnded();
    EXPECT_EQ(worker.Stop(), 1);
    EXPECT_FALSE(worker.HasWorker());
}

// Held in an exchange past Stop's wait, then runs while the flag allows.
class SlowToNoticeWorker : public CWorkerThread {
  public:
    ~SlowToNoticeWorker() override { JoinWorker(); }
    void Run() override {
        runs.fetch_add(1);
        while (!released.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        while (Running() == 1) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    std::atomic<bool> released{false};
    std::atomic<int> runs{0};
};

TEST(WorkerThread, StartAfterAnUnfinishedStopLetsTheOldWorkerEndFirst) {
    SlowToNoticeWorker worker;
    ASSERT_EQ(worker.Start(), 1);
    ASSERT_EQ(worker.Stop(), 0);
    std::atomic<bool> restarted{false};
    std::thread restart([&] {
        EXPECT_EQ(worker.Start(), 1);
        restarted = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the restart reaches its join
    worker.released = true;
    // Hang guard only: an old worker that saw the flag set again would never end.
    for (int i = 0; i < 10000 && !restarted; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_TRUE(restarted.load()) << "the old worker kept running and Start never returned";
    if (restarted) {
        // The new worker may not have reached Run yet when Start returns.
        for (int i = 0; i < 10000 && worker.runs.load() < 2; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        EXPECT_EQ(worker.runs.load(), 2);
        EXPECT_EQ(worker.Running(), 1);
    }
    worker.Stop();
    restart.join();
}

TEST(CommandEvent, SharedByNameCreatedSignalledAndAutoReset) {
    auto first = platform::OpenNamedEvent("test event", true);
    auto second = platform::OpenNamedEvent("test event", false);
    ASSERT_EQ(first, second);
    EXPECT_TRUE(second->Wait(0));
    EXPECT_FALSE(first->Wait(10));
    first->Set();
    EXPECT_TRUE(second->Wait(0));
    EXPECT_FALSE(second->Wait(0));
}

class Automation : public testsupport::HostedModuleTest {
  protected:
    Automation() {
        deviceListRetryPauseMs.store(1);
        path = scratch.File("fw.shx");
        testsupport::WriteShx(testsupport::FlashableManifest(), path);
    }
    ~Automation() override { deviceListRetryPauseMs.store(1000); }

    int FlashOne(uint16_t deviceId) {
        OrxFlashDeviceArgs args{path.c_str(), deviceId};
        return FlashDevice(2, &args);
    }
    std::vector<uint8_t> Image(int slot) const {
        return testsupport::ReadBytes(shx::ImageFileName(path, slot));
    }
    static bool Has(const std::shared_ptr<phonesim::Phone>& phone, WriteEvent::Kind kind) {
        for (const WriteEvent& event : phone->WriteLog()) {
            if (event.kind == kind) {
                return true;
            }
        }
        return false;
    }

    std::string path;
};

TEST_F(Automation, FlashDeviceFlashesOnePhoneAndReportsPerDevice) {
    auto phone = testsupport::AttachExamplePhone("flash-hmq-vintrel");
    ASSERT_EQ(FlashOne(4), 0);
    EXPECT_EQ(AutomationRoute(), ReportRoute::PerDevice);
    EXPECT_EQ(phone->ReadFlash(0x10010000, 307200), Image(3));
    EXPECT_TRUE(Has(phone, WriteEvent::Kind::PowerDown));
    std::vector<orxhost::DisplayEvent> statuses = sink->Events(Kind::Status);
    ASSERT_FALSE(statuses.empty());
    for (const auto& event : statuses) {
        EXPECT_TRUE(event.perDevice);
        EXPECT_EQ(event.deviceId, 4);
    }
    EXPECT_FALSE(sink->Events(Kind::Progress).empty());
    EXPECT_EQ(LastSuperfile(), path);
}

TEST_F(Automation, FlashDeviceRefusesBadArgumentsBusySlotsAndAnUninitialisedModule) {
    OrxFlashDeviceArgs args{path.c_str(), 4};
    SetAutomationRoute(ReportRoute::Console);
    EXPECT_EQ(FlashDevice(1, &args), 3);
    EXPECT_EQ(AutomationRoute(), ReportRoute::PerDevice);
    args.deviceId = 1032;
    EXPECT_EQ(FlashDevice(2, &args), 3);
    args.deviceId = 500;
    EXPECT_EQ(FlashDevice(2, &args), 3);
    OrxFlashDeviceArgs noPath{nullptr, 4};
    EXPECT_EQ(FlashDevice(2, &noPath), 3);

    InstallJob(128);  // device 128 shares its slot with 1000
    EXPECT_EQ(FlashOne(1000), 15);
    EXPECT_EQ(FlashOne(128), 15);

    hostInstance.store(nullptr);
    EXPECT_EQ(FlashOne(4), 15);
}

TEST_F(Automation, OnlyAnOpenDialogMakesTheAutomationExportsBusy) {
    const char* list[] = {path.c_str()};
    auto answers = [&] {
        return std::vector<int>{FlashOne(4), Flash(1, list), VerifyDevice(path.c_str(), 4)};
    };
    // Not opened: before any UTCOpen, and after a dialog UTCOpen that failed.
    headlessMode.store(0);
    EXPECT_EQ(answers(), (std::vector<int>{15, 15, 15}));
    EXPECT_EQ(UTCOpen(1, nullptr, 0, 0, 100, 100, nullptr), 15);
    EXPECT_EQ(answers(), (std::vector<int>{15, 15, 15}));
    // The dialog open: its engine's worker runs and owns the phones.
    InstallMainEngine();
    EXPECT_EQ(answers(), (std::vector<int>{16, 16, 16}));
    EXPECT_EQ(orxhost::CallCount("ORXGetDeviceList"), 0);
}

TEST_F(Automation, FailedHeadlessJobGives52AndLeavesThePhonePowered) {
    auto phone = testsupport::AttachExamplePhone("flash-hmq-vintrel", [](json& profile) {
        profile["bootloader"]["chipsetType"] = 1;  // another chipset than the file's
    });
    EXPECT_EQ(FlashOne(4), 52);
    EXPECT_FALSE(Has(phone, WriteEvent::Kind::PowerDown));
    EXPECT_FALSE(Has(phone, WriteEvent::Kind::Erase));
    EXPECT_NE(Log1().find("*********Flash FAILED!!!*********"), std::string::npos);
    // The cause, not the closing line, is the phone's outcome and the caller's failure.
    JobOutcome outcome;
    ASSERT_TRUE(DeviceOutcome(4, outcome));
    EXPECT_EQ(outcome.code, 52);
    EXPECT_EQ(outcome.reason, kChipsetMismatch);
    EXPECT_EQ(ThreadFailure().reason, kChipsetMismatch);
}

TEST_F(Automation, PhonesFlashInParallelFromSeveralCallers) {
    auto first = testsupport::AttachExamplePhone("flash-hmq-vintrel");
    auto second = testsupport::AttachExamplePhone("flash-hmq-vintrel", [](json& profile) {
        profile["deviceId"] = 5;
        profile.erase("stateFile");
    });
    int results[2] = {-1, -1};
    std::thread a([&] { results[0] = FlashOne(4); });
    std::thread b([&] { results[1] = FlashOne(5); });
    a.join();
    b.join();
    EXPECT_EQ(results[0], 0);
    EXPECT_EQ(results[1], 0);
    EXPECT_EQ(first->ReadFlash(0x10300000, 65536), Image(6));
    EXPECT_EQ(second->ReadFlash(0x10300000, 65536), Image(6));
}

TEST_F(Automation, FlashRunsEveryListedPhoneAndPrintsTheirReports) {
    testsupport::AttachExamplePhone("flash-hmq-vintrel");
    auto wrong = testsupport::AttachExamplePhone("flash-r4x-dorsk");  // another platform
    const char* args[] = {path.c_str()};
    testsupport::RecordingConsole console;
    EXPECT_EQ(Flash(1, args), 0);
    std::string printed = console.Output();
    EXPECT_EQ(AutomationRoute(), ReportRoute::Console);
    EXPECT_NE(printed.find("Phone[0004]: FLASH COMPLETED!!!."), std::string::npos) << printed;
    EXPECT_NE(printed.find("Phone[0001]: *********Flash FAILED!!!*********"), std::string::npos);
    EXPECT_EQ(flashJobCount.load(), 2);
    EXPECT_EQ(LastSuperfile(), path);
    // Flash's 0 says nothing of the phones; each phone's outcome does.
    JobOutcome flashed;
    JobOutcome failed;
    ASSERT_TRUE(DeviceOutcome(4, flashed));
    ASSERT_TRUE(DeviceOutcome(1, failed));
    EXPECT_EQ(flashed.code, 0);
    EXPECT_EQ(flashed.reason, "");
    EXPECT_EQ(failed.code, 52);
    EXPECT_FALSE(failed.reason.empty());
    EXPECT_NE(printed.find("Phone[0001]: " + failed.reason), std::string::npos) << failed.reason;
}

// Where two jobs meet: each marks its arrival and may wait for the other's.
class Meeting {
  public:
    enum Party { FlashJob, DeviceJob };
    void Arrive(Party party) {
        std::lock_guard guard(lock);
        arrived[party] = true;
        changed.notify_all();
    }
    // True once the party arrived; the long limit only guards against a hang.
    bool Await(Party party) {
        std::unique_lock guard(lock);
        return changed.wait_for(guard, std::chrono::seconds(60), [&] { return arrived[party]; });
    }

  private:
    std::mutex lock;
    std::condition_variable changed;
    bool arrived[2] = {false, false};
};

// The console: records, and holds Flash's job at its first line until the
// FlashDevice job has reported, so the two jobs run at the same time.
class HoldingConsole : public IReportSink {
  public:
    explicit HoldingConsole(Meeting& meeting) : meeting(meeting) {}
    void Line(const std::string& text) override {
        {
            std::lock_guard guard(lock);
            lines.push_back(text);
        }
        if (!held.exchange(true)) {
            meeting.Arrive(Meeting::FlashJob);
            meeting.Await(Meeting::DeviceJob);
        }
    }
    void Progress(int) override { ++progress; }
    std::vector<std::string> Lines() const {
        std::lock_guard guard(lock);
        return lines;
    }
    std::atomic<int> progress{0};

  private:
    Meeting& meeting;
    mutable std::mutex lock;
    std::vector<std::string> lines;
    std::atomic<bool> held{false};
};

class ArrivingDisplay : public orxhost::RecordingSink {
  public:
    explicit ArrivingDisplay(Meeting& meeting) : meeting(meeting) {}
    void OnDisplay(const orxhost::DisplayEvent& event) override {
        RecordingSink::OnDisplay(event);
        meeting.Arrive(Meeting::DeviceJob);
    }

  private:
    Meeting& meeting;
};

TEST_F(Automation, FlashAndFlashDeviceAtOnceKeepEachMessageOnItsOwnRoute) {
    Meeting meeting;
    auto console = std::make_shared<HoldingConsole>(meeting);
    std::shared_ptr<IReportSink> previous = SetConsoleSink(console);
    auto display = std::make_shared<ArrivingDisplay>(meeting);
    orxhost::SetDisplaySink(display);
    auto first = testsupport::AttachExamplePhone("flash-hmq-vintrel");  // device 4

    const char* args[] = {path.c_str()};
    int flashed = -1;
    std::thread flash([&] { flashed = Flash(1, args); });
    // Phone 5 comes once Flash has listed its phones and its job reports.
    EXPECT_TRUE(meeting.Await(Meeting::FlashJob));
    auto second = testsupport::AttachExamplePhone("flash-hmq-vintrel", [](json& profile) {
        profile["deviceId"] = 5;
        profile.erase("stateFile");
    });
    EXPECT_EQ(FlashOne(5), 0);
    flash.join();
    SetConsoleSink(previous);

    EXPECT_EQ(flashed, 0);
    // Flash's job: every line on the console, tagged with its phone.
    std::vector<std::string> lines = console->Lines();
    for (const std::string& line : lines) {
        EXPECT_TRUE(line.empty() || line.rfind("Phone[0004]: ", 0) == 0) << line;
    }
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Phone[0004]: FLASH COMPLETED!!!."),
              lines.end());
    EXPECT_GT(console->progress.load(), 0);
    // FlashDevice's job: every display per device, for its phone.
    std::vector<orxhost::DisplayEvent> events = display->Events();
    for (const orxhost::DisplayEvent& event : events) {
        EXPECT_TRUE(event.perDevice && event.deviceId == 5) << event.text;
    }
    EXPECT_FALSE(display->Events(Kind::Progress).empty());
    std::vector<std::string> statuses = display->Texts(Kind::Status);
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), "Phone[0005]: FLASH COMPLETED!!!."),
              statuses.end());
    for (uint16_t deviceNumber : {4, 5}) {
        JobOutcome outcome;
        EXPECT_TRUE(DeviceOutcome(deviceNumber, outcome) && outcome.code == 0) << deviceNumber;
    }
    EXPECT_EQ(first->ReadFlash(0x10300000, 65536), Image(6));
    EXPECT_EQ(second->ReadFlash(0x10300000, 65536), Image(6));
}

TEST_F(Automation, FlashGivesUpAfterEightDeviceListAttempts) {
    const char* args[] = {path.c_str()};
    EXPECT_EQ(Flash(2, args), 3);
    orxhost::InjectFailure("ORXGetDeviceList", 9, 8);
    EXPECT_EQ(Flash(1, args), 15);
    EXPECT_EQ(orxhost::CallCount("ORXGetDeviceList"), 8);
    // With no phone the list succeeds empty: nothing to do.
    EXPECT_EQ(Flash(1, args), 0);
}

TEST_F(Automation, VerifyDeviceComparesWithoutWriting) {
    auto phone = testsupport::AttachExamplePhone("flash-hmq-vintrel");
    std::optional<testsupport::RecordingConsole> console(std::in_place);
    EXPECT_EQ(VerifyDevice(path.c_str(), 4), 52);  // the phone still has its old firmware
    std::string before = console->Output();
    EXPECT_NE(before.find("Verify FAILED!!!"), std::string::npos) << before;
    EXPECT_FALSE(Has(phone, WriteEvent::Kind::Program));
    SetAutomationRoute(ReportRoute::PerDevice);
    ASSERT_EQ(FlashOne(4), 0);
    SetAutomationRoute(ReportRoute::Console);
    phone->PowerOn();  // a flashed phone is powered down; the user switches it on
    ORXRefreshConnections();
    console.emplace();
    EXPECT_EQ(VerifyDevice(path.c_str(), 4), 0);
    std::string after = console->Output();
    EXPECT_NE(after.find("\nVerify Successful\n"), std::string::npos) << after;
}

TEST_F(Automation, CloseDeletesTheImagesOfTheLastSuperfile) {
    testsupport::AttachExamplePhone("flash-hmq-vintrel");
    ASSERT_EQ(FlashOne(4), 0);
    ASSERT_TRUE(std::filesystem::exists(shx::ImageFileName(path, 3)));
    EXPECT_EQ(UTCClose(), 0);
    for (int slot : {0, 2, 3, 4, 6}) {
        EXPECT_FALSE(std::filesystem::exists(shx::ImageFileName(path, slot))) << slot;
    }
    EXPECT_TRUE(std::filesystem::exists(path));
}

TEST_F(Automation, CloseWaitsWhileAnAutomationJobRuns) {
    InstallJob(7);
    EXPECT_EQ(UTCClose(), 16);
}

TEST_F(Automation, StopOnAWorkerBlockedInAPhoneExchangeGivesUpAndStaysSound) {
    setenv("ORX_DEVAPI_TIMEOUT_MS", "3000", 1);
    auto phone = testsupport::AttachExamplePhone("flash-hmq-vintrel");
    phonesim::FaultOrder stall;
    stall.action = phonesim::FaultAction::Stall;
    stall.command = "GetInfo";
    phone->AddFault(stall);
    auto job = std::make_unique<CFlashThread>(testsupport::EngineConfig(this, path, 4));
    SetAutomationRoute(ReportRoute::PerDevice);
    ASSERT_EQ(job->Start(), 1);
    // Once the job has opened its link, the next exchange is the stalled one.
    for (int i = 0; i < 10000 && orxhost::CallCount("ORXOpenDeviceLink") == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(job->Stop(), 0);
    job.reset();  // waits for the exchange to time out; nothing it uses is gone first
    unsetenv("ORX_DEVAPI_TIMEOUT_MS");
    // Told to stop, the job finished its exchange but erased and programmed
    // nothing; the phone flashes on the next attempt.
    for (const WriteEvent& event : phone->WriteLog()) {
        EXPECT_NE(event.kind, WriteEvent::Kind::Erase);
        EXPECT_NE(event.kind, WriteEvent::Kind::Program);
    }
    EXPECT_EQ(FlashOne(4), 0);
}

TEST_F(Automation, PlatformIsTheOneIdentificationGivesAndVersionsLeaveTheHostsEntries) {
    const struct {
        const char* profile;
        int deviceId;
        const char* platform;
    } phones[] = {{"blank-r4x-dorsk", 11, "Blank CDMA Dorsk"},
                  {"blank-j617-tavenor", 12, "Blank Tavenor"},
                  {"flash-hmq-vintrel", 4, "GSM k.380"},
                  {"serial-1000", 1000, "CDMA Dorsk"}};
    for (const auto& phone : phones) {
        testsupport::AttachExamplePhone(phone.profile);
    }
    for (const auto& phone : phones) {
        char platform[32] = "unchanged";
        EXPECT_EQ(GetDevicePlatform(phone.deviceId, platform, sizeof platform), 0) << phone.profile;
        EXPECT_STREQ(platform, phone.platform) << phone.profile;
    }
    char unchanged[32] = "unchanged";
    EXPECT_EQ(GetDevicePlatform(99, unchanged, sizeof unchanged), 52);  // no such phone
    EXPECT_STREQ(unchanged, "unchanged");

    char texts[4][32] = {"", "", "", "host's own"};
    char* entries[] = {texts[0], texts[1], texts[2], texts[3]};
    OrxTextArray info{entries, 4, sizeof texts[0]};
    uint16_t first = 0;
    ASSERT_EQ(GetDeviceInformation(4, &info, &first), 0);
    EXPECT_EQ(std::string(texts[0]).rfind("v0x", 0), 0u);
    EXPECT_STREQ(texts[3], "host's own");
}

// Every box throws, as a failed allocation while a box is put up would.
class ThrowingBoxes {
  public:
    ThrowingBoxes() {
        previous = platform::SetMessageBoxHandler(
            [](const platform::BoxRequest&) -> platform::BoxAnswer { throw std::bad_alloc(); });
    }
    ~ThrowingBoxes() { platform::SetMessageBoxHandler(previous); }

  private:
    platform::BoxHandler previous;
};

TEST_F(Automation, AnExceptionOnAJobIsThatPhonesFailureAndNeverLeavesTheThread) {
    ThrowingBoxes throwing;
    // The reader boxes the missing superfile on the job's thread after FlashDevice.
    OrxFlashDeviceArgs missing{"missing.shx", 4};
    EXPECT_EQ(FlashDevice(2, &missing), 52);
    bool reported = false;
    for (const auto& event : sink->Events(Kind::Error)) {
        reported |= event.perDevice && event.deviceId == 4 &&
                    event.text.find("unexpected failure: out of memory") != std::string::npos;
    }
    EXPECT_TRUE(reported);
    EXPECT_FALSE(AnyJobSlotTaken());
    // The phone's last job and the caller's failed export give one cause.
    char job[256] = "";
    char caller[256] = "";
    EXPECT_EQ(GetFailureReason(4, job, sizeof job), 52);
    EXPECT_EQ(GetFailureReason(-1, caller, sizeof caller), 52);
    EXPECT_NE(job[0], '\0');
    EXPECT_STREQ(job, caller);
}

TEST_F(Automation, NoExportLetsAnExceptionOut) {
    ThrowingBoxes throwing;
    SetAutomationRoute(ReportRoute::PerDevice);  // the reader then boxes its failures
    char entry[64] = "";
    char* entries[] = {entry};
    OrxTextArray array{entries, 1, sizeof entry};
    uint16_t first = 0;
    const char* lines[] = {"boxed"};
    const struct {
        const char* name;
        std::function<int()> call;
        int failure;
    } cases[] = {
        {"UTCSpecific", [&] { return UTCSpecific(1, lines); }, 15},
        {"GetSuperfileInformation",
         [&] { return GetSuperfileInformation("missing.shx", &array, &first); }, 52},
        {"ConvertSuperfile", [] { return ConvertSuperfile("missing.shx", nullptr, nullptr); }, 52},
        {"UTCOpen", [] { return UTCOpen(1, nullptr, 0, 0, 0, 0, nullptr); }, 15},
        {"UTCInit", [] { return UTCInit(nullptr); }, 15},
    };
    testsupport::RecordingConsole console;
    for (const auto& c : cases) {
        int result = -1;
        EXPECT_NO_THROW(result = c.call()) << c.name;
        EXPECT_EQ(result, c.failure) << c.name;
    }
    std::string printed = console.Output();
    EXPECT_NE(printed.find("ConvertSuperfile failed unexpectedly: out of memory"),
              std::string::npos)
        << printed;
    EXPECT_NE(Log1().find("UTCInit failed unexpectedly: out of memory"), std::string::npos);
    // The last export that failed on this thread, with its code.
    EXPECT_EQ(ThreadFailure().code, 15);
    EXPECT_EQ(ThreadFailure().reason, "UTCInit failed unexpectedly: out of memory");
}

class EntryPointsMore : public testsupport::ModuleTest {};

TEST_F(EntryPointsMore, VersionComesFromTheModuleFileInTheCurrentDirectory) {
    char version[32] = "unchanged";
    EXPECT_EQ(UTCGetVersion(version, sizeof version), 15);
    EXPECT_STREQ(version, "unchanged");
    EXPECT_NE(Log1().find("ERROR: Error getting file version info size"), std::string::npos);

    std::error_code ignored;
    auto module =
        std::filesystem::read_symlink("/proc/self/exe", ignored).parent_path() / "ORX_FP_Flash.so";
    std::filesystem::copy_file(module, scratch.File("ORX_FP_Flash.so"));
    ASSERT_EQ(UTCGetVersion(version, sizeof version), 0);
    EXPECT_STREQ(version, ORX_FP_FlashVersionBlockText);

    testsupport::WriteText(scratch.File("ORX_FP_Flash.so"), "no version here");
    EXPECT_EQ(UTCGetVersion(version, sizeof version), 15);
    EXPECT_NE(Log1().find("ERROR: ProductVersion query failed for the Flash DLL."),
              std::string::npos);
}

TEST_F(EntryPointsMore, SpecificJoinsItsLinesInOneBox) {
    const char* lines[] = {"first", "second"};
    EXPECT_EQ(UTCSpecific(2, lines), 0);
    EXPECT_EQ(UTCSpecific(0, nullptr), 0);
    ASSERT_EQ(boxes.Texts(), (std::vector<std::string>{"first\r\nsecond\r\n", ""}));
    EXPECT_EQ(boxes.Boxes()[0].icon, platform::BoxIcon::None);
    EXPECT_EQ(boxes.Boxes()[0].buttons, platform::BoxButtons::Ok);
}

}  // namespace
