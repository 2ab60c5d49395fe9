// orxflash flash, verify, version and demo as users run them: separate
// processes that load the module and flash simulated phones. The phones keep
// their state in the scratch directory, so the test reads afterwards what
// each phone holds.
#include <gtest/gtest.h>

#include <csignal>

#include <cstdio>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>

#include "Phone.h"
#include "PhoneFiles.h"
#include "ProcessRun.h"
#include "ShxFiles.h"
#include "TerminalRun.h"
#include "TestSupport.h"

namespace {

using nlohmann::json;

using testsupport::JsonLines;
using testsupport::Orxflash;
using testsupport::OrxflashSignalled;
using testsupport::ProcessRun;
using testsupport::Screen;

std::vector<json> ResultLines(const std::vector<json>& lines) {
    std::vector<json> results;
    for (const json& line : lines) {
        if (line.contains("result")) {
            results.push_back(line);
        }
    }
    return results;
}

bool HasLine(const std::vector<json>& lines, const json& expected) {
    return std::find(lines.begin(), lines.end(), expected) != lines.end();
}

// Code group slots and where their images lie on the example phones.
const std::vector<std::pair<int, uint32_t>> kCodeGroups = {
    {2, 0x10000000}, {3, 0x10010000}, {4, 0x10200000}, {6, 0x10300000}};

class OrxflashFlash : public ::testing::Test {
  protected:
    // An example phone whose state lives in the scratch directory; returns
    // its profile's file name for --sim.
    std::string Phone(const std::string& name) { return Phone(name, name, -1); }
    // The same under another name and, when given, another device number.
    std::string Phone(const std::string& name, const std::string& as, int deviceId) {
        json profile = json::parse(testsupport::ReadText(testsupport::PhoneProfile(name)));
        profile["stateFile"] = as + ".state";
        if (deviceId >= 0) {
            profile["deviceId"] = deviceId;
        }
        testsupport::WriteText(scratch.File(as + ".json"), profile.dump());
        return as + ".json";
    }
    // The phone as the last orxflash run left it.
    std::vector<uint8_t> Holds(const std::string& name, int slot, uint32_t start) const {
        auto phone = phonesim::Phone::FromFile(scratch.File(name + ".json"));
        return phone->ReadFlash(start, static_cast<uint32_t>(built.images.at(slot).size()));
    }
    // The example phone as it comes, never flashed.
    std::vector<uint8_t> Untouched(const std::string& name, int slot, uint32_t start) const {
        auto phone = phonesim::Phone::FromFile(testsupport::PhoneProfile(name));
        return phone->ReadFlash(start, static_cast<uint32_t>(built.images.at(slot).size()));
    }
    void ExpectFlashed(const std::string& name) const {
        for (auto [slot, start] : kCodeGroups) {
            EXPECT_EQ(Holds(name, slot, start), built.images.at(slot)) << name << " slot " << slot;
        }
    }
    void ExpectUntouched(const std::string& name) const {
        for (auto [slot, start] : kCodeGroups) {
            EXPECT_EQ(Holds(name, slot, start), Untouched(name, slot, start))
                << name << " slot " << slot;
        }
    }
    // The GSM k.380 release that flashes the HMQ Vintrel and T.340e phones.
    void Release() { built = testsupport::WriteShx(testsupport::FlashableManifest(), "fw.shx"); }

    testsupport::ScratchDir scratch;
    mkshx::BuiltSuperfile built;
};

TEST_F(OrxflashFlash, JsonLinesCarryTheDeviceAndEndWithTheResult) {
    Release();
    ProcessRun run = Orxflash("flash fw.shx --json --sim " + Phone("flash-hmq-vintrel"));
    ASSERT_EQ(run.status, 0) << run.err << run.out;
    std::vector<json> lines = JsonLines(run.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), json::parse(R"({"device":4,"command":"flash","result":0,"ok":true})"));
    bool completed = false;
    int progress = 0;
    for (const json& line : lines) {
        EXPECT_EQ(line["device"], 4) << line;
        if (line.value("event", "") == "status" &&
            line["text"] == "Phone[0004]: FLASH COMPLETED!!!.") {
            completed = true;
        }
        if (line.value("event", "") == "progress") {
            EXPECT_GE(line["percent"].get<int>(), 0);
            EXPECT_LE(line["percent"].get<int>(), 100);
            ++progress;
        }
    }
    EXPECT_TRUE(completed);
    EXPECT_GT(progress, 0);
    EXPECT_EQ(ResultLines(lines).size(), 1u);
    ExpectFlashed("flash-hmq-vintrel");
}

