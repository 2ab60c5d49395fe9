// The flash dialog on its own: template 130's controls and layout, start-up
// with and without a stored file, Browse, Flash and Verify, and the view and
// message boxes as the engine's worker meets them.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <filesystem>
#include <functional>
#include <future>
#include <optional>
#include <thread>

#include "ModuleFakes.h"
#include "ORX_FP_FlashDlg.h"
#include "ORX_FP_FlashThread.h"
#include "ShxFiles.h"
#include "platform/NamedEvent.h"

namespace {

using Kind = orxhost::DisplayEvent::Kind;
using platform::BoxAnswer;

constexpr const char* kInvalidFile =
    "The file selected is not a valid s record or image file. Please enter in a valid file.";
constexpr const char* kMatchWarning =
    "Please verify the flash file selected in the Browse field matches the connected phone "
    "model. Failure to do so can result in damage to the phone.";

// The dialog's values as the per-user store holds them.
std::unique_ptr<QSettings> UserStore() {
    auto store = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                             "Kestrova", "k380_ORX");
    store->beginGroup("FlashFile");
    return store;
}

class Dialog : public testsupport::HostedModuleTest {
  protected:
    Dialog() {
        headlessMode.store(0);
        InstallMainEngine();  // the host's plain displays go through its worker
        superfile = scratch.File("fw.shx");
        testsupport::WriteShx(testsupport::SampleManifest(), superfile);
        commandEvent = platform::OpenNamedEvent("Flash Thread Event", false);
    }

    // Opens the dialog; boxes are recorded and answered from a script unless
    // the dialog's own Qt boxes are wanted.
    CFlashDlg& Open(bool scriptBoxes = true) {
        dialog = std::make_unique<CFlashDlg>(DialogPlacement{&host, 4, 6, 764, 586});
        if (scriptBoxes) {
            scripted.emplace();
        }
        dialog->SetFilePicker([this](QWidget*, const std::string& folder) {
            pickerFolders.push_back(folder);
            return nextPick;
        });
        // The dialog's engine, its worker not started: commands only wake it.
        engine = std::make_unique<CFlashThread>(static_cast<IFlashView*>(dialog.get()));
        dialog->Attach(engine.get(), this);
        dialog->CreateAndShow();
        return *dialog;
    }
    std::string Text(int id) { return dialog->GetControlText(id); }
    static void Store(const char* name, const std::string& value) {
        UserStore()->setValue(name, QString::fromStdString(value));
    }
    static std::string Stored(const char* name) {
        return UserStore()->value(name).toString().toStdString();
    }
    std::vector<std::string> Boxes() const { return scripted->Texts(); }
    std::vector<std::string> HostErrors() const { return sink->Texts(Kind::Error); }
    // True once, when a command was posted to the engine since the last look.
    bool CommandPosted() { return commandEvent->Wait(0); }
    void Click(int id) { QTest::mouseClick(dialog->Control(id), Qt::LeftButton); }

    std::string superfile;
    std::string here = scratch.Path().string();
    std::shared_ptr<platform::NamedEvent> commandEvent;
    std::optional<std::string> nextPick;
    std::vector<std::string> pickerFolders;
    QWidget host;
    std::unique_ptr<CFlashDlg> dialog;
    std::optional<testsupport::ScriptedBoxes> scripted;
    std::unique_ptr<CFlashThread> engine;
};

TEST_F(Dialog, KeepsEveryControlOfTemplate130) {
    Open();
    struct Row {
        int id;
        const char* kind;
        const char* caption;
    };
    const Row rows[] = {
        {ctl::kBrowse, "QPushButton", "&Browse"},
        {ctl::kFlash, "QPushButton", "&Flash"},
        {ctl::kVerify, "QPushButton", "&Verify"},
        {ctl::kFileName, "QLineEdit", nullptr},
        {ctl::kTavenorOs, "QRadioButton", "Tavenor OS"},
        {ctl::kTavenorFs, "QRadioButton", "Tavenor FS"},
        {ctl::kTavenorBp, "QRadioButton", "Tavenor BP"},
        {ctl::kInterfaceGroup, "QGroupBox", "Flash Interfaces"},
        {ctl::kFileMiscList, "QComboBox", nullptr},
        {ctl::kPhoneMiscList, "QComboBox", nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.id);
        ASSERT_NE(dialog->Control(row.id), nullptr);
        EXPECT_TRUE(dialog->Control(row.id)->inherits(row.kind));
        if (row.caption != nullptr) {
            EXPECT_EQ(Text(row.id), row.caption);
        }
    }
    for (int id : {5002, 1006, 5007, 5008, 5004, 5005, 5006, 5016, 5009, 5003, 1007, 5010, 5011,
                   5013, 5014, 5015}) {
        auto* field = qobject_cast<QLineEdit*>(dialog->Control(id));
        ASSERT_NE(field, nullptr) << id;
        EXPECT_TRUE(field->isReadOnly()) << id;
    }
    QStringList titles, labels;
    for (auto* group : dialog->findChildren<QGroupBox*>()) {
        titles << group->title();
    }
    for (auto* label : dialog->findChildren<QLabel*>()) {
        labels << label->text();
    }
    EXPECT_TRUE(titles.contains(" File Information "));
    EXPECT_TRUE(titles.contains(" Phone Information "));
    EXPECT_EQ(labels.count("Misc. Files:"), 2);
    EXPECT_EQ(labels.count("Checksums:"), 2);
    EXPECT_TRUE(qobject_cast<QPushButton*>(dialog->Control(ctl::kBrowse))->isDefault());
    // A child control inside the host's window, placed on the rectangle.
    EXPECT_FALSE(dialog->isWindow());
    EXPECT_EQ(dialog->geometry(), QRect(4, 6, 760, 580));
    for (int id : {ctl::kTavenorOs, ctl::kTavenorFs, ctl::kTavenorBp, ctl::kInterfaceGroup}) {
        EXPECT_TRUE(dialog->Control(id)->isHidden()) << id;
    }
}

