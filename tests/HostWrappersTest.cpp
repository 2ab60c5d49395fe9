// The host wrappers: which worker handle a display reaches the host with, what
// a failing host call shows, displays and logs in each mode (and that the
// failure reports never recurse), device lists, link services and the console
// route.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "ErrorLog.h"
#include "ModuleFakes.h"
#include "ORX_FP_FlashHost.h"
#include "ORX_FP_FlashState.h"
#include "OrxHost.h"
#include "WorkerThread.h"

namespace {

using orxhost::DisplayEvent;
using testsupport::ModuleTest;
using Kind = orxhost::DisplayEvent::Kind;

const std::string kStatusFailed = "Error in displaying ORX status message.";
const std::string kErrorFailed = "Error in displaying ORX error message.";
const std::string kProgressFailed = "Error in displaying ORX progress.";
const std::string kNoDevice =
    "No Subscriber Unit connected.  Please check the connection or connect a subscriber unit.";

std::vector<std::string> SplitCrLf(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end = text.find("\r\n"); end != std::string::npos; end = text.find("\r\n", start)) {
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    lines.push_back(text.substr(start));
    return lines;
}

// A fresh host with a recording display, a fresh log object, and the engines
// a test installs stopped and removed again at its end.
class HostWrapperFixture : public testsupport::HostedModuleTest {
  protected:
    HostWrapperFixture() {
        std::lock_guard guard(errorLogLock);
        errorLog = CErrorLog();
    }

    // Boxes shown, all checked to be system-modal stop boxes with OK.
    std::vector<std::string> StopBoxes() const {
        std::vector<std::string> texts;
        for (const platform::BoxRequest& box : boxes.Boxes()) {
            EXPECT_EQ(box.icon, platform::BoxIcon::Stop) << box.text;
            EXPECT_EQ(box.buttons, platform::BoxButtons::Ok) << box.text;
            EXPECT_TRUE(box.systemModal) << box.text;
            texts.push_back(box.text);
        }
        return texts;
    }

    // The "ERROR: " and "File: " lines of every logged entry, in order.
    std::vector<std::pair<std::string, std::string>> LoggedErrors() const {
        std::vector<std::pair<std::string, std::string>> errors;
        std::vector<std::string> lines = SplitCrLf(Log1());
        for (size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].rfind("ERROR: ", 0) == 0) {
                std::string file = i + 1 < lines.size() && lines[i + 1].rfind("File: ", 0) == 0
                                       ? lines[i + 1]
                                       : "";
                errors.emplace_back(lines[i].substr(7), file);
            }
        }
        return errors;
    }
    static std::pair<std::string, std::string> FromModule(const std::string& message) {
        return {message, "File: ORX_FP_Flash"};
    }
    int LogEntries() const {
        int entries = 0;
        for (const std::string& line : SplitCrLf(Log1())) {
            entries += line.rfind("Line: ", 0) == 0 ? 1 : 0;
        }
        return entries;
    }
};

TEST(DeviceSlotTest, SerialNumbersMapToHighSlotsOthersToThemselves) {
    EXPECT_EQ(DeviceSlot(1000), 128u);
    EXPECT_EQ(DeviceSlot(1005), 133u);
    EXPECT_EQ(DeviceSlot(1031), 159u);
    EXPECT_EQ(DeviceSlot(999), 999u);
    EXPECT_EQ(DeviceSlot(1032), 1032u);
    EXPECT_EQ(DeviceSlot(150), 150u);
    EXPECT_EQ(DeviceSlot(0), 0u);
}

TEST(DeviceSlotTest, OnlyLow16BitsOfDeviceNumberCount) {
    EXPECT_EQ(DeviceSlot(0x10000 + 1000), 128u);
    EXPECT_EQ(DeviceSlot(0x30000 + 1031), 159u);
    EXPECT_EQ(DeviceSlot(0x10000 + 150), 150u);
}

// Which worker handle a display reaches the host with, and when nothing is shown.
class HostDisplayRoutingTest : public HostWrapperFixture {};

