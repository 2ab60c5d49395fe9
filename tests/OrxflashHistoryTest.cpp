// orxflash flash records each phone's attempt and orxflash history prints
// them: run as separate processes on simulated phones, as users run them.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "PhoneFiles.h"
#include "ProcessRun.h"
#include "ResultsDb.h"
#include "ShxFiles.h"
#include "TestSupport.h"

namespace {

using nlohmann::json;
using testsupport::JsonLines;
using testsupport::Orxflash;
using testsupport::ProcessRun;

class OrxflashHistory : public ::testing::Test {
  protected:
    // An example phone keeping its state here, changed as asked; its profile file for --sim.
    std::string Phone(const std::string& name, int deviceId, const json& faults = nullptr) {
        json profile = json::parse(testsupport::ReadText(testsupport::PhoneProfile(name)));
        std::string as = name + "-" + std::to_string(deviceId);
        profile["stateFile"] = as + ".state";
        profile["deviceId"] = deviceId;
        if (!faults.is_null()) {
            profile["faults"] = faults;
        }
        testsupport::WriteText(scratch.File(as + ".json"), profile.dump());
        return as + ".json";
    }
    void Release() { testsupport::WriteShx(testsupport::FlashableManifest(), "fw.shx"); }

    testsupport::ScratchDir scratch;
};

TEST_F(OrxflashHistory, FlashRecordsAPassedAndAFailedAttemptThatHistoryPrints) {
    Release();
    // Phone 9's link is cut at its third data packet.
    json cut = json::array({{{"action", "cut"}, {"command", "packet"}, {"occurrence", 3}}});
    ProcessRun flash = Orxflash("flash fw.shx --json --sim " + Phone("flash-hmq-vintrel", 4) +
                                " --sim " + Phone("flash-hmq-vintrel", 9, cut));
    ASSERT_EQ(flash.status, 1) << flash.err;

    ProcessRun history = Orxflash("history --json");
    ASSERT_EQ(history.status, 0) << history.err;
    std::vector<json> rows = JsonLines(history.out);
    ASSERT_EQ(rows.size(), 2u) << history.out;
    std::string superfile = (scratch.Path() / "fw.shx").lexically_normal().string();
    for (const json& row : rows) {
        bool passed = row["port"] == 4;
        EXPECT_EQ(row["result"], passed ? "passed" : "failed") << row;
        EXPECT_EQ(row["result_code"], passed ? 0 : 52) << row;
        EXPECT_EQ(row["reason"] == "", passed) << row;
        EXPECT_EQ(row["command"], "flash");
        EXPECT_EQ(row["superfile"], superfile);
        EXPECT_EQ(row["descriptor"], "Flash HMQ Vintrel");
        EXPECT_EQ(row["platform"], "GSM k.380");
        EXPECT_EQ(row["versions_before"], "v0x0200/v0x0350/v0xFFFF");
        EXPECT_NE(row["superfile_checksum"], "");
        EXPECT_NE(row["station"], "");
        EXPECT_NE(row["tool_version"], "");
        EXPECT_GT(row["bytes_sent"].get<uint64_t>(), 0u) << row;
        EXPECT_TRUE(row["ended_at"].is_string() && row["duration_ms"].is_number()) << row;
        EXPECT_LT(row["started_at"].get<std::string>(), row["ended_at"].get<std::string>());
    }
    // The flashed phone powered down holding the file, so it has the file's versions.
    const json& passed = rows[0]["port"] == 4 ? rows[0] : rows[1];
    EXPECT_NE(passed["versions_after"], passed["versions_before"]) << passed;

    ProcessRun csv = Orxflash("history --csv");
    ASSERT_EQ(csv.status, 0);
    EXPECT_EQ(csv.out.substr(0, csv.out.find('\n') + 1),
              "id,started_at,ended_at,station,port,descriptor,platform,versions_before,"
              "versions_after,superfile,superfile_checksum,command,result,result_code,reason,"
              "bytes_sent,duration_ms,tool_version\r\n");
    EXPECT_EQ(std::count(csv.out.begin(), csv.out.end(), '\n'), 3) << csv.out;

    std::vector<json> summary = JsonLines(Orxflash("history --summary --json").out);
    ASSERT_EQ(summary.size(), 1u);
    EXPECT_EQ(summary[0]["passed"], 1);
    EXPECT_EQ(summary[0]["failed"], 1);
    EXPECT_EQ(summary[0]["yield"], 0.5);
    EXPECT_TRUE(summary[0]["median_ms"].is_number());

    ProcessRun table = Orxflash("history --port 9");
    EXPECT_NE(table.out.find("flash   failed"), std::string::npos) << table.out;
    EXPECT_EQ(table.out.find("flash   passed"), std::string::npos) << table.out;
    EXPECT_NE(table.out.find("Summary per superfile and day (UTC):"), std::string::npos);
}

TEST_F(OrxflashHistory, ADatabaseThatCannotBeWrittenStopsTheFlashUnlessNoDb) {
    Release();
    testsupport::WriteText("bad.sqlite", std::string(4096, 'x'));
    std::string phone = Phone("flash-hmq-vintrel", 4);
    ProcessRun refused = Orxflash("flash fw.shx --db bad.sqlite --sim " + phone);
    EXPECT_EQ(refused.status, 3);
    EXPECT_NE(refused.err.find("cannot record the attempts: bad.sqlite: the file is corrupt"),
              std::string::npos)
        << refused.err;
    EXPECT_EQ(refused.out, "");

    EXPECT_EQ(Orxflash("flash fw.shx --no-db --sim " + phone).status, 0);
    EXPECT_FALSE(std::filesystem::exists("orxflash-results.sqlite"));
    EXPECT_EQ(Orxflash("history --db bad.sqlite").status, 3);
}

TEST_F(OrxflashHistory, BadValuesAndAMissingDatabaseAreSaid) {
    const std::tuple<const char*, int, const char*> cases[] = {
        {"history --since 2026-02-30", 2, "--since 2026-02-30: not a date"},
        {"history --port 70000", 2, "--port 70000: not a device number"},
        {"history --port four", 2, "--port four: not a device number"},
        {"history", 1, "no history: orxflash-results.sqlite: no such file"},
    };
    for (auto [arguments, status, says] : cases) {
        ProcessRun run = Orxflash(arguments);
        EXPECT_EQ(run.status, status) << arguments;
        EXPECT_NE(run.err.find(says), std::string::npos) << arguments << ": " << run.err;
    }
    EXPECT_FALSE(std::filesystem::exists("orxflash-results.sqlite"));
}

// A phone names itself, so its texts reach a factory's spreadsheet as text,
// never as a formula (numbers stay numbers), and a terminal as plain text.
TEST_F(OrxflashHistory, PhoneTextsReachSheetsAsTextAndTerminalsAsPlainText) {
    {
        std::unique_ptr<orxresults::ResultsDb> db;
        ASSERT_TRUE(orxresults::ResultsDb::Open(orxresults::kDefaultDbFile, {}, db).ok());
        orxresults::AttemptStart start;
        start.descriptor = "=HYPERLINK(\"x\")";
        start.platform = "-1.5";
        start.versionsBefore = "+v1";
        int64_t id = 0;
        ASSERT_TRUE(db->Begin(start, id).ok());
        std::string reason = "@cut\x1b[2J\rnext";
        ASSERT_TRUE(db->Finish(id, {"", orxresults::Outcome::Failed, 3, reason, "-", 0, 0}).ok());
    }
    ProcessRun csv = Orxflash("history --csv");
    ASSERT_EQ(csv.status, 0) << csv.err;
    for (const char* field :
         {",\"'=HYPERLINK(\"\"x\"\")\",-1.5,'+v1,'-,", ",\"'@cut\x1b[2J\rnext\","}) {
        EXPECT_NE(csv.out.find(field), std::string::npos) << field << "\n" << csv.out;
    }
    ProcessRun table = Orxflash("history");
    EXPECT_EQ(table.out.find_first_of("\x1b\r"), std::string::npos) << table.out;
    EXPECT_NE(table.out.find("@cut [2J next\n"), std::string::npos) << table.out;
}

}  // namespace
