#include "FlashCommand.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>

#include "FailureReason.h"
#include "HostSession.h"
#include "LineReport.h"
#include "PhoneJobs.h"
#include "PhoneReport.h"
#include "StopSignals.h"

namespace {

bool AllPassed(const std::vector<int>& results) {
    return std::all_of(results.begin(), results.end(), [](int r) { return r == 0; });
}

void SayNoPhone() {
    std::fprintf(stderr, "orxflash: no phone connected, nothing flashed\n");
}

// Each phone's outcome after Flash, from its job's record in the module.
// A phone without a failure counts as flashed only when Flash ran every job
// (a job that never started leaves no record) and the module keeps records.
std::vector<int> ConsoleOutcomes(const FlashModule& module, const std::vector<uint16_t>& devices,
                                 int flashResult) {
    std::vector<int> results;
    for (uint16_t deviceId : devices) {
        int code = AskFailure(module, deviceId).code;
        bool known = module.getFailureReason != nullptr && flashResult == 0;
        results.push_back(code != 0 || known ? code : flashResult);
    }
    return results;
}

// Flash itself: every listed phone, the jobs printing on standard output,
// then one outcome line per phone.
int RunConsoleFlash(FlashModule& module, const std::string& superfile, AttemptRecorder* recorder) {
    if (!FlashModule::Has(module.flash, "Flash")) {
        return 1;
    }
    std::vector<uint16_t> devices = ListedDevices();
    if (devices.empty()) {
        SayNoPhone();
        return 1;
    }
    orxhost::SetDisplaySink(std::make_shared<orxhost::ConsoleSink>());
    std::string path = AbsolutePath(superfile);
    // Flash takes every listed phone: each is recorded first, or none is flashed.
    if (recorder != nullptr) {
        for (uint16_t deviceId : devices) {
            if (!recorder->Starting({deviceId, path})) {
                return kExitNoRecord;
            }
        }
    }
    const char* const argList[] = {path.c_str()};
    int result = 0;
    int interrupted = 0;
    {
        StopOnSignals signals([&module] { module.StopJobsIfAble(); });
        result = module.flash(1, argList);
        interrupted = StopSignal() != 0 ? signals.ExitStatus() : 0;
    }
    std::fflush(stdout);
    if (result != 0) {
        SayFailure("Flash", result, AskFailure(module, -1).reason);
    }
    std::vector<int> results = ConsoleOutcomes(module, devices, result);
    if (recorder != nullptr) {
        for (size_t i = 0; i < devices.size(); ++i) {
            recorder->Ended({devices[i], path}, results[i]);
        }
    }
    LineReport outcomes(stdout);
    for (size_t i = 0; i < devices.size(); ++i) {
        outcomes.OnResult(devices[i], PhoneStep::Flash, results[i]);
    }
    SayPhoneFailures(module, PhoneStep::Flash, devices, results);
    module.Close();
    orxhost::SetDisplaySink(nullptr);
    if (interrupted != 0) {
        return interrupted;
    }
    if (recorder != nullptr && !recorder->AllRecorded()) {
        return kExitNoRecord;
    }
    return result == 0 && AllPassed(results) ? 0 : 1;
}

std::vector<uint16_t> ChosenDevices(const std::vector<int>& asked) {
    if (asked.empty()) {
        return ListedDevices();
    }
    std::vector<uint16_t> devices;
    for (int id : asked) {
        auto deviceId = static_cast<uint16_t>(id);
        if (std::find(devices.begin(), devices.end(), deviceId) == devices.end()) {
            devices.push_back(deviceId);
        }
    }
    return devices;
}

}  // namespace