TEST_F(HostDisplayRoutingTest, PlainFormsUseDialogEngineWorker) {
    ORXThreadHandle main = InstallMainEngine();
    InstallJob(0);

    EXPECT_EQ(HostDisplayStatus("Erasing"), 0);
    EXPECT_EQ(HostDisplayError("Erase failed"), 0);
    EXPECT_EQ(HostDisplayProgress("40"), 0);

    std::vector<DisplayEvent> events = sink->Events();
    ASSERT_EQ(events.size(), 3u);
    for (const DisplayEvent& event : events) {
        EXPECT_EQ(event.thread, main);
        EXPECT_FALSE(event.perDevice);
    }
    EXPECT_EQ(events[0].kind, Kind::Status);
    EXPECT_EQ(events[0].text, "Erasing");
    EXPECT_EQ(events[1].kind, Kind::Error);
    EXPECT_EQ(events[1].text, "Erase failed");
    EXPECT_EQ(events[2].kind, Kind::Progress);
    EXPECT_EQ(events[2].progress, 40);
}

TEST_F(HostDisplayRoutingTest, PlainFormsWithoutDialogEngineCallNothing) {
    headlessMode.store(0);
    InstallJob(0);

    EXPECT_EQ(HostDisplayStatus("Erasing"), 0);
    EXPECT_EQ(HostDisplayError("Erase failed"), 0);
    EXPECT_EQ(HostDisplayProgress("40"), 0);

    EXPECT_EQ(orxhost::CallCount("ORXDisplayStatus"), 0);
    EXPECT_EQ(orxhost::CallCount("ORXDisplayError"), 0);
    EXPECT_EQ(orxhost::CallCount("ORXDisplayProgress"), 0);
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(HostDisplayRoutingTest, PlainFormsWithEngineWithoutWorkerCallNothing) {
    headlessMode.store(0);
    InstallMainEngine(false);
    orxhost::InjectFailure("ORXDisplayStatus", 5);

    EXPECT_EQ(HostDisplayStatus("Erasing"), 0);

    EXPECT_EQ(orxhost::CallCount("ORXDisplayStatus"), 0);
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_EQ(Log1(), "");
}

TEST_F(HostDisplayRoutingTest, Device1005ReachesJobInSlot133) {
    InstallMainEngine();
    InstallJob(132);
    ORXThreadHandle job = InstallJob(133);
    InstallJob(134);

    EXPECT_EQ(HostDisplayStatusEx(1005, "Programming"), 0);
    EXPECT_EQ(HostDisplayErrorEx(1005, "Lost"), 0);
    EXPECT_EQ(HostDisplayProgressEx(1005, "12"), 0);

    std::vector<DisplayEvent> events = sink->Events();
    ASSERT_EQ(events.size(), 3u);
    for (const DisplayEvent& event : events) {
        EXPECT_EQ(event.thread, job);
        EXPECT_TRUE(event.perDevice);
        EXPECT_EQ(event.deviceId, 1005);
    }
    EXPECT_EQ(events[0].text, "Programming");
    EXPECT_EQ(events[1].text, "Lost");
    EXPECT_EQ(events[2].progress, 12);
}

TEST_F(HostDisplayRoutingTest, Device150ReachesSlot150AndDevice1031Slot159) {
    ORXThreadHandle job150 = InstallJob(150);
    ORXThreadHandle job159 = InstallJob(159);

    HostDisplayStatusEx(150, "usb");
    HostDisplayStatusEx(1031, "serial");

    std::vector<DisplayEvent> events = sink->Events(Kind::Status);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].thread, job150);
    EXPECT_EQ(events[0].deviceId, 150);
    EXPECT_EQ(events[1].thread, job159);
    EXPECT_EQ(events[1].deviceId, 1031);
}

