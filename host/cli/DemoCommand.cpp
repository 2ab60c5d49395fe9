#include "DemoCommand.h"

#include <stdlib.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>

#include "DemoFiles.h"
#include "DemoPlan.h"
#include "DemoSummary.h"
#include "FailureReason.h"
#include "FlashModule.h"
#include "OrxHost.h"
#include "Phone.h"
#include "PhoneJobs.h"
#include "PhoneReport.h"
#include "WorkingDirectory.h"

namespace {

const std::vector<std::string> kVerdicts = {"Verify Successful", "Verify FAILED!!!"};

struct DemoSetup {
    std::vector<std::shared_ptr<phonesim::Phone>> phones;
    std::vector<std::vector<uint8_t>> settingsBefore;
    std::vector<PhoneJob> jobs;
    std::vector<DemoRow> rows;
};

bool MakeDirectory(const std::string& asked, std::filesystem::path& directory) {
    std::error_code error;
    if (asked.empty()) {
        std::string pattern =
            (std::filesystem::temp_directory_path(error) / "orxflash-demo-XXXXXX").string();
        if (error || mkdtemp(pattern.data()) == nullptr) {
            std::fprintf(stderr, "orxflash: cannot make a demo directory\n");
            return false;
        }
        directory = pattern;
        return true;
    }
    directory = std::filesystem::absolute(asked, error);
    std::filesystem::create_directories(directory, error);
    if (error) {
        std::fprintf(stderr, "orxflash: cannot make %s: %s\n", asked.c_str(),
                     error.message().c_str());
        return false;
    }
    return true;
}

// Builds the releases and plugs in the phones, each with its release.
bool SetUp(const std::filesystem::path& directory, DemoSetup& setup) {
    try {
        std::map<std::string, std::string> releases = BuildDemoReleases(directory);
        for (const DemoPhone& plan : DemoPhones()) {
            auto phone =
                orxhost::AttachPhone(phonesim::Phone::FromJson(DemoFile(plan.profile), directory));
            const std::string& superfile = releases.at(plan.release);
            setup.phones.push_back(phone);
            setup.settingsBefore.push_back(phone->SettingsData());
            setup.jobs.push_back({phone->DeviceId(), superfile});
            DemoRow row;
            row.deviceId = phone->DeviceId();
            row.descriptor = phone->Descriptor().value_or("");
            row.role = plan.role;
            row.superfile = std::filesystem::path(superfile).filename().string();
            setup.rows.push_back(row);
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "orxflash: demo set-up failed: %s\n", error.what());
        return false;
    }
    return true;
}

// A phone switched off at the end of its flash is switched on again, as an
// operator would, so that it can be verified.
void PowerOnAgain(const DemoSetup& setup) {
    for (const auto& phone : setup.phones) {
        if (!phone->IsPowered()) {
            phone->PowerOn();
        }
    }
    ORXRefreshConnections();
}

}  // namespace

void AddDemoCommand(CLI::App& app, DemoOptions& options) {
    CLI::App* demo = app.add_subcommand(
        "demo", "Flash and verify four simulated phones at once, then sum up per phone");
    demo->footer(
        "Builds the sample releases, attaches four phones of two platforms (one in flash mode "
        "with older versions, one receiving a combo file whose settings must survive, a blank "
        "one and one on a serial line), flashes them all at once through FlashDevice, "
        "verifies each through VerifyDevice, and ends with a per-phone summary. Exit status 0 "
        "when every phone was flashed and verified and kept what it had to keep, 1 otherwise, "
        "with each failed phone's reason on standard error.");
    demo->add_option("--dir", options.directory,
                     "Directory for the superfiles, image files and error logs (created if "
                     "needed; default: a new one under the temporary directory, kept "
                     "afterwards)");
    demo->add_flag("--json", options.json,
                   "JSON lines: the phones' events and results as orxflash flash --json prints "
                   "them (verify results with \"command\":\"verify\"), then one line "
                   "{\"summary\":[{\"device\",\"descriptor\",\"role\",\"superfile\",\"flash\","
                   "\"verify\",\"verdict\",\"settingsKept\",\"ok\"}],\"ok\",\"directory\"}");
}

int RunDemoCommand(const DemoOptions& options, const std::string& modulePath) {
    std::string module = AbsolutePath(modulePath);
    std::filesystem::path directory;
    if (!MakeDirectory(options.directory, directory)) {
        return 1;
    }
    // The module writes its error logs into the current directory.
    WorkingDirectory inDemo(directory);
    FlashModule flashModule;
    std::string error;
    if (!inDemo.Entered() || !flashModule.Load(module, error)) {
        std::fprintf(stderr, "orxflash: %s\n",
                     error.empty() ? "cannot enter the demo directory" : error.c_str());
        return 1;
    }
    if (!FlashModule::Has(flashModule.flashDevice, "FlashDevice") ||
        !FlashModule::Has(flashModule.verifyDevice, "VerifyDevice")) {
        return 1;
    }
    DemoSetup setup;
    if (!SetUp(directory, setup)) {
        return 1;
    }
    if (int opened = flashModule.OpenHeadless(); opened != 0) {
        SayFailure("the module did not open", opened, AskFailure(flashModule, -1).reason);
        return 1;
    }
    std::vector<uint16_t> ids;
    for (const PhoneJob& job : setup.jobs) {
        ids.push_back(job.deviceId);
    }
    std::shared_ptr<PhoneReport> report = MakePhoneReport(ChooseReportStyle(options.json), ids);
    if (!options.json) {
        std::printf("Demo in %s: flashing %zu simulated phones at once, then verifying each.\n\n",
                    directory.c_str(), ids.size());
    }
    orxhost::SetDisplaySink(report);
    std::vector<int> flashed = FlashPhones(flashModule, setup.jobs, *report);
    // Asked now: each phone's verify replaces its flash's record.
    std::vector<PhoneFailure> notFlashed = PhoneFailures(flashModule, ids, flashed);
    PowerOnAgain(setup);
    std::vector<int> verified = VerifyPhones(flashModule, setup.jobs, *report);
    report->Finish();
    SayPhoneFailures(PhoneStep::Flash, notFlashed);
    SayPhoneFailures(flashModule, PhoneStep::Verify, ids, verified);
    flashModule.Close();
    orxhost::SetDisplaySink(nullptr);

    for (size_t i = 0; i < setup.rows.size(); ++i) {
        DemoRow& row = setup.rows[i];
        row.flashResult = flashed[i];
        row.verifyResult = verified[i];
        row.verdict = report->FirstSeen(row.deviceId, PhoneStep::Verify, kVerdicts);
        if (DemoPhones()[i].keepsSettings) {
            row.settingsKept = setup.phones[i]->SettingsData() == setup.settingsBefore[i];
        }
    }
    if (options.json) {
        nlohmann::ordered_json summary = DemoSummaryJson(setup.rows);
        summary["directory"] = directory.string();
        std::printf("%s\n",
                    summary.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
    } else {
        PrintDemoSummary(stdout, setup.rows);
    }
    bool passed = std::all_of(setup.rows.begin(), setup.rows.end(),
                              [](const DemoRow& row) { return row.Passed(); });
    return passed ? 0 : 1;
}
