// The engine's reports: the phone tag, the three routes, boxes only with a
// dialog, and one error-log entry per error.
#include <gtest/gtest.h>

#include "ModuleFakes.h"
#include "ORX_FP_FlashThread.h"

namespace {

using Kind = orxhost::DisplayEvent::Kind;
using Box = CFlashThread::Box;
using Failures = CFlashThread::Failures;

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
    EngineReports() : engine(nullptr) { engine.deviceId = 7; }
    CFlashThread engine;
    testsupport::RecordingView view;
};

TEST_F(EngineReports, DialogRouteTagsEveryLineAndBoxesTheUntaggedError) {
    CFlashThread withDialog(&view);
    withDialog.deviceId = 7;
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
    InstallMainEngine();
    engine.ShowError("Flash Device API pointer is a NULL Pointer", Box::Show);
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_EQ(sink->Texts(Kind::Error).size(), 1u);
}

TEST_F(EngineReports, DeviceModeSendsTaggedStatusAndUntaggedErrorPerDevice) {
    engine.noDialog = 1;
    engine.deviceId = 1005;
    engine.perDeviceRoute = 1;
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
    EXPECT_NE(Log1().find("ERROR: Phone[1005]: Error Erasing Subscriber Unit."), std::string::npos);
}

TEST_F(EngineReports, ConsoleRoutePrintsTaggedLines) {
    engine.noDialog = 1;
    engine.deviceId = 0;
    testing::internal::CaptureStdout();
    engine.ShowStatus("Creating Image File.");
    engine.ShowError("Error Processing Flash File", Box::None);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Phone[0000]: Creating Image File.\nPhone[0000]: Error Processing Flash File\n");
    EXPECT_TRUE(sink->Events().empty());
    EXPECT_EQ(LogEntries(Log1()), 1);
}

// A job keeps the route it was created with whatever export starts after it.
TEST_F(EngineReports, JobKeepsItsRouteWhenTheModulesModeChanges) {
    engine.noDialog = 1;
    engine.deviceId = 4;
    InstallJob(4);
    for (int perDevice : {1, 0}) {
        SCOPED_TRACE(perDevice);
        sink->Clear();
        engine.perDeviceRoute = perDevice;
        SetDeviceMode(1 - perDevice);
        testing::internal::CaptureStdout();
        engine.ShowStatus("Erase Complete.");
        engine.ShowError("Reboot SU FAILED!!!", Box::None);
        std::string console = testing::internal::GetCapturedStdout();
        EXPECT_EQ(sink->Events().size(), perDevice == 1 ? 2u : 0u);
        EXPECT_EQ(console.empty(), perDevice == 1) << console;
    }
}

TEST_F(EngineReports, DeviceErrorCarriesCodeAndAddressWhenKnown) {
    engine.noDialog = 1;
    testing::internal::CaptureStdout();
    engine.ReportDeviceError("Error Erasing Subscriber Unit.", 0xE0020085, 0);
    engine.ReportDeviceError("Error Flashing Subscriber Unit.", 0xE0020020, 0x10002000);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Phone[0007]: Error Erasing Subscriber Unit. Error 0xE0020085 \n"
              "Phone[0007]: Error Flashing Subscriber Unit. Error 0xE0020020  \n"
              "while sending address 0x10002000.\n");
}

TEST_F(EngineReports, MissingDeviceLibraryIsReportedUnlessQuiet) {
    engine.noDialog = 1;
    engine.DropDeviceApi();
    testing::internal::CaptureStdout();
    EXPECT_EQ(engine.ReadSUInfo(Failures::Quiet), 0);
    engine.InitDeviceApi(Failures::Quiet);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(Log1(), "");
    testing::internal::CaptureStdout();
    EXPECT_EQ(engine.ReadSUInfo(Failures::Report), 0);
    EXPECT_EQ(engine.PowerDown(), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Phone[0007]: Flash Device API pointer is a NULL Pointer\n"
              "Phone[0007]: Flash Device API pointer is a NULL Pointer\n");
}

}  // namespace
