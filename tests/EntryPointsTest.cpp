// Opening the module: initialisation, the mode byte, and the missing host
// instance.
#include <gtest/gtest.h>

#include <set>

#include "ModuleFakes.h"
#include "ORX_FP_Flash.h"
#include "ORX_FP_FlashMessages.h"

namespace {

const std::string kNoInstance = "Handle to instance of ORX DLL is a NULL Pointer";

class EntryPoints : public testsupport::ModuleTest {};

TEST_F(EntryPoints, NoDialogModeCreatesNothingAndWritesNoHandle) {
    int host = 0;
    ASSERT_EQ(UTCInit(&host), 0);
    void* handle = &host;
    headlessMode.store(0);
    EXPECT_EQ(UTCOpen(0, nullptr, 0, 0, 100, 100, &handle), 0);
    EXPECT_EQ(headlessMode.load(), 1);
    EXPECT_EQ(handle, &host);
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(EntryPoints, OnlyTheLowByteOfTheModeCounts) {
    int host = 0;
    UTCInit(&host);
    EXPECT_EQ(UTCOpen(0x100, nullptr, 0, 0, 0, 0, nullptr), 0);
    EXPECT_EQ(headlessMode.load(), 1);
    UTCOpen(0x101, nullptr, 0, 0, 0, 0, nullptr);
    EXPECT_EQ(headlessMode.load(), 0);
}

TEST_F(EntryPoints, MissingInstanceIsReportedAtInitAndAgainAtOpen) {
    errorLogEnabled.store(0);
    EXPECT_EQ(UTCInit(nullptr), 0);
    EXPECT_EQ(errorLogEnabled.load(), 1);
    EXPECT_EQ(UTCOpen(0, nullptr, 0, 0, 0, 0, nullptr), 15);
    EXPECT_EQ(boxes.Texts(), (std::vector<std::string>{kNoInstance, kNoInstance}));
    EXPECT_TRUE(boxes.Boxes()[0].systemModal);
    std::string log = Log1();
    size_t first = log.find("ERROR: " + kNoInstance);
    ASSERT_NE(first, std::string::npos);
    EXPECT_NE(log.find("ERROR: " + kNoInstance, first + 1), std::string::npos);
}

TEST_F(EntryPoints, LoggingStaysOffUntilInit) {
    errorLogEnabled.store(0);
    LogFlashError(1, "before init", "ORX_FP_Flash");
    EXPECT_EQ(Log1(), "");
    int host = 0;
    UTCInit(&host);
    LogFlashError(2, "after init", "ORX_FP_Flash");
    EXPECT_NE(Log1().find("after init"), std::string::npos);
}

// The host hands every caller of a name the identifier the module got at load.
TEST(RegisteredMessages, TheModulesSevenNamesShareTheHostsIdentifiers) {
    std::set<unsigned> ids;
    for (size_t i = 0; i < kModuleMessageNames.size(); ++i) {
        unsigned id = RegisteredMessage(static_cast<ModuleMessage>(i));
        EXPECT_GE(id, 0xC000u);
        EXPECT_EQ(ORXRegisterWindowMessage(std::string(kModuleMessageNames[i]).c_str()), id);
        ids.insert(id);
    }
    EXPECT_EQ(ids.size(), kModuleMessageNames.size());
    EXPECT_EQ(ORXRegisterWindowMessage(""), 0u);
    EXPECT_EQ(ORXRegisterWindowMessage(nullptr), 0u);
}

}  // namespace
