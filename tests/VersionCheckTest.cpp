// Comparing file and phone before a flash or on Verify: hard requirements,
// version lines, questions in interactive flashing and their report-only twins.
#include <gtest/gtest.h>

#include "EngineConfig.h"
#include "ModuleFakes.h"
#include "ORX_FP_FlashThread.h"
#include "OrxHost.h"
#include "PhoneFiles.h"
#include "ShxFiles.h"

namespace {

using nlohmann::json;
using Kind = orxhost::DisplayEvent::Kind;
using Ask = CFlashThread::Ask;

// The phone carries code groups 0, 1, 2 and 4 at versions 0x200, 0x350, 0x10
// and 0x104; the sample file brings 0x210, 0x357, 0x12 and 0x104.
class VersionCheck : public testsupport::HostedModuleTest {
  protected:
    // Reads the file, connects the phone and compares; with a dialog the
    // engine reports to the host and asks through boxes.
    int Check(json manifest, bool withDialog, Ask ask) {
        testsupport::WriteShx(manifest, scratch.File("fw.shx"));
        phone = testsupport::AttachExamplePhone("flash-hmq-vintrel");
        CFlashThread::Config config = testsupport::EngineConfig(
            this, {}, 0, withDialog ? ReportRoute::Dialog : ReportRoute::Console);
        config.dialog = withDialog ? &view : nullptr;
        engine = std::make_unique<CFlashThread>(std::move(config));
        if (withDialog) {
            InstallMainEngine();
        }
        CFlashFileIO reader(nullptr, scratch.File("fw.shx"));
        testing::internal::CaptureStdout();
        int result =
            reader.ReadSuperfile(FailureBoxes::Quiet) == 1 && engine->OpenDeviceInterface(phone->DeviceId()) == 1
                ? (engine->InitDeviceApi(CFlashThread::Failures::Report),
                   engine->VerifySUInfo(reader, ask))
                : -1;
        output = testing::internal::GetCapturedStdout();
        return result;
    }
    bool Printed(const std::string& text) const { return output.find(text) != std::string::npos; }
    bool Shown(const std::string& text) const {
        for (const std::string& status : sink->Texts(Kind::Status)) {
            if (status == "Phone[0004]: " + text) {
                return true;
            }
        }
        return false;
    }

    testsupport::RecordingView view;
    std::unique_ptr<CFlashThread> engine;
    std::shared_ptr<phonesim::Phone> phone;
    std::string output;
};

const std::string kSameCg4 =
    "File version v 0x104 for Code Group 4 is the same as Subscriber Unit version v 0x104";
const std::string kAsk = "\r\nDo you still want to flash this file?";

TEST_F(VersionCheck, SameVersionAsksAndNoStopsTheFlash) {
    boxes.Answer(platform::BoxAnswer::No);
    EXPECT_EQ(Check(testsupport::FlashableManifest(), true, Ask::User), 0);
    ASSERT_EQ(boxes.Texts(), std::vector<std::string>{kSameCg4 + kAsk});
    EXPECT_EQ(boxes.Boxes()[0].buttons, platform::BoxButtons::YesNo);
    EXPECT_EQ(boxes.Boxes()[0].icon, platform::BoxIcon::Question);
    EXPECT_TRUE(boxes.Boxes()[0].systemModal);
    EXPECT_TRUE(Shown(kSameCg4 + kAsk));
    EXPECT_NE(Log1().find("ERROR: " + kSameCg4 + kAsk), std::string::npos);
}

TEST_F(VersionCheck, YesGoesOnNewerVersionsNeverAsk) {
    boxes.Answer(platform::BoxAnswer::Yes);
    EXPECT_EQ(Check(testsupport::FlashableManifest(), true, Ask::User), 1);
    EXPECT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_TRUE(Shown(
        "File version v 0x210 for Code Group 0 is newer than Subscriber Unit version v 0x200."));
    EXPECT_TRUE(Shown(
        "File version v 0x357 for Code Group 1 is newer than Subscriber Unit version v 0x350."));
    EXPECT_EQ(view.lists[ctl::kPhoneMiscList],
              (std::vector<std::string>{"Code Group 0 v0x000200", "Code Group 1 v0x000350",
                                        "Code Group 4 v0x000104"}));
    EXPECT_EQ(view.selected[ctl::kPhoneMiscList], 0);
    EXPECT_EQ(engine->Phone().codeVersionText, " v0x000350");
    EXPECT_EQ(engine->Phone().platformName, "GSM k.380");
}

TEST_F(VersionCheck, OlderVersionWithoutDialogIsOnlyReported) {
    json manifest = testsupport::FlashableManifest();
    testsupport::Subfile(manifest, "cg0")["version"] = "0x0100";
    EXPECT_EQ(Check(manifest, false, Ask::Never), 1);
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_TRUE(
        Printed("Phone[0004]: File version v 0x100 for Code Group 0 is older than Subscriber "
                "Unit version v 0x200.\n"))
        << output;
    EXPECT_TRUE(Printed("Phone[0004]: " + kSameCg4 + "\n"));
}

TEST_F(VersionCheck, ChipsetOrDataTypeMismatchStopsEveryMode) {
    json otherChipset = testsupport::FlashableManifest(2, 1);
    EXPECT_EQ(Check(otherChipset, true, Ask::User), 0);
    EXPECT_EQ(boxes.Texts(),
              std::vector<std::string>{
                  "Error verifying Subscriber Unit Info: Chipset type does not match."});

    json wrongDataType = testsupport::FlashableManifest();
    testsupport::Subfile(wrongDataType, "cg1")["carried"] = "070000";
    orxhost::Reset();
    EXPECT_EQ(Check(wrongDataType, false, Ask::Never), 0);
    EXPECT_TRUE(
        Printed("Error verifying Subscriber Unit Info: Code Group 1 Data Type does not match."));
}

TEST_F(VersionCheck, LanguagePackageMismatchStopsFlashingButNotVerify) {
    json manifest = testsupport::FlashableManifest();
    for (const char* slot : {"cg0", "cg1", "cg2"}) {
        testsupport::RemoveSubfile(manifest, slot);
    }
    testsupport::Subfile(manifest, "cg4")["version"] = "0x0105";
    const std::string text =
        "ERROR: Language package version 0x105 does not match Subscriber Unit version 0x104.\r\n";
    EXPECT_EQ(Check(manifest, true, Ask::User), 0);
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{text});
    orxhost::Reset();
    EXPECT_EQ(Check(manifest, false, Ask::Never), 1);
    EXPECT_TRUE(Printed(text));
}

TEST_F(VersionCheck, EmptyFileComparesNothing) {
    EXPECT_EQ(Check(json::parse(R"({"subfiles": []})"), false, Ask::Never), 1);
    EXPECT_EQ(output, "");
}

}  // namespace
