// orxflash as a user runs it: a separate process that loads the module.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <nlohmann/json.hpp>

#include "ProcessRun.h"
#include "ShxFiles.h"
#include "TestSupport.h"

namespace {

using testsupport::Orxflash;
using testsupport::ProcessRun;

class OrxflashInfo : public ::testing::Test {
  protected:
    testsupport::ScratchDir scratch;
};

TEST_F(OrxflashInfo, PrintsLabelledEntries) {
    testsupport::WriteShx(testsupport::SampleManifest(), scratch.File("fw.shx"));
    ProcessRun run = Orxflash("info fw.shx");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("Platform:             GSM k.380\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Code group 4 version: v0x0104\n"), std::string::npos);
    EXPECT_NE(run.out.find("File kind:            Regular File\n"), std::string::npos);
}

TEST_F(OrxflashInfo, JsonIsTheLastLine) {
    testsupport::WriteShx(testsupport::SampleManifest(), scratch.File("fw.shx"));
    ProcessRun run = Orxflash("info fw.shx --json");
    ASSERT_EQ(run.status, 0) << run.err;
    std::string last = run.out.substr(run.out.rfind('\n', run.out.size() - 2) + 1);
    nlohmann::json line = nlohmann::json::parse(last);
    EXPECT_EQ(line["result"], 0);
    EXPECT_EQ(line["firstVersion"], 0x0210);
    ASSERT_EQ(line["info"].size(), 13u);
    EXPECT_EQ(line["info"][0], "GSM k.380");
    EXPECT_EQ(line["info"][12], "Regular File");
}

TEST_F(OrxflashInfo, UnreadableSuperfileExitsOneWithTheModulesReports) {
    ProcessRun run = Orxflash("info missing.shx --json");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("Unable to open file.missing.shx\n"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("Error Reading File Header"), std::string::npos) << run.err;
    std::string last = run.out.substr(run.out.rfind('\n', run.out.size() - 2) + 1);
    nlohmann::json line = nlohmann::json::parse(last);
    EXPECT_EQ(line["result"], 52);
    EXPECT_EQ(line["firstVersion"], 0xFFFF);
    EXPECT_EQ(line["info"][0], "");
}

TEST_F(OrxflashInfo, HelpExplainsTheCommands) {
    ProcessRun run = Orxflash("--help");
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("info"), std::string::npos);
    run = Orxflash("info --help");
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("SUPERFILE"), std::string::npos);
    EXPECT_NE(run.out.find("--json"), std::string::npos);
}

TEST_F(OrxflashInfo, SimReadWritesThePhonesFlashBytes) {
    const char* root = std::getenv("ORX_SOURCE_DIR");
    ASSERT_NE(root, nullptr);
    std::filesystem::copy_file(std::string(root) + "/examples/phones/flash-hmq-vintrel.json",
                               scratch.File("phone.json"));
    ProcessRun run = Orxflash("sim-read phone.json 0x10000000 40960");
    EXPECT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(run.out.size(), 40960u);
    EXPECT_EQ(run.out.substr(0, 8),
              "KESTROVA");  // the phone's code group 0 as its profile fills it
    EXPECT_NE(Orxflash("sim-read phone.json nowhere 16").status, 0);
    EXPECT_NE(Orxflash("sim-read missing.json 0 16").status, 0);
}

TEST_F(OrxflashInfo, MissingCommandIsAUsageError) {
    ProcessRun run = Orxflash("");
    EXPECT_NE(run.status, 0);
}

}  // namespace
