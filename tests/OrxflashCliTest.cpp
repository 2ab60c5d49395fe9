// orxflash as a user runs it: a separate process that loads the module.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <vector>

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

// Each command, given what a new user might give it, fails with exit status 1
// and says why on standard error.
TEST_F(OrxflashInfo, EveryFailureSaysItsReasonOnStandardError) {
    const char* root = std::getenv("ORX_SOURCE_DIR");
    ASSERT_NE(root, nullptr);
    const std::string phone = std::string(root) + "/examples/phones/flash-hmq-vintrel.json";
    testsupport::WriteShx(testsupport::SampleManifest(), scratch.File("fw.shx"));
    testsupport::WriteText(scratch.File("notes.txt"), "not a superfile\n");
    testsupport::WriteText(scratch.File("bad.json"), "{");
    std::filesystem::create_directory(scratch.File("folder.shx"));
    const std::string invalid = "The file you have selected is an invalid superfile.";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"info missing.shx", "cannot read missing.shx: Unable to open file.missing.shx"},
        {"info notes.txt", "cannot read notes.txt: " + invalid},
        {"info folder.shx", "cannot read folder.shx: Unable to open file.folder.shx"},
        {"convert missing.shx", "cannot convert missing.shx: Unable to open file.missing.shx"},
        {"convert notes.txt", "cannot convert notes.txt: " + invalid},
        {"flash missing.shx", "missing.shx: No such file or directory"},
        {"flash folder.shx --console", "folder.shx: is a directory"},
        {"flash fw.shx", "no phone connected"},
        {"flash fw.shx --console", "no phone connected"},
        {"flash notes.txt --sim " + phone, "phone 4 was not flashed: " + invalid},
        {"flash notes.txt --console --sim " + phone, "phone 4 was not flashed: " + invalid},
        {"verify notes.txt -d 4 --sim " + phone, "phone 4 was not verified: " + invalid},
        {"verify fw.shx -d 4", "phone 4 was not verified: ***Error*** Unable to connect"},
        {"flash fw.shx --sim missing.json", "cannot open profile missing.json"},
        {"devices --sim bad.json", "bad.json: profile: not valid JSON"},
        {"sim-read missing.json 0 16", "cannot open profile missing.json"},
        {"demo --dir notes.txt", "cannot make notes.txt: Not a directory"},
        {"--module missing.so version", "cannot load missing.so"}};
    for (const auto& [arguments, reason] : cases) {
        ProcessRun run = Orxflash(arguments);
        EXPECT_EQ(run.status, 1) << arguments;
        EXPECT_NE(run.err.find("orxflash: "), std::string::npos) << arguments;
        EXPECT_NE(run.err.find(reason), std::string::npos) << arguments << ": " << run.err;
    }
}

TEST_F(OrxflashInfo, MissingCommandIsAUsageError) {
    ProcessRun run = Orxflash("");
    EXPECT_NE(run.status, 0);
}

}  // namespace
