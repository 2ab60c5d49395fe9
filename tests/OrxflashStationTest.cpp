// orxflash station as a production line runs it, in a separate process:
// simulated phones are plugged in and out at set times, and the test reads
// the station's lines and JSON events, and what each phone holds afterwards.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>

#include "PhoneFiles.h"
#include "ProcessRun.h"
#include "ResultsDb.h"
#include "ShxFiles.h"
#include "TerminalRun.h"
#include "TestSupport.h"

namespace {

using nlohmann::json;
using testsupport::JsonLines;
using testsupport::Orxflash;
using testsupport::OrxflashWatched;
using testsupport::ProcessRun;

std::vector<json> Events(const std::vector<json>& lines, const std::string& name) {
    std::vector<json> found;
    for (const json& line : lines) {
        if (line.value("event", "") == name) {
            found.push_back(line);
        }
    }
    return found;
}

class OrxflashStation : public ::testing::Test {
  protected:
    void SetUp() override { testsupport::WriteShx(testsupport::FlashableManifest(), "fw.shx"); }
    // An example phone under another name, keeping its flash in a state file
    // of that name, optionally on a slow link (bytes a second).
    std::string Phone(const std::string& name, const std::string& as, int linkSpeed = 0) {
        json profile = json::parse(testsupport::ReadText(testsupport::PhoneProfile(name)));
        profile["stateFile"] = as + ".state";
        if (linkSpeed > 0) {
            profile["linkBytesPerSecond"] = linkSpeed;
        }
        testsupport::WriteText(scratch.File(as + ".json"), profile.dump());
        return as + ".json";
    }

    testsupport::ScratchDir scratch;
};

// One station: a phone that passes, the same phone plugged in again (up to
// date), a phone of another platform (fails), a slow phone pulled out
// mid-flash (fails), and a last phone on the freed port (passes: count reached).
TEST_F(OrxflashStation, EveryPhoneGetsItsOutcomeAndTheCountEndsTheStation) {
    std::string hmq = Phone("flash-hmq-vintrel", "hmq");
    ProcessRun run = Orxflash(
        "station fw.shx --db results.sqlite --json --count 2 --unplug-after 0.1"
        " --sim " +
        hmq + "@0 --sim " + hmq + "@0 --sim " + Phone("flash-r4x-dorsk", "dorsk") + " --sim " +
        Phone("kestrova-t340e", "slow", 100000) + "@0+0.5 --sim " +
        Phone("kestrova-t340e", "t340e") + "@3");
    EXPECT_EQ(run.status, 0) << run.err << run.out;
    std::vector<json> lines = JsonLines(run.out);
    std::map<int, std::vector<std::string>> outcomes;
    std::set<int> attempts;
    for (const json& result : Events(lines, "result")) {
        outcomes[result["port"].get<int>()].push_back(result["outcome"]);
        attempts.insert(result["attempt"].get<int>());
        EXPECT_EQ(result["reason"] == "", result["outcome"] != "failed") << result;
    }
    using Outcomes = std::vector<std::string>;
    EXPECT_EQ(outcomes[4], (Outcomes{"passed", "up to date"})) << run.out;
    EXPECT_EQ(outcomes[1], (Outcomes{"failed"}));
    EXPECT_EQ(outcomes[7], (Outcomes{"failed", "passed"}));
    EXPECT_EQ(attempts.size(), 5u);
    for (const json& result : Events(lines, "result")) {
        if (result["port"] == 1) {
            EXPECT_EQ(result["reason"],
                      "Error verifying Subscriber Unit Info: Chipset type does not match.");
        }
    }
    // The slow phone was pulled out while it ran; the others were untouched by it.
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const json& l) {
        return l["event"] == "unplugged" && l["port"] == 7 && l["running"] == true;
    })) << run.out;
    json ended = lines.back();
    EXPECT_EQ(ended, json::parse(R"({"event":"ended","why":"count reached","passed":2,
                                     "failed":2,"upToDate":1})"));

    // Every attempt is a finished row of the station's, naming the superfile it was given.
    std::unique_ptr<orxresults::ResultsDb> db;
    orxresults::DbStatus opened =
        orxresults::ResultsDb::Open("results.sqlite", {orxresults::Access::ReadOnly}, db);
    ASSERT_TRUE(opened.ok()) << opened.message;
    std::vector<orxresults::Attempt> rows;
    ASSERT_TRUE(db->Attempts({}, rows).ok());
    std::map<int, std::vector<std::string>> recorded;
    for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
        recorded[row->start.port].push_back(orxresults::OutcomeName(row->outcome));
        EXPECT_EQ(row->start.command, orxresults::Command::Station);
        EXPECT_EQ(row->start.superfile, scratch.File("fw.shx"));
        EXPECT_FALSE(row->start.superfileChecksum.empty());
        EXPECT_TRUE(row->endedAt.has_value());
        EXPECT_EQ(row->reason.empty(), row->outcome != orxresults::Outcome::Failed);
        if (row->outcome == orxresults::Outcome::Passed) {
            EXPECT_GT(row->bytesSent, 100000u);  // the images went over the link
        }
    }
    EXPECT_EQ(recorded, outcomes);
}