TEST_F(HostDisplayRoutingTest, Device500FindsNoJobAndShowsNothing) {
    InstallMainEngine();
    InstallJob(133);
    InstallJob(159);
    orxhost::InjectFailure("ORXDisplayStatusEx", 5);

    EXPECT_EQ(HostDisplayStatusEx(500, "nobody"), 0);
    EXPECT_EQ(HostDisplayErrorEx(500, "nobody"), 0);
    EXPECT_EQ(HostDisplayProgressEx(500, "3"), 0);

    EXPECT_TRUE(sink->Events().empty());
    EXPECT_EQ(orxhost::CallCount("ORXDisplayStatusEx"), 0);
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(HostDisplayRoutingTest, JobWithoutWorkerShowsNothing) {
    InstallJob(133, false);
    orxhost::InjectFailure("ORXDisplayStatusEx", 5);

    EXPECT_EQ(HostDisplayStatusEx(1005, "Programming"), 0);

    EXPECT_EQ(orxhost::CallCount("ORXDisplayStatusEx"), 0);
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_EQ(Log1(), "");
}

// The number a progress text hands to the host.
class HostProgressValueTest : public HostWrapperFixture {
  protected:
    HostProgressValueTest() { InstallMainEngine(); }
    int PassedFor(const std::string& text) {
        sink->Clear();
        HostDisplayProgress(text);
        std::vector<DisplayEvent> events = sink->Events(Kind::Progress);
        EXPECT_EQ(events.size(), 1u) << text;
        return events.empty() ? -1 : events[0].progress;
    }
};

TEST_F(HostProgressValueTest, LeadingDecimalNumberIsPassed) {
    EXPECT_EQ(PassedFor("57"), 57);
    EXPECT_EQ(PassedFor("57%"), 57);
    EXPECT_EQ(PassedFor("0"), 0);
}

TEST_F(HostProgressValueTest, TextWithoutLeadingDigitPassesZero) {
    EXPECT_EQ(PassedFor("x57"), 0);
    EXPECT_EQ(PassedFor(""), 0);
    EXPECT_EQ(PassedFor("-5"), 0);
}

TEST_F(HostProgressValueTest, DeviceOperationMarkersPassUnchanged) {
    EXPECT_EQ(PassedFor("1000"), 1000);
    EXPECT_EQ(PassedFor("1100"), 1100);
}

TEST_F(HostProgressValueTest, PerDeviceFormPassesSameValue) {
    InstallJob(133);

    HostDisplayProgressEx(1005, "57");
    HostDisplayProgressEx(1005, "x57");

    std::vector<DisplayEvent> events = sink->Events(Kind::Progress);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].progress, 57);
    EXPECT_EQ(events[0].deviceId, 1005);
    EXPECT_EQ(events[1].progress, 0);
}

// What a failing display shows, displays and logs, and that it never recurses.
class HostDisplayFailureTest : public HostWrapperFixture {};

TEST_F(HostDisplayFailureTest, FailingStatusWithDialogShowsBoxDisplaysErrorAndLogs) {
    headlessMode.store(0);
    ORXThreadHandle main = InstallMainEngine();
    orxhost::InjectFailure("ORXDisplayStatus", 6);

    EXPECT_EQ(HostDisplayStatus("Erasing"), 6);

    EXPECT_EQ(StopBoxes(), std::vector<std::string>{kStatusFailed});
    std::vector<DisplayEvent> errors = sink->Events(Kind::Error);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].text, kStatusFailed);
    EXPECT_EQ(errors[0].thread, main);
    EXPECT_EQ(LoggedErrors(), (std::vector{FromModule(kStatusFailed)}));
}

TEST_F(HostDisplayFailureTest, FailingStatusHeadlessOnlyLogs) {
    InstallMainEngine();
    orxhost::InjectFailure("ORXDisplayStatus", 6);

    EXPECT_EQ(HostDisplayStatus("Erasing"), 6);

    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_EQ(orxhost::CallCount("ORXDisplayError"), 0);
    EXPECT_EQ(LoggedErrors(), (std::vector{FromModule(kStatusFailed)}));
}

TEST_F(HostDisplayFailureTest, FailingStatusExShowsBoxEvenHeadlessThenDisplaysErrorEx) {
    SetAutomationRoute(ReportRoute::PerDevice);
    ORXThreadHandle job = InstallJob(133);
    orxhost::InjectFailure("ORXDisplayStatusEx", 7);

    EXPECT_EQ(HostDisplayStatusEx(1005, "Programming"), 7);

    EXPECT_EQ(StopBoxes(), std::vector<std::string>{kStatusFailed});
    std::vector<DisplayEvent> errors = sink->Events(Kind::Error);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].text, kStatusFailed);
    EXPECT_TRUE(errors[0].perDevice);
    EXPECT_EQ(errors[0].deviceId, 1005);
    EXPECT_EQ(errors[0].thread, job);
    EXPECT_EQ(LoggedErrors(), (std::vector{FromModule(kStatusFailed)}));
}

TEST_F(HostDisplayFailureTest, FailingErrorExShowsOneBoxAndIsNotRetried) {
    InstallJob(133);
    orxhost::InjectFailure("ORXDisplayErrorEx", 8, 5);

    EXPECT_EQ(HostDisplayErrorEx(1005, "Lost"), 8);

    EXPECT_EQ(StopBoxes(), std::vector<std::string>{kErrorFailed});
    EXPECT_EQ(orxhost::CallCount("ORXDisplayErrorEx"), 1);
    EXPECT_EQ(LoggedErrors(), (std::vector{FromModule(kErrorFailed)}));
}

