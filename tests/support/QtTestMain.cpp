// The main of the Qt test programs: one QApplication on the offscreen platform
// unless another was asked for, the folder-per-test listener, and per-user
// settings inside each test's own folder (never the user's own, never shared
// by tests that ctest runs at once).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QSettings>
#include <cstdlib>
#include <filesystem>

void AddFolderPerTest();

namespace {

void UseSettingsFolder(const std::filesystem::path& folder) {
    std::filesystem::create_directories(folder);
    setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromStdString(folder.string()));
}

// Runs after the folder-per-test listener has moved into the test's folder.
class SettingsPerTest : public testing::EmptyTestEventListener {
  public:
    void OnTestStart(const testing::TestInfo&) override {
        UseSettingsFolder(std::filesystem::current_path() / "user-settings");
    }
};

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    UseSettingsFolder(std::filesystem::current_path() / "user-settings");
    QApplication application(argc, argv);
    testing::InitGoogleMock(&argc, argv);
    AddFolderPerTest();
    testing::UnitTest::GetInstance()->listeners().Append(new SettingsPerTest);
    return RUN_ALL_TESTS();
}