TEST_F(OrxflashFlash, PhoneOfAnotherPlatformFailsAloneAndTheExitStatusSaysSo) {
    Release();
    ProcessRun run = Orxflash("flash fw.shx --json --sim " + Phone("flash-hmq-vintrel") +
                              " --sim " + Phone("flash-r4x-dorsk"));
    EXPECT_EQ(run.status, 1) << run.err;
    std::vector<json> lines = JsonLines(run.out);
    std::vector<json> results = ResultLines(lines);
    EXPECT_EQ(results.size(), 2u);
    EXPECT_TRUE(HasLine(results, json::parse(R"({"device":4,"command":"flash","result":0,
                                                  "ok":true})")));
    EXPECT_TRUE(HasLine(results, json::parse(R"({"device":1,"command":"flash","result":52,
                                                  "ok":false})")));
    bool dorskError = false;
    for (const json& line : lines) {
        ASSERT_TRUE(line["device"] == 1 || line["device"] == 4) << line;
        std::string text = line.value("text", "");
        std::string other = line["device"] == 1 ? "Phone[0004]" : "Phone[0001]";
        EXPECT_EQ(text.find(other), std::string::npos) << line;
        dorskError |= line["device"] == 1 && line.value("event", "") == "error";
    }
    EXPECT_TRUE(dorskError);
    ExpectFlashed("flash-hmq-vintrel");
    ExpectUntouched("flash-r4x-dorsk");
}

TEST_F(OrxflashFlash, DeviceOptionFlashesOnlyTheNamedPhone) {
    Release();
    ProcessRun run = Orxflash("flash fw.shx -d 7 --json --sim " + Phone("flash-hmq-vintrel") +
                              " --sim " + Phone("kestrova-t340e"));
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<json> lines = JsonLines(run.out);
    for (const json& line : lines) {
        EXPECT_EQ(line["device"], 7) << line;
    }
    EXPECT_EQ(ResultLines(lines).size(), 1u);
    ExpectFlashed("kestrova-t340e");
    ExpectUntouched("flash-hmq-vintrel");
}

TEST_F(OrxflashFlash, PhonesSharingAJobSlotAreBothFlashed) {
    // Serial number 1000 and number 128 share the module's job slot 128.
    built = testsupport::WriteShx(testsupport::FlashableManifest(1, 1), "fw.shx");
    ProcessRun run = Orxflash("flash fw.shx --json --sim " + Phone("serial-1000") + " --sim " +
                              Phone("flash-r4x-dorsk", "usb-128", 128));
    EXPECT_EQ(run.status, 0) << run.err;
    std::vector<json> results = ResultLines(JsonLines(run.out));
    EXPECT_EQ(results.size(), 2u);
    for (int device : {128, 1000}) {
        json result = {{"device", device}, {"command", "flash"}, {"result", 0}, {"ok", true}};
        EXPECT_TRUE(HasLine(results, result)) << run.out;
    }
    ExpectFlashed("serial-1000");
    ExpectFlashed("usb-128");
}

TEST_F(OrxflashFlash, WithoutATerminalEveryLineIsTaggedWithItsPhone) {
    Release();
    ProcessRun run = Orxflash("flash fw.shx --sim " + Phone("flash-hmq-vintrel") + " --sim " +
                              Phone("flash-r4x-dorsk"));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out.find('\x1b'), std::string::npos);
    std::regex tagged("Phone\\[000[14]\\]: .*");
    size_t start = 0;
    for (size_t end; (end = run.out.find('\n', start)) != std::string::npos; start = end + 1) {
        std::string line = run.out.substr(start, end - start);
        EXPECT_TRUE(std::regex_match(line, tagged)) << line;
        EXPECT_EQ(line.find("Phone[", 1), std::string::npos) << "tagged twice: " << line;
    }
    EXPECT_NE(run.out.find("Phone[0004]: FLASH COMPLETED!!!.\n"), std::string::npos);
    EXPECT_NE(run.out.find("Phone[0004]: flash succeeded\n"), std::string::npos);
    EXPECT_NE(run.out.find("Phone[0001]: error: "), std::string::npos);
    EXPECT_NE(run.out.find("Phone[0001]: flash FAILED (result 52)\n"), std::string::npos);
}

TEST_F(OrxflashFlash, OnATerminalEachPhoneKeepsOneLineWithItsOutcome) {
    Release();
    ProcessRun run =
        testsupport::OrxflashOnTerminal({"flash", "fw.shx", "--sim", Phone("flash-hmq-vintrel"),
                                         "--sim", Phone("flash-r4x-dorsk")});
    EXPECT_EQ(run.status, 1);
    std::vector<std::string> screen = Screen(run.out);
    ASSERT_FALSE(screen.empty());
    EXPECT_EQ(screen[0], "Flashing fw.shx onto 2 phones:");  // the board never climbs above
    auto rowOf = [&](const std::string& tag) {
        return std::count_if(screen.begin(), screen.end(), [&](const std::string& line) {
            return line.rfind(tag + " [", 0) == 0;
        });
    };
    EXPECT_EQ(rowOf("Phone[0004]:"), 1) << run.out;
    EXPECT_EQ(rowOf("Phone[0001]:"), 1) << run.out;
    std::regex done("Phone\\[0004\\]: \\[#{20}\\] 100% flashed +Phone is powered DOWN!!! *");
    std::regex failed("Phone\\[0001\\]: \\[[#.]{20}\\] .* FAILED +\\S.*");
    EXPECT_TRUE(std::any_of(screen.begin(), screen.end(), [&](const std::string& l) {
        return std::regex_match(l, done);
    })) << run.out;
    EXPECT_TRUE(std::any_of(screen.begin(), screen.end(), [&](const std::string& l) {
        return std::regex_match(l, failed);
    })) << run.out;
    // The failed phone's errors are listed in full under the board.
    EXPECT_TRUE(std::any_of(screen.begin(), screen.end(), [](const std::string& l) {
        return l.rfind("Phone[0001]: error: ", 0) == 0;
    }));
    ExpectFlashed("flash-hmq-vintrel");
}

TEST_F(OrxflashFlash, ConsoleRouteIsFlashItselfAndExitsOneWhenAPhoneFailed) {
    Release();
    ProcessRun run = Orxflash("flash fw.shx --console --sim " + Phone("flash-hmq-vintrel") +
                              " --sim " + Phone("flash-r4x-dorsk"));
    EXPECT_EQ(run.status, 1) << run.err;  // Flash returns 0; the Dorsk phone failed
    EXPECT_NE(run.out.find("Phone[0004]: FLASH COMPLETED!!!.\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Phone[0001]: *********Flash FAILED!!!*********\n"), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("Phone[0004]: flash succeeded\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Phone[0001]: flash FAILED (result 52)\n"), std::string::npos);
    EXPECT_NE(run.err.find("orxflash: phone 1 was not flashed: Error verifying Subscriber Unit "
                           "Info: Chipset type does not match. (result 52)\n"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(run.err.find("phone 4"), std::string::npos) << run.err;
    ExpectFlashed("flash-hmq-vintrel");
    ExpectUntouched("flash-r4x-dorsk");
}

TEST_F(OrxflashFlash, NoPhoneAndContradictoryOptionsAreFailures) {
    Release();
    ProcessRun run = Orxflash("flash fw.shx");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("no phone connected"), std::string::npos) << run.err;
    EXPECT_NE(Orxflash("flash fw.shx --console -d 4").status, 0);
    EXPECT_NE(Orxflash("flash fw.shx --console --json").status, 0);
    EXPECT_NE(Orxflash("flash fw.shx -d 70000").status, 0);
    EXPECT_NE(Orxflash("verify fw.shx").status, 0);  // verify needs its phone
}

TEST_F(OrxflashFlash, VerifyAfterFlashPassesInANewProcessAndChangesNothing) {
    Release();
    std::string phone = Phone("flash-hmq-vintrel");
    ProcessRun before = Orxflash("verify fw.shx -d 4 --json --sim " + phone);
    EXPECT_EQ(before.status, 1);
    std::vector<json> lines = JsonLines(before.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(),
              json::parse(R"({"device":4,"command":"verify","result":52,"ok":false})"));
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const json& l) {
        return l["device"] == 4 && l.value("text", "") == "Verify FAILED!!!";
    })) << before.out;
    ExpectUntouched("flash-hmq-vintrel");

    ASSERT_EQ(Orxflash("flash fw.shx --sim " + phone).status, 0);
    ProcessRun after = Orxflash("verify fw.shx -d 4 --sim " + phone);
    EXPECT_EQ(after.status, 0) << after.err << after.out;
    EXPECT_NE(after.out.find("Verify Successful\n"), std::string::npos) << after.out;
    EXPECT_NE(after.out.find("Phone[0004]: verify succeeded\n"), std::string::npos);
    lines = JsonLines(Orxflash("verify fw.shx -d 4 --json --sim " + phone).out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), json::parse(R"({"device":4,"command":"verify","result":0,"ok":true})"));
    ExpectFlashed("flash-hmq-vintrel");
}