TEST_F(HostDisplayFailureTest, FailingErrorWithDialogShowsOneBoxAndDoesNotRecurse) {
    headlessMode.store(0);
    InstallMainEngine();
    orxhost::InjectFailure("ORXDisplayError", 8, 5);

    EXPECT_EQ(HostDisplayError("Erase failed"), 8);

    EXPECT_EQ(StopBoxes(), std::vector<std::string>{kErrorFailed});
    EXPECT_EQ(orxhost::CallCount("ORXDisplayError"), 1);
    EXPECT_EQ(LoggedErrors(), (std::vector{FromModule(kErrorFailed)}));
}

TEST_F(HostDisplayFailureTest, FailingErrorHeadlessOnlyLogs) {
    InstallMainEngine();
    orxhost::InjectFailure("ORXDisplayError", 8);

    EXPECT_EQ(HostDisplayError("Erase failed"), 8);

    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_EQ(LoggedErrors(), (std::vector{FromModule(kErrorFailed)}));
}

TEST_F(HostDisplayFailureTest, FailingStatusWhoseErrorDisplayAlsoFailsShowsTwoBoxesOnly) {
    headlessMode.store(0);
    InstallMainEngine();
    orxhost::InjectFailure("ORXDisplayStatus", 6, 5);
    orxhost::InjectFailure("ORXDisplayError", 8, 5);

    EXPECT_EQ(HostDisplayStatus("Erasing"), 6);

    EXPECT_EQ(StopBoxes(), (std::vector<std::string>{kStatusFailed, kErrorFailed}));
    EXPECT_EQ(orxhost::CallCount("ORXDisplayStatus"), 1);
    EXPECT_EQ(orxhost::CallCount("ORXDisplayError"), 1);
    EXPECT_EQ(LoggedErrors(), (std::vector{FromModule(kErrorFailed), FromModule(kStatusFailed)}));
}

TEST_F(HostDisplayFailureTest, FailingStatusExWhoseErrorExAlsoFailsShowsTwoBoxesOnly) {
    SetAutomationRoute(ReportRoute::PerDevice);
    InstallJob(133);
    orxhost::InjectFailure("ORXDisplayStatusEx", 6, 5);
    orxhost::InjectFailure("ORXDisplayErrorEx", 8, 5);

    EXPECT_EQ(HostDisplayStatusEx(1005, "Programming"), 6);

    EXPECT_EQ(StopBoxes(), (std::vector<std::string>{kStatusFailed, kErrorFailed}));
    EXPECT_EQ(orxhost::CallCount("ORXDisplayStatusEx"), 1);
    EXPECT_EQ(orxhost::CallCount("ORXDisplayErrorEx"), 1);
    EXPECT_EQ(LogEntries(), 2);
}

TEST_F(HostDisplayFailureTest, FailingProgressWithDialogShowsBoxDisplaysErrorAndLogs) {
    headlessMode.store(0);
    InstallMainEngine();
    orxhost::InjectFailure("ORXDisplayProgress", 9);

    EXPECT_EQ(HostDisplayProgress("50"), 9);

    EXPECT_EQ(StopBoxes(), std::vector<std::string>{kProgressFailed});
    EXPECT_EQ(sink->Texts(Kind::Error), std::vector<std::string>{kProgressFailed});
    EXPECT_EQ(LoggedErrors(), (std::vector{FromModule(kProgressFailed)}));
}

TEST_F(HostDisplayFailureTest, FailingProgressHeadlessOnlyLogs) {
    InstallMainEngine();
    orxhost::InjectFailure("ORXDisplayProgress", 9);

    EXPECT_EQ(HostDisplayProgress("50"), 9);

    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_EQ(orxhost::CallCount("ORXDisplayError"), 0);
    EXPECT_EQ(LoggedErrors(), (std::vector{FromModule(kProgressFailed)}));
}

TEST_F(HostDisplayFailureTest, FailingProgressExShowsBoxEvenHeadlessThenDisplaysErrorEx) {
    SetAutomationRoute(ReportRoute::PerDevice);
    InstallJob(133);
    orxhost::InjectFailure("ORXDisplayProgressEx", 9);

    EXPECT_EQ(HostDisplayProgressEx(1005, "50"), 9);

    EXPECT_EQ(StopBoxes(), std::vector<std::string>{kProgressFailed});
    std::vector<DisplayEvent> errors = sink->Events(Kind::Error);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].text, kProgressFailed);
    EXPECT_EQ(errors[0].deviceId, 1005);
    EXPECT_EQ(LoggedErrors(), (std::vector{FromModule(kProgressFailed)}));
}

