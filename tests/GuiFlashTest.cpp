// The host window end to end: the real module's dialog embedded, a superfile
// and one simulated phone, the dialog's Flash button clicked and its questions
// answered; the phone ends holding the file (or, for a file of another data
// type, unchanged) and its row says how it ended.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "DisplayPost.h"
#include "FlashModule.h"
#include "LastFile.h"
#include "MainWindow.h"
#include "Mkshx.h"
#include "OrxHost.h"
#include "PhoneFiles.h"
#include "PhoneTable.h"
#include "Screenshot.h"
#include "TestSupport.h"
#include "WindowMessages.h"

namespace {

constexpr int kBrowseButton = 1000;
constexpr int kFlashButton = 1002;
constexpr int kPhonePlatform = 5003;
constexpr int kLongWaitMs = 60000;
constexpr uint16_t kPhone = 4;

void SaveShot(MainWindow& window, const std::string& name) {
    std::filesystem::create_directories(ORX_SCREENSHOT_DIR);
    SaveWindow(window, QString::fromStdString(ORX_SCREENSHOT_DIR "/" + name));
}

// Answers the module's message boxes as an operator would: Yes to flashing,
// No to another phone, OK to anything else; keeps their texts.
class BoxAnswerer {
  public:
    BoxAnswerer() {
        QObject::connect(&timer, &QTimer::timeout, [this] { Answer(); });
        timer.start(50);
    }
    QString Texts() const { return texts.join("\n"); }

  private:
    void Answer() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible()) {
            return;
        }
        texts.append(box->text());
        QAbstractButton* button = box->text().contains("Another") ? box->button(QMessageBox::No)
                                                                  : box->button(QMessageBox::Yes);
        if (button == nullptr) {
            button = box->button(QMessageBox::Ok);
        }
        if (button == nullptr) {
            button = box->buttons().value(0);
        }
        if (button != nullptr) {
            button->click();
        }
    }
    QTimer timer;
    QStringList texts;
};

// Sees the window's display events as they arrive: the flash is far too quick
// to catch between polls, so its screenshot is taken from here.
class FlashWatcher : public QObject {
  public:
    FlashWatcher(MainWindow& window, std::string shot) : window(window), shot(std::move(shot)) {
        window.installEventFilter(this);
    }
    bool sawBusy = false;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        const WindowMessages& messages = Messages();
        if (event->type() == messages.displayStatus || event->type() == messages.displayProgress) {
            sawBusy = sawBusy || window.Phones()->BusyOf(kPhone);
            auto& display = static_cast<DisplayPostEvent*>(event)->display;
            if (!shot.empty() && display.text.find("Code Group 1 flashed") != std::string::npos) {
                SaveShot(window, shot);
                shot.clear();
            }
        }
        return false;
    }

  private:
    MainWindow& window;
    std::string shot;
};

struct FlashCase {
    const char* name;
    const char* manifest;  // of the source tree
    bool flashes;          // also: the dialog marked a long operation (1000, 1100)
    const char* rowAtEnd;
    const char* logged;
};

void PrintTo(const FlashCase& param, std::ostream* out) {
    *out << param.name;
}

class GuiFlashTest : public testing::TestWithParam<FlashCase> {
  protected:
    GuiFlashTest() { orxhost::Reset(); }
    ~GuiFlashTest() override { orxhost::Reset(); }
    testsupport::ScratchDir scratch;
};

TEST_P(GuiFlashTest, FlashButtonFlashesTheSimulatedPhone) {
    const FlashCase& flashCase = GetParam();
    const std::string name = flashCase.name;
    nlohmann::json manifest = nlohmann::json::parse(
        testsupport::ReadText(testsupport::SourceFile(flashCase.manifest)), nullptr, true, true);
    mkshx::BuiltSuperfile built = mkshx::BuildSuperfile(mkshx::ParseManifest(manifest));
    std::string superfile = scratch.File("release.shx");
    mkshx::WriteSuperfile(built, superfile, false);
    ASSERT_TRUE(PresetLastFile(QString::fromStdString(superfile)));
    auto phone = testsupport::AttachExamplePhone("flash-hmq-vintrel");
    std::vector<uint8_t> before = phone->ReadFlash(0x10010000, 307200);

    FlashModule module;
    std::string error;
    ASSERT_TRUE(module.Load(FlashModule::DefaultPath(), error)) << error;
    MainWindow window(module);
    window.resize(1100, 820);
    window.show();
    ASSERT_EQ(window.OpenModule(), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.DialogShowsFile(); }, kLongWaitMs));
    SaveShot(window, "host-window-" + name + "-file-read.png");
    QWidget* flash = window.DialogControl(kFlashButton);
    QWidget* browse = window.DialogControl(kBrowseButton);
    ASSERT_NE(flash, nullptr);
    ASSERT_NE(browse, nullptr);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            QWidget* platform = window.DialogControl(kPhonePlatform);
            return flash->isEnabled() && platform != nullptr &&
                   !platform->property("text").toString().isEmpty();
        },
        kLongWaitMs));
    SaveShot(window, "host-window-" + name + "-phone-identified.png");

    BoxAnswerer answerer;
    FlashWatcher watcher(window, "host-window-" + name + "-flashing.png");
    QTest::mouseClick(flash, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return answerer.Texts().contains("Another") && flash->isEnabled() &&
                   browse->isEnabled();
        },
        kLongWaitMs))
        << answerer.Texts().toStdString();
    SaveShot(window, "host-window-" + name + "-done.png");

    EXPECT_EQ(watcher.sawBusy, flashCase.flashes);  // the dialog's marker, in the phone's row
    EXPECT_EQ(window.Phones()->LineOf(kPhone), flashCase.rowAtEnd);
    EXPECT_TRUE(window.Log()->toPlainText().contains(flashCase.logged))
        << window.Log()->toPlainText().toStdString();
    std::vector<uint8_t> after = phone->ReadFlash(0x10010000, 307200);
    EXPECT_EQ(after == built.images.at(3), flashCase.flashes);
    if (!flashCase.flashes) {
        EXPECT_EQ(after, before);
    }
    EXPECT_TRUE(window.close());
}

INSTANTIATE_TEST_SUITE_P(
    Releases, GuiFlashTest,
    testing::Values(FlashCase{"flashed", "examples/phones/superfiles/k380.json", true,
                              "Refreshing Device Connections...",
                              "Phone[0004]: FLASH COMPLETED!!!."},
                    FlashCase{"failed", "examples/sample.json", false,
                              "*********Flash FAILED!!!*********",
                              "error: Phone[0004]: *********Flash FAILED!!!*********"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
