// The main of every test program: each test runs in a fresh folder of its own,
// named after the test, below the program's working folder. Tests of one
// program that ctest runs at once therefore never meet each other's files (the
// module writes its error logs to the current folder).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

class FolderPerTest : public testing::EmptyTestEventListener {
  public:
    void OnTestStart(const testing::TestInfo& test) override {
        std::string name = std::string(test.test_suite_name()) + "." + test.name();
        for (char& c : name) {
            if (c == '/') {
                c = '_';
            }
        }
        std::error_code ignored;
        base = std::filesystem::current_path();
        std::filesystem::path folder = base / name;
        std::filesystem::remove_all(folder, ignored);
        std::filesystem::create_directories(folder);
        std::filesystem::current_path(folder);
    }
    void OnTestEnd(const testing::TestInfo&) override {
        std::error_code ignored;
        std::filesystem::current_path(base, ignored);
    }

  private:
    std::filesystem::path base;
};

}  // namespace

// Used by mains of their own (the Qt tests') too.
void AddFolderPerTest() {
    testing::UnitTest::GetInstance()->listeners().Append(new FolderPerTest);
}

#ifndef ORX_TEST_MAIN_EXTERNAL
int main(int argc, char** argv) {
    testing::InitGoogleMock(&argc, argv);
    AddFolderPerTest();
    return RUN_ALL_TESTS();
}
#endif