// The device list the host hands back.
class HostDeviceListTest : public HostWrapperFixture {
  protected:
    static constexpr uint16_t kUntouched = 0xBEEF;
};

TEST_F(HostDeviceListTest, NoPhoneGivesZeroCountLogsOnceAndLeavesIdsUntouched) {
    headlessMode.store(0);
    InstallMainEngine();
    std::vector<uint16_t> ids(4, kUntouched);
    int count = -1;

    EXPECT_EQ(HostGetDeviceList(ids.data(), kDeviceListRoom, count), 0);

    EXPECT_EQ(count, 0);
    EXPECT_EQ(ids, std::vector<uint16_t>(4, kUntouched));
    EXPECT_EQ(LogEntries(), 1);
    EXPECT_EQ(LoggedErrors(), (std::vector{FromModule(kNoDevice)}));
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_TRUE(sink->Events().empty());
}

TEST_F(HostDeviceListTest, FailingListLeavesCountAndIdsUnchangedAndReportsNothing) {
    headlessMode.store(0);
    InstallMainEngine();
    orxhost::AddDevice({1005, true});
    orxhost::InjectFailure("ORXGetSelectedDeviceList", 9);
    std::vector<uint16_t> ids(4, kUntouched);
    int count = 5;

    EXPECT_EQ(HostGetDeviceList(ids.data(), kDeviceListRoom, count), 9);

    EXPECT_EQ(count, 5);
    EXPECT_EQ(ids, std::vector<uint16_t>(4, kUntouched));
    EXPECT_EQ(Log1(), "");
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_TRUE(sink->Events().empty());
}

TEST_F(HostDeviceListTest, ListLongerThanRoomIsCutToRoomInOrder) {
    for (uint16_t i = 0; i < 130; ++i) {
        orxhost::AddDevice({static_cast<uint16_t>(2000 + i), true});
    }
    std::vector<uint16_t> ids(130, kUntouched);
    int count = -1;

    EXPECT_EQ(HostGetDeviceList(ids.data(), 128, count), 0);

    EXPECT_EQ(count, 128);
    for (uint16_t i = 0; i < 128; ++i) {
        EXPECT_EQ(ids[i], 2000 + i) << "index " << i;
    }
    EXPECT_EQ(ids[128], kUntouched);
    EXPECT_EQ(ids[129], kUntouched);
}

TEST_F(HostDeviceListTest, HeadlessListsEveryDevice) {
    orxhost::AddDevice({5, true});
    orxhost::AddDevice({1006, false});
    orxhost::AddDevice({7, true});
    std::vector<uint16_t> ids(4, kUntouched);
    int count = -1;

    EXPECT_EQ(HostGetDeviceList(ids.data(), 4, count), 0);

    EXPECT_EQ(count, 3);
    EXPECT_EQ(ids, (std::vector<uint16_t>{5, 1006, 7, kUntouched}));
    EXPECT_EQ(orxhost::CallCount("ORXGetDeviceList"), 1);
    EXPECT_EQ(orxhost::CallCount("ORXGetSelectedDeviceList"), 0);
}

TEST_F(HostDeviceListTest, DialogListsOnlySelectedDevices) {
    headlessMode.store(0);
    orxhost::AddDevice({5, true});
    orxhost::AddDevice({1006, false});
    orxhost::AddDevice({7, true});
    std::vector<uint16_t> ids(4, kUntouched);
    int count = -1;

    EXPECT_EQ(HostGetDeviceList(ids.data(), 4, count), 0);

    EXPECT_EQ(count, 2);
    EXPECT_EQ(ids, (std::vector<uint16_t>{5, 7, kUntouched, kUntouched}));
    EXPECT_EQ(orxhost::CallCount("ORXGetSelectedDeviceList"), 1);
    EXPECT_EQ(orxhost::CallCount("ORXGetDeviceList"), 0);
}

// Interfaces, string descriptors, link speed and refresh.
class HostLinkServicesTest : public HostWrapperFixture {};