TEST_F(OrxflashFlash, InterruptStopsEveryPhoneAndStillPrintsEachOutcome) {
    Release();
    // Slow links, so the signal comes while the phones are being programmed.
    json slow = json::parse(testsupport::ReadText(scratch.File(Phone("flash-hmq-vintrel"))));
    slow["linkBytesPerSecond"] = 200000;
    testsupport::WriteText(scratch.File("slow-4.json"), slow.dump());
    slow = json::parse(testsupport::ReadText(scratch.File(Phone("kestrova-t340e"))));
    slow["linkBytesPerSecond"] = 200000;
    testsupport::WriteText(scratch.File("slow-7.json"), slow.dump());
    for (int signal : {SIGINT, SIGTERM}) {
        ProcessRun run =
            OrxflashSignalled({"flash", "fw.shx", "--sim", "slow-4.json", "--sim", "slow-7.json"},
                              "Flashing Code Group", signal);
        EXPECT_EQ(run.status, 128 + signal) << run.err << run.out;
        for (const char* phone : {"Phone[0004]: flash ", "Phone[0007]: flash "}) {
            EXPECT_NE(run.out.find(phone), std::string::npos) << phone << "\n" << run.out;
        }
        EXPECT_NE(run.err.find("stopping every phone"), std::string::npos) << run.err;
    }
    // A stopped phone flashes on the next attempt.
    ASSERT_EQ(Orxflash("flash fw.shx --sim " + Phone("flash-hmq-vintrel")).status, 0);
    ExpectFlashed("flash-hmq-vintrel");
}

