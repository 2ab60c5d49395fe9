// A stop requested while a headless flash job runs: the job ends at the next
// packet or step, starts no erase and writes no barker after it, lets a
// settings upgrade restore the phone's data first, and reports the phone as
// failed.
#include <gtest/gtest.h>

#include <atomic>

#include "EngineConfig.h"
#include "ModuleFakes.h"
#include "ORX_FP_Flash.h"
#include "ORX_FP_FlashThread.h"
#include "OrxHost.h"
#include "PhoneFiles.h"
#include "ShxFiles.h"

namespace {

using nlohmann::json;
using phonesim::WriteEvent;
using Kind = orxhost::DisplayEvent::Kind;

// The stop request a caller's Stop() makes, without waiting for the worker.
class StoppableJob : public CFlashThread {
  public:
    explicit StoppableJob(Config config) : CFlashThread(std::move(config)) {}
    using CWorkerThread::ClearRunning;
};

// Records every display and stops the job at the first status line that
// contains the trigger; runs on the job's own worker.
class StopOnStatus : public orxhost::RecordingSink {
  public:
    StopOnStatus(StoppableJob& job, std::string trigger) : job(job), trigger(std::move(trigger)) {}
    void OnDisplay(const orxhost::DisplayEvent& event) override {
        RecordingSink::OnDisplay(event);
        if (event.kind == Kind::Status && event.text.find(trigger) != std::string::npos &&
            !fired.exchange(true)) {
            job.ClearRunning();
        }
    }

  private:
    StoppableJob& job;
    const std::string trigger;
    std::atomic<bool> fired{false};
};

struct StopPoint {
    const char* name;
    const char* trigger;   // the status line at which the stop comes
    bool combo;            // the file carries a combo settings area
    bool erased;           // the phone was erased before the stop
    bool applicationSent;  // code group 1 was programmed before the stop
};

constexpr uint32_t kApplicationStart = 0x10010000;
constexpr uint32_t kApplicationSize = 307200;

class FlashStop : public testsupport::HostedModuleTest,
                  public ::testing::WithParamInterface<StopPoint> {};

TEST_P(FlashStop, EndsAtTheNextStepAndReportsTheFailure) {
    const StopPoint& point = GetParam();
    json manifest = testsupport::FlashableManifest();
    if (point.combo) {
        testsupport::Subfile(manifest, "cg2")["type"] = 4;
    }
    mkshx::BuiltSuperfile built = testsupport::WriteShx(manifest, scratch.File("fw.shx"));
    auto phone = testsupport::AttachExamplePhone("flash-hmq-vintrel");
    const std::vector<uint8_t> settings = phone->SettingsData();

    // A FlashDevice job in its slot, as the export makes it.
    auto owned = std::make_unique<StoppableJob>(testsupport::EngineConfig(
        this, scratch.File("fw.shx"), phone->DeviceId(), ReportRoute::PerDevice));
    StoppableJob& job = *owned;
    auto display = std::make_shared<StopOnStatus>(job, point.trigger);
    orxhost::SetDisplaySink(display);
    ASSERT_TRUE(ClaimJobSlot(job.DeviceNumber(), std::move(owned)));
    claimed.push_back(job.DeviceNumber());
    ASSERT_EQ(job.Start(), 1);
    job.WaitUntilEnded();

    std::vector<std::string> errors = display->Texts(Kind::Error);
    ASSERT_GE(errors.size(), 2u);
    EXPECT_EQ(errors[errors.size() - 2], "Flashing stopped before it completed.");
    EXPECT_EQ(errors.back(), "*********Flash FAILED!!!*********");
    // The stop, not the closing line, is the job's cause.
    JobOutcome outcome = job.Context().Outcome();
    EXPECT_EQ(outcome.code, ORX_RESULT_JOB_FAILED);
    EXPECT_EQ(outcome.reason, "Flashing stopped before it completed.");

    bool erased = false;
    size_t applicationPackets = 0;
    for (const WriteEvent& event : phone->WriteLog()) {
        erased = erased || event.kind == WriteEvent::Kind::Erase;
        EXPECT_NE(event.kind, WriteEvent::Kind::ReinsertBarker);
        EXPECT_NE(event.kind, WriteEvent::Kind::PowerDown);
        if (event.kind == WriteEvent::Kind::Program) {
            EXPECT_NE(event.length, 8u) << "a barker at " << std::hex << event.address;
            applicationPackets += event.address >= kApplicationStart &&
                                  event.address < kApplicationStart + kApplicationSize;
        }
    }
    EXPECT_EQ(erased, point.erased);
    EXPECT_EQ(applicationPackets > 0, point.applicationSent);
    EXPECT_EQ(phone->SettingsData(),
              point.erased ? std::vector<uint8_t>(settings.size(), 0xFF) : settings);
    if (point.combo) {  // the upgrade finished: the new area and the phone's data
        EXPECT_EQ(phone->ReadFlash(0x10200000, built.images.at(4).size()), built.images.at(4));
    }
}

INSTANTIATE_TEST_SUITE_P(
    EveryStep, FlashStop,
    ::testing::Values(StopPoint{"WhilePreparing", "Creating Image File.", false, false, false},
                      StopPoint{"InTheSettingsUpgrade", "Flashing Code Group 2", true, false,
                                false},
                      StopPoint{"AtTheApplication", "Flashing Code Group 1", false, true, false},
                      StopPoint{"BeforeChecksums", "Code Group 4 flashed.", false, true, true}),
    [](const ::testing::TestParamInfo<StopPoint>& info) { return std::string(info.param.name); });

}  // namespace
