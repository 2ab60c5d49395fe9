// Closing the windowed dialog through the entry points: UTCClose answers 16
// while a flash runs, and ends at once while the engine's worker waits for
// the dialog's thread.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <future>
#include <set>
#include <thread>

#include "ModuleFakes.h"
#include "ORX_FP_Flash.h"
#include "ORX_FP_FlashDlg.h"
#include "OrxHost.h"
#include "PhoneFiles.h"
#include "ShxFiles.h"

namespace {

QMessageBox* OpenBox() {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(window); box != nullptr && box->isVisible()) {
            return box;
        }
    }
    return nullptr;
}

void Press(QMessageBox* box, QMessageBox::StandardButton wanted) {
    for (auto button : {wanted, QMessageBox::No, QMessageBox::Ok, QMessageBox::Cancel}) {
        if (QAbstractButton* found = box->button(button)) {
            QTest::mouseClick(found, Qt::LeftButton);
            return;
        }
    }
}

class DialogClose : public testsupport::ModuleTest {
  protected:
    DialogClose() {
        previous = SetDialogFactory(nullptr);
        InstallFlashDialogFactory();
        superfile = scratch.File("fw.shx");
        testsupport::WriteShx(testsupport::FlashableManifest(), superfile);
        QSettings store(QSettings::NativeFormat, QSettings::UserScope, "Kestrova", "k380_ORX");
        store.setValue("FlashFile/Super File", QString::fromStdString(superfile));
        phone = testsupport::AttachExamplePhone("flash-hmq-vintrel");
        host.resize(760, 580);
    }
    ~DialogClose() override {
        UTCClose();
        SetDialogFactory(previous);
    }
    CFlashDlg* Dialog() { return host.findChild<CFlashDlg*>(); }
    // Every message box that opens, also inside another's event loop, is
    // handed to the handler once.
    void OnEveryBox(std::function<void(QMessageBox*)> handler) {
        auto* timer = new QTimer(&host);
        QObject::connect(timer, &QTimer::timeout, [this, handler] {
            QMessageBox* box = OpenBox();
            if (box != nullptr && handled.insert(box).second) {
                handler(box);
            }
        });
        timer->start(1);
    }

    DialogFactory previous;
    std::string superfile;
    std::shared_ptr<phonesim::Phone> phone;
    QWidget host;
    std::set<QMessageBox*> handled;
};

TEST_F(DialogClose, CloseDuringAFlashAnswers16AndChangesNothing) {
    ASSERT_EQ(UTCOpen(1, &host, 0, 0, 760, 580, nullptr), 0);
    ASSERT_NE(Dialog(), nullptr);
    // Flash is enabled from the start; the phone is known once the worker's
    // first poll identified it (a click before that flashes an empty list).
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return Dialog()->Control(ctl::kFlash)->isEnabled() &&
               !Dialog()->GetControlText(ctl::kPhonePlatform).empty();
    }));
    int closedDuringFlash = -1;
    OnEveryBox([&](QMessageBox* box) {
        if (box->text().startsWith("Please verify the flash file")) {
            Press(box, QMessageBox::Yes);
        } else if (box->text().contains("Do you still want to flash")) {
            // The worker waits for this answer in the middle of the flash.
            closedDuringFlash = UTCClose();
            Press(box, QMessageBox::No);
        } else {
            Press(box, QMessageBox::No);
        }
    });
    QTest::mouseClick(Dialog()->Control(ctl::kFlash), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return closedDuringFlash != -1; }, 30000));
    EXPECT_EQ(closedDuringFlash, 16);
    ASSERT_NE(Dialog(), nullptr);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return !Dialog()->Flashing() && Dialog()->Control(ctl::kBrowse)->isEnabled(); },
        30000));
    EXPECT_EQ(UTCClose(), 0);
    EXPECT_EQ(Dialog(), nullptr);
    EXPECT_EQ(LastSuperfile(), superfile);
}

TEST_F(DialogClose, CloseEndsAtOnceWhileTheWorkerWaitsForTheDialog) {
    ASSERT_EQ(UTCOpen(1, &host, 0, 0, 760, 580, nullptr), 0);
    // The worker identifies the phone and then needs this thread for the
    // phone's fields; this thread never spins for it.
    while (orxhost::CallCount("ORXGetStringDescriptor") == 0) {
        std::this_thread::yield();
    }
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(UTCClose(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_EQ(Dialog(), nullptr);
    EXPECT_EQ(LastSuperfile(), superfile);
    // A new dialog opens as before.
    ASSERT_EQ(UTCOpen(1, &host, 0, 0, 760, 580, nullptr), 0);
    EXPECT_NE(Dialog(), nullptr);
}

TEST(DialogFactory, MakesTheDialogOnlyOnTheApplicationsThread) {
    InstallFlashDialogFactory();
    QWidget host;
    std::unique_ptr<IFlashDialog> made = MakeFlashDialog({&host, 0, 0, 100, 100});
    EXPECT_NE(dynamic_cast<CFlashDlg*>(made.get()), nullptr);
    auto elsewhere = std::async(std::launch::async, [] { return MakeFlashDialog({}) == nullptr; });
    EXPECT_TRUE(elsewhere.get());
}

}  // namespace
