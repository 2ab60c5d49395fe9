// The dialog with a real engine on simulated phones: the interface choice of a
// J617 Tavenor phone, and a flash and a verify driven by clicking the buttons,
// with screenshots of the dialog's main states.
#include <gtest/gtest.h>

#include <QDir>
#include <QTest>
#include <filesystem>

#include "ModuleFakes.h"
#include "ORX_FP_FlashDlg.h"
#include "ORX_FP_FlashThread.h"
#include "PhoneFiles.h"
#include "ShxFiles.h"

namespace {

using Kind = orxhost::DisplayEvent::Kind;
using nlohmann::json;
using platform::BoxAnswer;

class DialogEngine : public testsupport::HostedModuleTest {
  protected:
    DialogEngine() {
        headlessMode.store(0);
        superfile = scratch.File("fw.shx");
        testsupport::WriteShx(testsupport::FlashableManifest(), superfile);
        dialog = std::make_unique<CFlashDlg>(DialogPlacement{&host, 0, 0, 760, 580});
        boxes.emplace();
        dialog->SetFilePicker([this](QWidget*, const std::string&) { return superfile; });
        host.resize(760, 580);
        host.show();
    }
    ~DialogEngine() override {
        // As the host closes: release the worker, stop it, then the dialog.
        dialog->ReleaseWorker();
        if (std::unique_ptr<CWorkerThread> engine = TakeMainFlashThread()) {
            engine->Stop();
        }
        dialog->Destroy();
    }

    void StartEngine() {
        auto made = std::make_unique<CFlashThread>(static_cast<IFlashView*>(dialog.get()));
        engine = made.get();
        dialog->Attach(engine, this);
        SetMainFlashThread(std::move(made));
        ASSERT_EQ(engine->Start(), 1);
    }
    std::string Text(int id) { return dialog->GetControlText(id); }
    void Click(int id) { QTest::mouseClick(dialog->Control(id), Qt::LeftButton); }
    bool Shown(Kind kind, const std::string& text) const {
        for (const std::string& line : sink->Texts(kind)) {
            if (line.find(text) != std::string::npos) {
                return true;
            }
        }
        return false;
    }
    bool Asked(const std::string& text) const {
        std::vector<std::string> texts = boxes->Texts();
        return std::find(texts.begin(), texts.end(), text) != texts.end();
    }
    // Powers the phone on, has the host list it again, and waits for a poll
    // of the engine that began afterwards.
    static void PowerOnAndWaitForAPoll(phonesim::Phone& phone) {
        phone.PowerOn();
        ORXRefreshConnections();
        int polls = orxhost::CallCount("ORXGetSelectedDeviceList");
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return orxhost::CallCount("ORXGetSelectedDeviceList") > polls + 1; }));
    }
    // A command has ended when the engine gave Browse back.
    bool CommandEnded() {
        return dialog->Control(ctl::kBrowse)->isEnabled() && !dialog->Flashing();
    }
    void Screenshot(const char* state) {
        QDir().mkpath(ORX_SCREENSHOT_DIR);
        EXPECT_TRUE(dialog->grab().save(QString(ORX_SCREENSHOT_DIR "/dialog-%1.png").arg(state)));
    }

    std::string superfile;
    QWidget host;
    std::unique_ptr<CFlashDlg> dialog;
    std::optional<testsupport::ScriptedBoxes> boxes;
    CFlashThread* engine = nullptr;
};

TEST_F(DialogEngine, TavenorFsRadioChoosesTheInterfaceTheEngineOpens) {
    // The phone offers its operating-system interface only, so the engine's
    // attempt on the file-system interface is seen in its report.
    testsupport::AttachExamplePhone("j617-tavenor-os", [](json& profile) {
        profile["modes"]["os"]["interfaces"] = json::array({"Kestrova_Tavenor_OS"});
        profile["modes"]["os"]["flashing"] = json::array({"Kestrova_Tavenor_OS"});
    });
    dialog->CreateAndShow();
    StartEngine();
    // The engine shows the choice when it meets the phone, the group last.
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return dialog->Control(ctl::kInterfaceGroup)->isVisible(); }));
    EXPECT_TRUE(dialog->Control(ctl::kTavenorFs)->isVisible());
    Click(ctl::kTavenorFs);
    boxes->Answer(BoxAnswer::Yes);
    Click(ctl::kFlash);
    const std::string missing = "The \"Kestrova_Tavenor_Filesystem\" Interface could not be found.";
    ASSERT_TRUE(QTest::qWaitFor([&] { return Shown(Kind::Error, missing); }));
    EXPECT_TRUE(QTest::qWaitFor([&] { return CommandEnded(); }));
    EXPECT_NE(
        std::find_if(boxes->Texts().begin(), boxes->Texts().end(),
                     [&](const std::string& t) { return t.find(missing) != std::string::npos; }),
        boxes->Texts().end());
}

TEST_F(DialogEngine, FlashAndVerifyByClickingTheButtons) {
    dialog->CreateAndShow();
    Screenshot("empty");

    Click(ctl::kBrowse);
    ASSERT_TRUE(dialog->HeaderRead());
    EXPECT_NE(Text(ctl::kFilePlatform), "");
    EXPECT_NE(Text(ctl::kFileSize), "");
    EXPECT_NE(Text(ctl::kFileDate), "");
    EXPECT_NE(Text(ctl::kFileMiscList), "");
    Screenshot("file-read");

    auto phone = testsupport::AttachExamplePhone("flash-hmq-vintrel");
    StartEngine();
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return dialog->Control(ctl::kFlash)->isEnabled() && Text(ctl::kPhonePlatform) != "";
    }));
    EXPECT_NE(Text(ctl::kPhoneBootVersion), "");
    Screenshot("phone-identified");

    boxes->Answer(BoxAnswer::Yes);  // the file matches the phone
    boxes->Answer(BoxAnswer::Yes);  // code group 4 as on the phone: flash it still
    Click(ctl::kFlash);
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog->Flashing(); }));
    // Whatever a poll did around the click, no other command can start.
    EXPECT_FALSE(dialog->Control(ctl::kVerify)->isEnabled());
    EXPECT_FALSE(dialog->Control(ctl::kBrowse)->isEnabled());
    Screenshot("flashing");
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return Asked("Flash Another Phone?") && CommandEnded(); }, 60000));
    EXPECT_FALSE(Shown(Kind::Error, "FAILED")) << testing::PrintToString(sink->Texts(Kind::Error));
    EXPECT_EQ(phone->ReadFlash(0x10010000, 307200),
              testsupport::ReadBytes(shx::ImageFileName(superfile, 3)));
    Screenshot("done");

    // The phone was powered down; it comes back for the verify.
    PowerOnAndWaitForAPoll(*phone);
    Click(ctl::kVerify);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Shown(Kind::Status, "Verify Successful"); }, 30000))
        << testing::PrintToString(sink->Texts(Kind::Status));
    ASSERT_TRUE(QTest::qWaitFor([&] { return CommandEnded(); }));

    phonesim::FaultOrder refuse;
    refuse.command = "Program";
    refuse.code = 0xE0020024;
    phone->AddFault(refuse);
    PowerOnAndWaitForAPoll(*phone);
    boxes->Answer(BoxAnswer::Yes);
    boxes->Answer(BoxAnswer::Yes);
    Click(ctl::kFlash);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return Shown(Kind::Error, "*********Flash FAILED!!!*********") && CommandEnded(); },
        60000));
    Screenshot("failed");
}

}  // namespace