TEST_F(Dialog, LayoutKeepsItsProportionsAtAnyFontSize) {
    std::vector<double> across, down;
    for (int points : {8, 11, 16}) {
        QFont font = host.font();
        font.setPointSize(points);
        host.setFont(font);
        Open();
        // Browse's right edge over the banner's width; the banner's top over
        // the interface group's.
        QRect browse = dialog->Control(ctl::kBrowse)->geometry();
        QRect banner = dialog->findChild<QLabel*>("banner")->geometry();
        QRect group = dialog->Control(ctl::kInterfaceGroup)->geometry();
        EXPECT_EQ(banner.width(), (362 * dialog->BaseUnitX() + 2) / 4);
        across.push_back(double(browse.right() - banner.left()) / banner.width());
        down.push_back(double(banner.top()) / group.top());
        engine.reset();
        scripted.reset();
        dialog.reset();
    }
    for (size_t i = 1; i < across.size(); ++i) {
        EXPECT_NEAR(across[i], across[0], 0.03);
        EXPECT_NEAR(down[i], down[0], 0.03);
    }
}

TEST_F(Dialog, FirstStartShowsAndStoresTheCurrentDirectoryAndNothingElse) {
    Open();
    EXPECT_EQ(Text(ctl::kFileName), here);
    EXPECT_EQ(Stored("Super File"), here);
    EXPECT_TRUE(Boxes().empty());
    EXPECT_TRUE(HostErrors().empty());
    EXPECT_EQ(Text(ctl::kFilePlatform), "");
    EXPECT_FALSE(dialog->HeaderRead());
    EXPECT_NE(
        Log1().find("Unable to retrieve file from Registry.  Please enter in a file to flash."),
        std::string::npos);
}

TEST_F(Dialog, StoredPathIsReadAtStartUpOnlyWhenItNamesASuperfile) {
    struct Row {
        std::string stored;
        bool read;
        std::vector<std::string> boxes;
    };
    const Row rows[] = {
        {superfile, true, {}},
        {scratch.File("fw.bin"), false, {kInvalidFile}},
        {here, false, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.stored);
        Store("Super File", row.stored);
        Open();
        EXPECT_EQ(Text(ctl::kFileName), row.stored);
        EXPECT_EQ(Boxes(), row.boxes);
        EXPECT_EQ(dialog->HeaderRead(), row.read);
        EXPECT_EQ(Text(ctl::kFilePlatform).empty(), !row.read);
        EXPECT_EQ(qobject_cast<QComboBox*>(dialog->Control(ctl::kFileMiscList))->count() > 0,
                  row.read);
        engine.reset();
        scripted.reset();
        dialog.reset();
    }
}