TEST_F(OrxflashStation, PlainLinesTagEveryPhoneAndSayEachOutcome) {
    ProcessRun run =
        Orxflash("station fw.shx --no-db --count 1 --sim " + Phone("flash-hmq-vintrel", "hmq") +
                 " --sim " + Phone("flash-r4x-dorsk", "dorsk"));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.find('\x1b'), std::string::npos);
    std::regex tagged("(Phone\\[000[14]\\]|Station): .*");
    size_t start = 0;
    for (size_t end; (end = run.out.find('\n', start)) != std::string::npos; start = end + 1) {
        std::string line = run.out.substr(start, end - start);
        EXPECT_TRUE(std::regex_match(line, tagged)) << line;
    }
    for (const char* line :
         {"Phone[0004]: plugged in: Flash HMQ Vintrel (GSM k.380), attempt ", "Phone[0004]: PASS\n",
          "Phone[0001]: FAIL: Error verifying Subscriber Unit Info: Chipset type does not "
          "match. (result 52)\n",
          "Station: ended (count reached): 1 passed (of 1), 1 failed, 0 up to date, 0 running\n"}) {
        EXPECT_NE(run.out.find(line), std::string::npos) << line << "\n" << run.out;
    }
    // The check before a flash shows nothing of its own.
    EXPECT_FALSE(std::regex_search(run.out, std::regex("Verify (Successful|FAILED)"))) << run.out;
}

TEST_F(OrxflashStation, OnATerminalEachPortKeepsOneRowWithItsOutcomeInColour) {
    ProcessRun run = testsupport::OrxflashOnTerminal(
        {"station", "fw.shx", "--no-db", "--count", "1", "--sim", Phone("flash-hmq-vintrel", "hmq"),
         "--sim", Phone("flash-r4x-dorsk", "dorsk")});
    EXPECT_EQ(run.status, 0) << run.out;
    std::vector<std::string> screen = testsupport::Screen(run.out);
    ASSERT_FALSE(screen.empty());
    EXPECT_EQ(screen[0],
              "Station: fw.shx: ended (count reached): 1 passed (of 1), 1 failed, 0 "
              "up to date, 0 running");
    const std::vector<std::regex> rows = {
        std::regex("Phone\\[0004\\]: Flash HMQ Vintrel, GSM k\\.380 +\\[#{20}\\] 100%  PASS  +"
                   "Phone is powered DOWN!!!"),
        std::regex("Phone\\[0001\\]: Flash R4X Dorsk, CDMA Dorsk +\\[[#.]{20}\\] +FAIL  +"
                   "Error verifying Subscriber Unit.*")};
    for (const std::regex& row : rows) {
        EXPECT_EQ(
            std::count_if(screen.begin(), screen.end(),
                          [&](const std::string& line) { return std::regex_match(line, row); }),
            1)
            << run.out;
    }
    EXPECT_NE(run.out.find("\x1b[1;37;42m PASS \x1b[0m"), std::string::npos);
}