TEST_F(HostLinkServicesTest, StringDescriptorTextIsReplacedEvenWhenHostFails) {
    orxhost::InjectFailure("ORXGetStringDescriptor", 4);
    std::string text = "stale descriptor";

    EXPECT_EQ(HostGetStringDescriptor(5, nullptr, 1, 0, text), 4);

    EXPECT_EQ(text, "");
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_EQ(LoggedErrors(),
              (std::vector{FromModule("Error in retrieving ORX string descriptors.")}));
}

TEST_F(HostLinkServicesTest, FailingStringDescriptorWithDialogShowsBoxAndDisplaysError) {
    headlessMode.store(0);
    InstallMainEngine();
    orxhost::InjectFailure("ORXGetStringDescriptor", 4);
    std::string text;

    EXPECT_EQ(HostGetStringDescriptor(5, nullptr, 1, 0, text), 4);

    const std::string message = "Error in retrieving ORX string descriptors.";
    EXPECT_EQ(StopBoxes(), std::vector<std::string>{message});
    EXPECT_EQ(sink->Texts(Kind::Error), std::vector<std::string>{message});
    EXPECT_EQ(LoggedErrors(), (std::vector{FromModule(message)}));
}

TEST_F(HostLinkServicesTest, FailingBaudRateHeadlessShowsNoBoxButLogs) {
    InstallMainEngine();
    orxhost::InjectFailure("ORXSetBaudRate", 3);

    EXPECT_EQ(HostSetBaudRate(115200, 1005), 3);

    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_TRUE(sink->Events().empty());
    EXPECT_EQ(LoggedErrors(), (std::vector{FromModule("Error is setting the ORX baud rate")}));
}

TEST_F(HostLinkServicesTest, FailingBaudRateWithDialogShowsBoxAndDisplaysError) {
    headlessMode.store(0);
    InstallMainEngine();
    orxhost::InjectFailure("ORXSetBaudRate", 3);

    EXPECT_EQ(HostSetBaudRate(115200, 1005), 3);

    const std::string message = "Error is setting the ORX baud rate";
    EXPECT_EQ(StopBoxes(), std::vector<std::string>{message});
    EXPECT_EQ(sink->Texts(Kind::Error), std::vector<std::string>{message});
    EXPECT_EQ(LoggedErrors(), (std::vector{FromModule(message)}));
}

TEST_F(HostLinkServicesTest, FailingRefreshWithDialogShowsBoxAndDisplaysError) {
    headlessMode.store(0);
    InstallMainEngine();
    orxhost::InjectFailure("ORXRefreshConnections", 2);

    EXPECT_EQ(HostRefreshConnections(), 2);

    const std::string message = "Error in Refreshing Device List.";
    EXPECT_EQ(StopBoxes(), std::vector<std::string>{message});
    EXPECT_EQ(sink->Texts(Kind::Error), std::vector<std::string>{message});
    EXPECT_EQ(LoggedErrors(), (std::vector{FromModule(message)}));
}

TEST_F(HostLinkServicesTest, SucceedingRefreshReportsNothing) {
    headlessMode.store(0);
    InstallMainEngine();

    EXPECT_EQ(HostRefreshConnections(), 0);

    EXPECT_EQ(orxhost::CallCount("ORXRefreshConnections"), 1);
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_EQ(Log1(), "");
}

TEST_F(HostLinkServicesTest, MissingInterfaceIsPassedBackWithoutReport) {
    headlessMode.store(0);
    InstallMainEngine();
    ORXInterfaceHandle handle = &handle;

    EXPECT_EQ(HostGetInterfaceHandle(5, "MCU", handle), kOrxNoSuchInterface);

    EXPECT_EQ(orxhost::CallCount("ORXGetInterfaceHandle"), 1);
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_TRUE(sink->Events().empty());
    EXPECT_EQ(Log1(), "");
}

// Standard output for callers without any window.
class ConsoleRouteTest : public HostWrapperFixture {};

TEST_F(ConsoleRouteTest, ProgressOverwritesItsLineWithoutLineEnd) {
    testing::internal::CaptureStdout();
    ConsolePrintProgress(42);
    ConsolePrintProgress(100);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "\r42%\r100%");
}

TEST_F(ConsoleRouteTest, LineIsTextAndLineEnd) {
    testing::internal::CaptureStdout();
    ConsolePrintLine("Flashing device 1005");
    ConsolePrintLine("");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Flashing device 1005\n\n");
}

}  // namespace