TEST_F(Dialog, BrowseTakesAnyCaseOfShxAndRefusesOtherExtensions) {
    testsupport::WriteShx(testsupport::SampleManifest(), scratch.File("FW2.SHX"));
    testsupport::WriteText(scratch.File("fw.bin"), "not a superfile");
    // A folder named as its file: the stored folder loses the last name only.
    std::filesystem::create_directory(scratch.File("same.shx"));
    const std::string same = scratch.File("same.shx") + "/same.shx";
    testsupport::WriteShx(testsupport::SampleManifest(), same);
    struct Row {
        std::optional<std::string> pick;
        std::string box;  // the file-name box afterwards
        std::string folder;
        bool read;
        std::vector<std::string> boxes;
    };
    const Row rows[] = {
        {scratch.File("FW2.SHX"), scratch.File("FW2.SHX"), here + "/", true, {}},
        {same, same, scratch.File("same.shx") + "/", true, {}},
        {scratch.File("fw.bin"), here, here + "/", false, {kInvalidFile}},
        {std::nullopt, superfile, "/previous/folder/", false, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.pick.value_or("cancelled"));
        Store("Super File", superfile);
        Store("PathName", "/previous/folder/");
        Open();
        sink->Clear();
        nextPick = row.pick;
        Click(ctl::kBrowse);
        EXPECT_EQ(pickerFolders.back(), "/previous/folder/");
        EXPECT_EQ(Text(ctl::kFileName), row.box);
        EXPECT_EQ(Stored("Super File"), row.box);
        EXPECT_EQ(Stored("PathName"), row.folder);
        EXPECT_EQ(Boxes(), row.boxes);
        EXPECT_EQ(HostErrors(), row.boxes);
        // The superfile read at start-up counts unless another was chosen.
        EXPECT_EQ(dialog->HeaderRead(), row.read || !row.pick);
        engine.reset();
        scripted.reset();
        dialog.reset();
    }
}

TEST_F(Dialog, TypedFileIsStoredAndItsHeaderReadBeforeAFlash) {
    Store("Super File", superfile);
    Open();
    ASSERT_TRUE(dialog->HeaderRead());
    const std::string other = scratch.File("other.shx");
    auto* box = qobject_cast<QLineEdit*>(dialog->Control(ctl::kFileName));
    box->clear();
    QTest::keyClicks(box, QString::fromStdString(other));
    EXPECT_EQ(Stored("Super File"), other);
    // The fields show the start-up file's information: the engine reads the
    // typed file's header before it flashes.
    EXPECT_FALSE(dialog->HeaderRead());
}

TEST_F(Dialog, FlashAnsweredNoDoesNothing) {
    Store("Super File", superfile);
    Open();
    CommandPosted();
    scripted->Answer(BoxAnswer::No);
    Click(ctl::kFlash);
    EXPECT_EQ(Boxes(), std::vector<std::string>{kMatchWarning});
    EXPECT_FALSE(CommandPosted());
    EXPECT_TRUE(dialog->Control(ctl::kVerify)->isEnabled());
    EXPECT_TRUE(dialog->Control(ctl::kBrowse)->isEnabled());
}

TEST_F(Dialog, FlashWithoutAFileAsksForOneAndStillIssuesTheCommand) {
    Open();  // the box holds the current directory
    CommandPosted();
    scripted->Answer(BoxAnswer::Yes);
    Click(ctl::kFlash);
    std::vector<platform::BoxRequest> boxes = scripted->Boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].icon, platform::BoxIcon::Question);
    EXPECT_EQ(boxes[0].buttons, platform::BoxButtons::YesNo);
    EXPECT_EQ(boxes[1].text, "Please enter in a file");
    EXPECT_EQ(boxes[1].icon, platform::BoxIcon::Information);
    EXPECT_TRUE(boxes[1].systemModal);
    EXPECT_EQ(sink->Texts(Kind::Status), std::vector<std::string>{"Please enter in a file"});
    EXPECT_EQ(pickerFolders.size(), 1u);  // Browse was opened, and cancelled
    EXPECT_TRUE(CommandPosted());
    EXPECT_FALSE(dialog->Control(ctl::kVerify)->isEnabled());
    EXPECT_FALSE(dialog->Control(ctl::kBrowse)->isEnabled());
    EXPECT_TRUE(dialog->Control(ctl::kFlash)->isEnabled());  // the engine disables it
}

TEST_F(Dialog, VerifyAsksNothingAndDisablesFlashAndBrowse) {
    Open();
    CommandPosted();
    Click(ctl::kVerify);
    EXPECT_TRUE(Boxes().empty());
    EXPECT_TRUE(CommandPosted());
    EXPECT_FALSE(dialog->Control(ctl::kFlash)->isEnabled());
    EXPECT_FALSE(dialog->Control(ctl::kBrowse)->isEnabled());
}

TEST_F(Dialog, RadioClicksChooseTheInterfaceAndTheEnginesCheckDoesNot) {
    Open();
    for (int id : {ctl::kTavenorOs, ctl::kTavenorFs, ctl::kTavenorBp}) {
        dialog->ShowControl(id, true);
    }
    EXPECT_EQ(dialog->InterfaceName(), "Kestrova_Tavenor_OS");
    Click(ctl::kTavenorBp);
    EXPECT_EQ(dialog->InterfaceName(), "Kestrova_Tavenor_Baseband");
    Click(ctl::kTavenorFs);
    EXPECT_EQ(dialog->InterfaceName(), "Kestrova_Tavenor_Filesystem");
    dialog->CheckRadio(ctl::kTavenorOs, true);
    EXPECT_EQ(dialog->InterfaceName(), "Kestrova_Tavenor_Filesystem");
}

