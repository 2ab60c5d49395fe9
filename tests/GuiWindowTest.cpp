// The host window (orxflash-gui): its phones follow the host's device list and
// the Phones menu, display calls from other threads land in the right row and
// the log, quitting closes the module, and --screenshot writes a PNG.
#include <gtest/gtest.h>

#include <QAction>
#include <QImage>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProcess>
#include <QStatusBar>
#include <QTest>
#include <filesystem>
#include <thread>

#include "FlashModule.h"
#include "MainWindow.h"
#include "OrxHost.h"
#include "PhoneFiles.h"
#include "PhoneTable.h"
#include "Screenshot.h"

namespace {

// The module's entry points the window calls, answering as told.
int closeAnswer = 0;
int closeCalls = 0;
int FakeInit(void*) {
    return 0;
}
int FakeOpen(int, void*, int, int, int, int, void**) {
    return 15;  // as the module answers while it has no dialog
}
int FakeClose() {
    ++closeCalls;
    return closeAnswer;
}

void SaveShot(MainWindow& window, const char* name) {
    std::filesystem::create_directories(ORX_SCREENSHOT_DIR);
    SaveWindow(window, QString::fromUtf8(ORX_SCREENSHOT_DIR "/") + name);
}

class GuiWindowTest : public testing::Test {
  protected:
    GuiWindowTest() {
        orxhost::Reset();
        closeAnswer = 0;
        closeCalls = 0;
        module.utcInit = &FakeInit;
        module.utcOpen = &FakeOpen;
        module.utcClose = &FakeClose;
    }
    ~GuiWindowTest() override { orxhost::Reset(); }

    bool LogHas(const MainWindow& window, const QString& text) {
        return window.Log()->toPlainText().contains(text);
    }

    FlashModule module;
};

TEST_F(GuiWindowTest, ListsPhonesAndFollowsPlugAndUnplugFromTheMenu) {
    orxhost::AttachPhone(testsupport::PhoneProfile("flash-hmq-vintrel"));
    MainWindow window(module);
    window.show();
    window.OpenModule();
    EXPECT_EQ(window.Phones()->DeviceIds(), QList<uint16_t>{4});
    SaveShot(window, "host-window-empty.png");

    window.SetProfileChooser(
        [] { return QString::fromStdString(testsupport::PhoneProfile("kestrova-t340e")); });
    window.findChild<QAction*>(QStringLiteral("plugPhone"))->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.Phones()->RowOf(7) >= 0; }));
    EXPECT_NE(orxhost::FindPhone(7), nullptr);

    auto* unplug = window.findChild<QMenu*>(QStringLiteral("unplugPhone"));
    emit unplug->aboutToShow();
    QAction* phone4 = nullptr;
    for (QAction* action : unplug->actions()) {
        if (action->data().toUInt() == 4) {
            phone4 = action;
        }
    }
    ASSERT_NE(phone4, nullptr);
    phone4->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.Phones()->RowOf(4) < 0; }));
    EXPECT_EQ(orxhost::FindPhone(4), nullptr);
    EXPECT_EQ(window.Phones()->DeviceIds(), QList<uint16_t>{7});
    EXPECT_TRUE(LogHas(window, "Phone[0004]: unplugged"));
}

// Per-device calls name their phone; the dialog's plain calls name it by a tag
// or go to the status bar; 1000 and 1100 mark a long operation, never a percentage.
TEST_F(GuiWindowTest, DisplayCallsFromAnotherThreadLandInTheirRowAndTheLog) {
    MainWindow window(module);
    window.show();
    void* worker = &window;  // any handle stands for the dialog worker's
    std::thread caller([worker] {
        ORXDisplayStatusEx(4, nullptr, "Erasing");
        ORXDisplayProgressEx(4, nullptr, 40);
        ORXDisplayProgressEx(4, nullptr, 1000);
        ORXDisplayProgressEx(4, nullptr, 1100);
        ORXDisplayErrorEx(4, nullptr, "Phone[0004]: ***Error*** link cut");
        ORXDisplayStatus(worker, "Phone[0007]: Reading the phone");
        ORXDisplayProgress(worker, 1000);
        ORXDisplayError(worker, "No superfile");
    });
    caller.join();
    ASSERT_TRUE(QTest::qWaitFor([&] { return LogHas(window, "No superfile"); }));

    PhoneTable* phones = window.Phones();
    EXPECT_EQ(phones->LineOf(4), "***Error*** link cut");
    EXPECT_EQ(phones->PercentOf(4), 40);
    EXPECT_FALSE(phones->BusyOf(4));
    EXPECT_EQ(phones->LineOf(7), "Reading the phone");
    EXPECT_TRUE(phones->BusyOf(7));
    EXPECT_TRUE(LogHas(window, "Phone[0004]: Erasing"));
    EXPECT_TRUE(LogHas(window, "error: Phone[0004]: ***Error*** link cut"));
    EXPECT_TRUE(LogHas(window, "Phone[0007]: Reading the phone"));
    EXPECT_EQ(window.statusBar()->currentMessage(), "error: No superfile");
    SaveShot(window, "host-window-display-lines.png");
}

struct CloseCase {
    const char* name;
    int answer;
    bool closes;
};

void PrintTo(const CloseCase& param, std::ostream* out) {
    *out << param.name;
}

class GuiCloseTest : public GuiWindowTest, public testing::WithParamInterface<CloseCase> {};

TEST_P(GuiCloseTest, QuittingClosesTheModuleUnlessAFlashRuns) {
    closeAnswer = GetParam().answer;
    MainWindow window(module);
    window.show();
    window.OpenModule();
    EXPECT_EQ(window.close(), GetParam().closes);
    EXPECT_EQ(closeCalls, 1);
    EXPECT_EQ(window.isVisible(), !GetParam().closes);
    EXPECT_EQ(LogHas(window, "UTCClose answered 16"), !GetParam().closes);
    closeAnswer = 0;
}

INSTANTIATE_TEST_SUITE_P(Answers, GuiCloseTest,
                         testing::Values(CloseCase{"Closed", 0, true},
                                         CloseCase{"FlashRuns", 16, false}),
                         [](const auto& info) { return std::string(info.param.name); });

struct ShotCase {
    const char* name;
    const char* file;
    int status;
};

void PrintTo(const ShotCase& param, std::ostream* out) {
    *out << param.name;
}

class GuiScreenshotTest : public testing::TestWithParam<ShotCase> {};

// The program as users run it: the module loaded from beside it, the sample
// and a simulated phone.
TEST_P(GuiScreenshotTest, ScreenshotWritesAReadablePngOrFails) {
    QString program = QString::fromStdString(
        (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "orxflash-gui").string());
    QString file = QString::fromUtf8(GetParam().file);
    QProcess gui;
    gui.setProcessChannelMode(QProcess::ForwardedChannels);
    gui.start(program, {"--sample", "--sim",
                        QString::fromStdString(testsupport::PhoneProfile("flash-hmq-vintrel")),
                        "--screenshot", file});
    ASSERT_TRUE(gui.waitForFinished(60000));
    EXPECT_EQ(gui.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(gui.exitCode(), GetParam().status);
    if (GetParam().status == 0) {
        QImage image(file);
        EXPECT_FALSE(image.isNull());
        EXPECT_GT(image.width(), 0);
        EXPECT_GT(image.height(), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Files, GuiScreenshotTest,
                         testing::Values(ShotCase{"Written", "window.png", 0},
                                         ShotCase{"Unwritable", "no-such-folder/window.png", 1}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