void AddFlashCommand(CLI::App& app, FlashOptions& options) {
    CLI::App* flash =
        app.add_subcommand("flash", "Flash the connected phones from a superfile, all at once");
    flash->footer(
        "Each phone is flashed through the module's FlashDevice on a thread of its own, so its "
        "reports reach the host under its device number. On a terminal every phone has a line "
        "with its progress and latest status; otherwise each status and error is one line "
        "tagged Phone[NNNN]. Exit status 0 when every phone was flashed, 1 otherwise (also when "
        "no phone is connected or the superfile cannot be opened); the reason of each failure "
        "is said on standard error. When done, the module removes the image files it converted "
        "beside the superfile. Ctrl-C (or SIGTERM) asks every phone to stop after its current "
        "packet; each phone's outcome is still printed and the exit status is 130 (143 for "
        "SIGTERM); a second Ctrl-C quits at once. Device numbers the module cannot take (160 to "
        "999, above 1031) are refused with the reason. Each phone's attempt is recorded in the "
        "results database (see orxflash history): its row is written before the phone starts "
        "and completed when it ends. When the database cannot be opened or written, the phones "
        "are not flashed and the exit status is 3 (--no-db flashes without a record).");
    flash->add_option("SUPERFILE", options.superfile, "The superfile (.shx) to flash")->required();
    CLI::Option* devices =
        flash
            ->add_option("-d,--device", options.devices,
                         "Flash only this phone, by the device number the host lists it under "
                         "(repeatable); default: every connected phone")
            ->check(CLI::Range(0, 65535));
    flash->add_option("--sim", options.simProfiles,
                      "Attach a simulated phone from a profile first (repeatable)");
    CLI::Option* json = flash->add_flag(
        "--json", options.json,
        "One JSON object per line: {\"device\",\"event\":\"status\"|\"error\",\"text\"}, "
        "{\"device\",\"event\":\"progress\",\"percent\"}, {\"device\",\"event\":\"busy\","
        "\"busy\"} around long device operations, and per phone "
        "{\"device\",\"command\":\"flash\",\"result\",\"ok\"}");
    flash
        ->add_flag("--console", options.console,
                   "Call the module's Flash instead: every connected phone, each job printing "
                   "its reports on standard output, then one outcome line per phone; exit "
                   "status 0 when Flash returned 0 and every phone was flashed, 1 otherwise")
        ->excludes(devices)
        ->excludes(json);
    AddRecordOptions(*flash, options.record);
}

int RunFlashCommand(const FlashOptions& options, const std::string& modulePath) {
    // A superfile that cannot be opened is refused before any phone is touched.
    if (!SuperfileReadable(options.superfile)) {
        return 1;
    }
    std::unique_ptr<AttemptRecorder> recorder;
    if (!AttemptRecorder::Open(options.record, orxresults::Command::Flash, recorder)) {
        return kExitNoRecord;
    }
    FlashModule module;
    if (!OpenHostSession(module, modulePath, options.simProfiles)) {
        return 1;
    }
    if (recorder) {
        recorder->Use(module);
    }
    if (options.console) {
        return RunConsoleFlash(module, options.superfile, recorder.get());
    }
    if (!FlashModule::Has(module.flashDevice, "FlashDevice")) {
        return 1;
    }
    std::vector<uint16_t> devices = ChosenDevices(options.devices);
    if (devices.empty()) {
        SayNoPhone();
        return 1;
    }
    // Phones the module has no job slot for are refused here, with the reason.
    size_t asked = devices.size();
    std::erase_if(devices, [](uint16_t deviceId) {
        if (ModuleTakesDevice(deviceId)) {
            return false;
        }
        SayDeviceNotTaken(deviceId, PhoneStep::Flash);
        return true;
    });
    if (devices.empty()) {
        return 1;
    }
    const bool allTaken = devices.size() == asked;
    ReportStyle style = ChooseReportStyle(options.json);
    if (style == ReportStyle::Board) {
        std::printf("Flashing %s onto %zu phone%s:\n", options.superfile.c_str(), devices.size(),
                    devices.size() == 1 ? "" : "s");
    }
    std::shared_ptr<PhoneReport> report = MakePhoneReport(style, devices);
    orxhost::SetDisplaySink(report);

    std::string superfile = AbsolutePath(options.superfile);
    std::vector<PhoneJob> jobs;
    for (uint16_t deviceId : devices) {
        jobs.push_back({deviceId, superfile});
    }
    std::vector<int> results;
    int interrupted = 0;
    {
        StopOnSignals signals([&module] { module.StopJobsIfAble(); });
        results = FlashPhones(module, jobs, *report, recorder.get());
        interrupted = StopSignal() != 0 ? signals.ExitStatus() : 0;
    }
    report->Finish();
    SayPhoneFailures(module, PhoneStep::Flash, devices, results);
    module.Close();
    orxhost::SetDisplaySink(nullptr);
    if (interrupted != 0) {
        std::fprintf(stderr,
                     "orxflash: stopped by a signal; the phones that did not finish "
                     "can be flashed again\n");
        return interrupted;
    }
    if (recorder && !recorder->AllRecorded()) {
        return kExitNoRecord;
    }
    return allTaken && AllPassed(results) ? 0 : 1;
}