TEST_F(OrxflashFlash, DeviceNumberTheModuleCannotTakeIsRefusedWithTheReason) {
    Release();
    for (const char* command : {"flash fw.shx -d 500", "verify fw.shx -d 160"}) {
        ProcessRun run = Orxflash(command);
        EXPECT_EQ(run.status, 1) << command;
        EXPECT_NE(run.err.find("the module takes device numbers 0 to 159 and the serial ports "
                               "1000 to 1031 only"),
                  std::string::npos)
            << command << ": " << run.err;
        EXPECT_EQ(run.out.find("result 3"), std::string::npos) << run.out;
    }
}

TEST_F(OrxflashFlash, DevicesNamesBlankPhonesAsIdentificationDoes) {
    ProcessRun run = Orxflash("devices --json --sim " + Phone("blank-r4x-dorsk") + " --sim " +
                              Phone("blank-j617-tavenor") + " --sim " + Phone("flash-hmq-vintrel"));
    ASSERT_EQ(run.status, 0) << run.err;
    std::map<int, std::string> platforms;
    for (const json& phone : json::parse(run.out)) {
        platforms[phone["device"].get<int>()] = phone["platform"].get<std::string>();
    }
    EXPECT_EQ(platforms, (std::map<int, std::string>{
                             {4, "GSM k.380"}, {11, "Blank CDMA Dorsk"}, {12, "Blank Tavenor"}}));
}