TEST_F(Dialog, MiscListsStaySorted) {
    Open();
    for (const char* line : {"Code Group 4 v0x0002", "code Group 10 v0x0001", "Code Group 1"}) {
        dialog->ListAdd(ctl::kPhoneMiscList, line);
    }
    auto* list = qobject_cast<QComboBox*>(dialog->Control(ctl::kPhoneMiscList));
    QStringList lines;
    for (int i = 0; i < list->count(); ++i) {
        lines << list->itemText(i);
    }
    EXPECT_EQ(lines,
              QStringList({"Code Group 1", "code Group 10 v0x0001", "Code Group 4 v0x0002"}));
}

TEST_F(Dialog, WorkerCallsAreCarriedOutOnTheGuiThread) {
    Open();
    std::thread worker([this] {
        dialog->SetControlText(ctl::kPhonePlatform, "Blank Tavenor");
        dialog->Move(10, 20, 310, 420);
        dialog->SetControlText(ctl::kPhoneAppVersion, dialog->GetControlText(ctl::kPhonePlatform));
    });
    // The worker waits for the GUI thread, which runs its calls as it spins.
    ASSERT_TRUE(QTest::qWaitFor([&] { return Text(ctl::kPhoneAppVersion) == "Blank Tavenor"; }));
    worker.join();
    EXPECT_EQ(dialog->geometry(), QRect(10, 20, 300, 400));
}

QMessageBox* OpenBox() {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(window); box != nullptr && box->isVisible()) {
            return box;
        }
    }
    return nullptr;
}

template <typename T>
bool Ready(const std::future<T>& result) {
    return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

class DialogBoxes : public Dialog {
  protected:
    // A modal box runs its own event loop: the action is taken from inside
    // it, on the first box that opens.
    void WhenBoxOpens(std::function<void(QMessageBox*)> action) {
        auto* timer = new QTimer(&host);
        QObject::connect(timer, &QTimer::timeout, [timer, action] {
            if (QMessageBox* box = OpenBox()) {
                timer->stop();
                timer->deleteLater();
                action(box);
            }
        });
        timer->start(1);
    }
    static std::future<BoxAnswer> WorkerAsks(const char* text) {
        return std::async(std::launch::async, [text] { return platform::ShowQuestionBox(text); });
    }
};

TEST_F(DialogBoxes, WorkersBoxIsAQtBoxAnsweredByAClick) {
    Open(false);
    QMessageBox shown;
    WhenBoxOpens([&](QMessageBox* box) {
        shown.setText(box->text());
        shown.setWindowTitle(box->windowTitle());
        shown.setIcon(box->icon());
        shown.setWindowModality(box->windowModality());
        shown.setStandardButtons(box->standardButtons());
        QTest::mouseClick(box->button(QMessageBox::Yes), Qt::LeftButton);
    });
    std::future<BoxAnswer> answer = WorkerAsks("Flash Another Phone?");
    ASSERT_TRUE(QTest::qWaitFor([&] { return Ready(answer); }));
    EXPECT_EQ(answer.get(), BoxAnswer::Yes);
    EXPECT_EQ(shown.text(), "Flash Another Phone?");
    EXPECT_EQ(shown.windowTitle(), "ORX_FP_Flash");
    EXPECT_EQ(shown.icon(), QMessageBox::Question);
    EXPECT_EQ(shown.windowModality(), Qt::ApplicationModal);
    EXPECT_EQ(shown.standardButtons(), QMessageBox::Yes | QMessageBox::No);
}

TEST_F(DialogBoxes, ReleasedWorkerIsAnsweredAtOnceAndNeverWaitsAgain) {
    Open(false);
    // The host closes the dialog while the worker's box is up.
    WhenBoxOpens([&](QMessageBox*) { dialog->ReleaseWorker(); });
    std::future<BoxAnswer> answer = WorkerAsks("Flash Another Phone?");
    ASSERT_TRUE(QTest::qWaitFor([&] { return Ready(answer); }));
    EXPECT_EQ(answer.get(), BoxAnswer::No);
    EXPECT_TRUE(QTest::qWaitFor([] { return OpenBox() == nullptr; }));
    // Later calls of the worker return at once without touching the window,
    // while the GUI thread does not spin at all.
    std::async(std::launch::async, [this] {
        dialog->SetControlText(ctl::kPhonePlatform, "changed");
        EXPECT_EQ(dialog->GetControlText(ctl::kFileName), "");
        EXPECT_EQ(platform::ShowStopBox("late"), BoxAnswer::Ok);
    }).get();
    QCoreApplication::processEvents();
    EXPECT_EQ(Text(ctl::kPhonePlatform), "");
    EXPECT_EQ(OpenBox(), nullptr);
}

}  // namespace
