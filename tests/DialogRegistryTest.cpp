// The dialog's per-user store: values up to 259 bytes, use before the key is
// open, a missing value, and a store that cannot be written.
#include <gtest/gtest.h>

#include <QSettings>
#include <filesystem>

#include "ModuleFakes.h"
#include "ORX_FP_FlashDlg.h"
#include "ORX_FP_FlashReg.h"

namespace {

using Kind = orxhost::DisplayEvent::Kind;

constexpr const char* kKey = "SOFTWARE\\Kestrova\\k380_ORX\\FlashFile";

class Registry : public testsupport::HostedModuleTest {
  protected:
    Registry() { InstallMainEngine(); }
    // Each report is a stop box, a host error and a log entry.
    void ExpectReported(const std::string& text) {
        EXPECT_EQ(boxes.Texts(), std::vector<std::string>{text});
        EXPECT_EQ(boxes.Boxes().at(0).icon, platform::BoxIcon::Stop);
        EXPECT_EQ(sink->Texts(Kind::Error), std::vector<std::string>{text});
        EXPECT_NE(Log1().find(text), std::string::npos);
        EXPECT_NE(Log1().find("ORX_FP_FlashReg"), std::string::npos);
    }
    // Settings cannot be written where a file stands in place of their folder.
    static void BlockStore() {
        QSettings store(QSettings::NativeFormat, QSettings::UserScope, "Kestrova", "k380_ORX");
        std::filesystem::path folder =
            std::filesystem::path(store.fileName().toStdString()).parent_path();
        std::filesystem::remove_all(folder);
        testsupport::WriteText(folder, "in the way");
    }

    CFlashReg registry;
};

TEST_F(Registry, TextsUpTo259BytesRoundTripAndLongerOnesAreRefused) {
    ASSERT_EQ(registry.OpenKey(kKey), 1);
    const std::string longest = "/" + std::string(254, 'p') + ".shx";
    ASSERT_EQ(longest.size(), 259u);
    EXPECT_EQ(registry.SetValue("Super File", longest), 1);
    EXPECT_EQ(registry.SetValue("PathName", "/data/releases/"), 1);
    std::string read;
    EXPECT_EQ(registry.GetValue("Super File", read), 1);
    EXPECT_EQ(read, longest);
    EXPECT_EQ(registry.GetValue("PathName", read), 1);
    EXPECT_EQ(read, "/data/releases/");
    EXPECT_TRUE(boxes.Texts().empty());

    EXPECT_EQ(registry.SetValue("Super File", longest + "x"), 0);
    ExpectReported("Unable to set Registry Value");
    EXPECT_EQ(registry.GetValue("Super File", read), 1);
    EXPECT_EQ(read, longest);
}

TEST_F(Registry, UseBeforeOpenKeyIsReported) {
    std::string read = "kept";
    EXPECT_EQ(registry.SetValue("Super File", "/a.shx"), 0);
    ExpectReported("Error Flash Registry was not created");
    EXPECT_EQ(registry.GetValue("Super File", read), 0);
    EXPECT_EQ(read, "kept");
}

TEST_F(Registry, KeyPathOutsideTheUsersSoftwareIsRefused) {
    EXPECT_EQ(registry.OpenKey("Kestrova"), 0);
    ExpectReported("Error Creating Flash Registry");
}

TEST_F(Registry, MissingValueIsOnlyLogged) {
    ASSERT_EQ(registry.OpenKey(kKey), 1);
    std::string read;
    EXPECT_EQ(registry.GetValue("Super File", read), 0);
    EXPECT_TRUE(boxes.Texts().empty());
    EXPECT_TRUE(sink->Events().empty());
    const std::string text =
        "Unable to retrieve file from Registry.  Please enter in a file to flash.";
    EXPECT_NE(Log1().find(text), std::string::npos);
}

TEST_F(Registry, UnwritableStoreIsShownOnceUntilAWriteSucceeds) {
    BlockStore();
    ASSERT_EQ(registry.OpenKey(kKey), 1);
    EXPECT_EQ(registry.SetValue("Super File", "/a"), 0);
    EXPECT_EQ(registry.SetValue("Super File", "/a.shx"), 0);  // the next keystroke
    ExpectReported("Unable to set Registry Value");
    // Both failures are logged.
    std::string log = Log1();
    size_t first = log.find("Unable to set Registry Value");
    EXPECT_NE(log.find("Unable to set Registry Value", first + 1), std::string::npos);
}

TEST_F(Registry, DialogGoesOnWithAnUnwritableStore) {
    BlockStore();
    QWidget host;
    CFlashDlg dialog(DialogPlacement{&host, 0, 0, 600, 450});
    testsupport::ScriptedBoxes answers;
    dialog.SetFilePicker([](QWidget*, const std::string&) { return std::string("/x/fw.bin"); });
    dialog.CreateAndShow();
    EXPECT_EQ(answers.Texts(), std::vector<std::string>{"Unable to set Registry Value"});
    EXPECT_EQ(dialog.GetControlText(ctl::kFileName), scratch.Path().string());
    EXPECT_EQ(dialog.OnBrowse(), 0);
    EXPECT_EQ(answers.Texts().back(),
              "The file selected is not a valid s record or image file. Please enter in a valid "
              "file.");
}

}  // namespace