// Ctrl-C once: the running phone finishes and passes; twice: it is stopped
// and fails. No new phone starts after the first.
TEST_F(OrxflashStation, FirstCtrlCLetsThePhoneFinishTheSecondStopsIt) {
    for (int signals : {1, 2}) {
        std::string slow = Phone("flash-hmq-vintrel", "slow" + std::to_string(signals), 150000);
        int sent = 0;
        ProcessRun run = OrxflashWatched(
            {"station", "fw.shx", "--no-db", "--sim", slow, "--sim",
             Phone("kestrova-t340e", "late") + "@30"},
            [&](const std::string& out, pid_t child) {
                if (sent < signals && out.find("Flashing Code Group") != std::string::npos) {
                    kill(child, SIGINT);
                    ++sent;
                }
            });
        EXPECT_EQ(run.status, 130) << run.err << run.out;
        const char* outcome = signals == 1 ? "Phone[0004]: PASS\n" : "Phone[0004]: FAIL: ";
        EXPECT_NE(run.out.find(outcome), std::string::npos) << run.out;
        EXPECT_NE(run.out.find("Station: ended (interrupted)"), std::string::npos) << run.out;
        EXPECT_EQ(run.out.find("Phone[0007]"), std::string::npos) << run.out;
    }
}

TEST_F(OrxflashStation, ASuperfileReplacedOnDiskIsSaidAndNotPickedUp) {
    std::string slow = Phone("flash-hmq-vintrel", "slow", 150000);
    bool replaced = false;
    bool stopped = false;
    ProcessRun run = OrxflashWatched(
        {"station", "fw.shx", "--no-db", "--sim", slow}, [&](const std::string& out, pid_t child) {
            if (!replaced && out.find("Flashing Code Group") != std::string::npos) {
                testsupport::WriteText(scratch.File("fw.shx"), "not a superfile any more");
                replaced = true;
            }
            if (!stopped && out.find("Phone[0004]: PASS") != std::string::npos &&
                out.find("the superfile changed on disk") != std::string::npos) {
                kill(child, SIGINT);
                stopped = true;
            }
        });
    EXPECT_TRUE(stopped) << run.out;
    EXPECT_NE(run.out.find("Station: the superfile changed on disk; this station keeps flashing "
                           "the release it started with\n"),
              std::string::npos)
        << run.out;
}

// The results database moved away mid-run: said, the running phone finishes
// and no new one starts (the later phone would reach the count).
TEST_F(OrxflashStation, ADatabaseMovedAwayMidRunIsSaidAndStartsNoNewPhone) {
    bool moved = false;
    ProcessRun run = OrxflashWatched(
        {"station", "fw.shx", "--count", "2", "--sim", Phone("flash-hmq-vintrel", "slow", 150000),
         "--sim", Phone("kestrova-t340e", "later") + "@4"},
        [&](const std::string& out, pid_t) {
            if (!moved && out.find("Flashing Code Group") != std::string::npos) {
                std::filesystem::rename("orxflash-results.sqlite", "moved.sqlite");
                moved = true;
            }
        });
    EXPECT_EQ(run.status, 3) << run.out;
    for (const char* said :
         {"Phone[0004]: PASS\n",
          "Station: orxflash-results.sqlite: the results database was removed or replaced on "
          "disk; no new phone is started",
          "Station: ended (results database lost): 1 passed (of 2)"}) {
        EXPECT_NE(run.out.find(said), std::string::npos) << said << "\n" << run.out;
    }
}

TEST_F(OrxflashStation, BadInputStopsItBeforeAnyPhone) {
    std::string hmq = Phone("flash-hmq-vintrel", "hmq");
    testsupport::WriteText(scratch.File("bad.sqlite"), std::string(4096, 'x'));
    const std::vector<std::tuple<std::string, int, std::string>> cases = {
        {"station missing.shx --no-db", 1, "missing.shx"},
        {"station fw.shx --no-db --sim " + hmq + "@soon", 1, "ARRIVAL[+STAY]"},
        {"station fw.shx --no-db --sim none.json", 1, "none.json"},
        {"station fw.shx --db bad.sqlite --sim " + hmq, 3, "bad.sqlite"},
    };
    for (const auto& [command, status, said] : cases) {
        ProcessRun run = Orxflash(command);
        EXPECT_EQ(run.status, status) << command;
        EXPECT_NE(run.err.find(said), std::string::npos) << command << ": " << run.err;
        EXPECT_EQ(run.out, "") << command;
    }
}

}  // namespace