TEST(OrxflashVersion, PrintsTheModulesVersionFromAnyDirectory) {
    testsupport::ScratchDir scratch;
    ProcessRun run = Orxflash("version");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(std::regex_match(run.out, std::regex("ORX_FP_Flash [0-9]+(\\.[0-9]+){3}\n")))
        << run.out;
}

TEST(OrxflashVersion, ModuleLoadedFromAnotherFileSaysWhyItHasNoVersion) {
    testsupport::ScratchDir scratch;
    std::error_code ignored;
    std::filesystem::path bin =
        std::filesystem::read_symlink("/proc/self/exe", ignored).parent_path();
    std::filesystem::copy_file(bin / "ORX_FP_Flash.so", scratch.File("renamed.so"));
    ProcessRun run = Orxflash("--module renamed.so version");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("Error getting file version info size"), std::string::npos) << run.err;
}

class OrxflashDemo : public ::testing::Test {
  protected:
    testsupport::ScratchDir scratch;
};

TEST_F(OrxflashDemo, FlashesAndVerifiesEveryPhoneAndKeepsTheComboPhonesSettings) {
    ProcessRun run = Orxflash("demo --dir demo --json");
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<json> lines = JsonLines(run.out);
    ASSERT_FALSE(lines.empty());
    const json& summary = lines.back();
    EXPECT_EQ(summary["ok"], true);
    EXPECT_EQ(std::filesystem::path(summary["directory"].get<std::string>()).filename(), "demo");
    std::set<int> devices;
    for (const json& phone : summary["summary"]) {
        devices.insert(phone["device"].get<int>());
        EXPECT_EQ(phone["flash"], 0) << phone;
        EXPECT_EQ(phone["verify"], 0) << phone;
        EXPECT_EQ(phone["verdict"], "Verify Successful") << phone;
        EXPECT_EQ(phone["settingsKept"], phone["device"] == 7 ? json(true) : json(nullptr));
    }
    EXPECT_EQ(devices, (std::set<int>{4, 7, 11, 1000}));
    for (int device : devices) {
        for (const char* step : {"flash", "verify"}) {
            json result = {{"device", device}, {"command", step}, {"result", 0}, {"ok", true}};
            EXPECT_TRUE(HasLine(lines, result)) << result;
        }
    }
    for (const char* release : {"k380.shx", "k380-combo.shx", "dorsk.shx"}) {
        EXPECT_TRUE(std::filesystem::exists(scratch.File(std::string("demo/") + release)));
    }
}

TEST_F(OrxflashDemo, SummaryTableNamesEveryPhone) {
    ProcessRun run = Orxflash("demo --dir demo");
    ASSERT_EQ(run.status, 0) << run.err;
    for (const char* row : {"\n4 +Flash HMQ Vintrel .* ok +Verify Successful +-\n",
                            "\n7 +Kestrova T.340e .* ok +Verify Successful +kept\n",
                            "\n11 +Blank R4X Dorsk .* ok +Verify Successful +-\n",
                            "\n1000 +\\(none: serial\\) .* ok +Verify Successful +-\n"}) {
        EXPECT_TRUE(std::regex_search(run.out, std::regex(row))) << row << "\n" << run.out;
    }
    EXPECT_NE(run.out.find("\n4 of 4 phones flashed and verified.\n"), std::string::npos);
}

TEST(OrxflashHelp, EveryFlashingCommandExplainsItself) {
    testsupport::ScratchDir scratch;
    const std::vector<std::pair<std::string, std::vector<std::string>>> commands = {
        {"flash", {"SUPERFILE", "--device", "--sim", "--json", "--console"}},
        {"verify", {"SUPERFILE", "--device", "--sim", "--json"}},
        {"version", {"UTCGetVersion"}},
        {"demo", {"--dir", "--json"}}};
    for (const auto& [command, words] : commands) {
        ProcessRun run = Orxflash(command + " --help");
        EXPECT_EQ(run.status, 0) << command;
        for (const std::string& word : words) {
            EXPECT_NE(run.out.find(word), std::string::npos) << command << ": " << word;
        }
    }
}

}  // namespace
