// The engine's reports: the phone tag, the three routes of the job's context,
// boxes only with a dialog, one error-log entry per error, and the job's first
// error kept as its outcome's cause.
#include <gtest/gtest.h>

#include "ModuleFakes.h"
#include "ORX_FP_FlashThread.h"

namespace {

using Kind = orxhost::DisplayEvent::Kind;
using Box = CFlashThread::Box;
using Failures = CFlashThread::Failures;

// An engine's configuration on the given route, serving the given phone.
CFlashThread::Config On(ReportRoute route, uint16_t deviceNumber, IFlashView* dialog = nullptr) {
    CFlashThread::Config config;
    config.dialog = dialog;
    config.context = JobContext(route, deviceNumber);
    return config;
}

int LogEntries(const std::string& log) {
    int entries = 0;
    for (size_t at = log.find("\r\nLine: "); at != std::string::npos;
         at = log.find("\r\nLine: ", at + 1)) {
        ++entries;
    }
    return entries;
}

class EngineReports : public testsupport::HostedModuleTest {
  protected:
    testsupport::RecordingConsole console;  // before the engines, whose contexts take it
    testsupport::RecordingView view;
};

TEST_F(EngineReports, DialogRouteTagsEveryLineAndBoxesTheUntaggedError) {
    CFlashThread withDialog(On(ReportRoute::Dialog, 7, &view));
    InstallMainEngine();
    withDialog.ShowStatus("Erase Complete.");
    withDialog.ShowError("Reboot SU FAILED!!!", Box::Show);
    withDialog.ShowError("Error : Incompatible file", Box::None);
    EXPECT_EQ(sink->Texts(Kind::Status), std::vector<std::string>{"Phone[0007]: Erase Complete."});
    EXPECT_EQ(sink->Texts(Kind::Error),
              (std::vector<std::string>{"Phone[0007]: Reboot SU FAILED!!!",
                                        "Phone[0007]: Error : Incompatible file"}));
    ASSERT_EQ(boxes.Texts(), std::vector<std::string>{"Reboot SU FAILED!!!"});
    EXPECT_TRUE(boxes.Boxes()[0].systemModal);
    EXPECT_EQ(boxes.Boxes()[0].icon, platform::BoxIcon::Stop);
    std::string log = Log1();
    EXPECT_NE(log.find("ERROR: Phone[0007]: Reboot SU FAILED!!!\r\nFile: ORX_FP_FlashThread\r\n"),
              std::string::npos);
    EXPECT_EQ(LogEntries(log), 2);
}

TEST_F(EngineReports, BoxIsShownOnlyWithADialog) {
    CFlashThread engine(On(ReportRoute::Dialog, 7));
    InstallMainEngine();
    engine.ShowError("Flash Device API pointer is a NULL Pointer", Box::Show);
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_EQ(sink->Texts(Kind::Error).size(), 1u);
}

TEST_F(EngineReports, PerDeviceRouteSendsTaggedStatusAndUntaggedError) {
    CFlashThread engine(On(ReportRoute::PerDevice, 1005));
    InstallJob(133);
    engine.ShowStatus("Erasing flash memory.");
    engine.ShowError("Error Erasing Subscriber Unit.", Box::Show);
    std::vector<orxhost::DisplayEvent> status = sink->Events(Kind::Status);
    ASSERT_EQ(status.size(), 1u);
    EXPECT_TRUE(status[0].perDevice);
    EXPECT_EQ(status[0].deviceId, 1005);
    EXPECT_EQ(status[0].text, "Phone[1005]: Erasing flash memory.");
    EXPECT_EQ(sink->Texts(Kind::Error), std::vector<std::string>{"Error Erasing Subscriber Unit."});
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_TRUE(console.Lines().empty());
    EXPECT_NE(Log1().find("ERROR: Phone[1005]: Error Erasing Subscriber Unit."), std::string::npos);
}

TEST_F(EngineReports, ConsoleRoutePrintsTaggedLines) {
    CFlashThread engine(On(ReportRoute::Console, 0));
    engine.ShowStatus("Creating Image File.");
    engine.ShowError("Error Processing Flash File", Box::None);
    EXPECT_EQ(console.Lines(),
              (std::vector<std::string>{"Phone[0000]: Creating Image File.",
                                        "Phone[0000]: Error Processing Flash File"}));
    EXPECT_TRUE(sink->Events().empty());
    EXPECT_EQ(LogEntries(Log1()), 1);
}

// A job keeps the route of its context whatever export starts after it.
TEST_F(EngineReports, JobKeepsItsRouteWhenAnotherExportChangesTheAutomationRoute) {
    InstallJob(4);
    for (ReportRoute route : {ReportRoute::PerDevice, ReportRoute::Console}) {
        const bool perDevice = route == ReportRoute::PerDevice;
        SCOPED_TRACE(perDevice);
        sink->Clear();
        CFlashThread engine(On(route, 4));
        SetAutomationRoute(perDevice ? ReportRoute::Console : ReportRoute::PerDevice);
        size_t printed = console.Lines().size();
        engine.ShowStatus("Erase Complete.");
        engine.ShowError("Reboot SU FAILED!!!", Box::None);
        EXPECT_EQ(sink->Events().size(), perDevice ? 2u : 0u);
        EXPECT_EQ(console.Lines().size() - printed, perDevice ? 0u : 2u);
    }
}

TEST_F(EngineReports, DeviceErrorCarriesCodeAndAddressAndIsTheJobsCause) {
    CFlashThread engine(On(ReportRoute::Console, 7));
    engine.ReportDeviceError("Error Erasing Subscriber Unit.", 0xE0020085, 0);
    engine.ReportDeviceError("Error Flashing Subscriber Unit.", 0xE0020020, 0x10002000);
    engine.ShowError("*********Flash FAILED!!!*********", Box::None);
    EXPECT_EQ(console.Output(),
              "Phone[0007]: Error Erasing Subscriber Unit. Error 0xE0020085 \n"
              "Phone[0007]: Error Flashing Subscriber Unit. Error 0xE0020020  \n"
              "while sending address 0x10002000.\n"
              "Phone[0007]: *********Flash FAILED!!!*********\n");
    JobOutcome outcome = engine.Context().Outcome();
    EXPECT_EQ(outcome.errorCode, 0xE0020085u);
    EXPECT_EQ(outcome.reason, "Error Erasing Subscriber Unit. Error 0xE0020085 ");
}

TEST_F(EngineReports, MissingDeviceLibraryIsReportedUnlessQuiet) {
    CFlashThread engine(On(ReportRoute::Console, 7));
    engine.DropDeviceApi();
    EXPECT_EQ(engine.ReadSUInfo(Failures::Quiet), 0);
    engine.InitDeviceApi(Failures::Quiet);
    EXPECT_EQ(console.Output(), "");
    EXPECT_EQ(Log1(), "");
    EXPECT_EQ(engine.ReadSUInfo(Failures::Report), 0);
    EXPECT_EQ(engine.PowerDown(), 0);
    EXPECT_EQ(console.Output(),
              "Phone[0007]: Flash Device API pointer is a NULL Pointer\n"
              "Phone[0007]: Flash Device API pointer is a NULL Pointer\n");
}

}  // namespace
