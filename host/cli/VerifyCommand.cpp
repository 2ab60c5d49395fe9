#include "VerifyCommand.h"

#include <CLI/CLI.hpp>
#include <memory>

#include "FailureReason.h"
#include "HostSession.h"
#include "JsonReport.h"
#include "LineReport.h"
#include "PhoneJobs.h"
#include "StdoutCapture.h"
#include "StopSignals.h"

namespace {

// One line the module printed on its console route, as a JSON event of the
// phone it is tagged with, else of the phone being verified (the verdict
// comes untagged). The console route does not tell statuses from errors.
nlohmann::ordered_json ConsoleEvent(const std::string& line, uint16_t verified) {
    nlohmann::ordered_json event;
    unsigned deviceId = 0;
    int consumed = 0;
    std::string text = line;
    if (std::sscanf(line.c_str(), "Phone[%u]: %n", &deviceId, &consumed) == 1 && consumed > 0 &&
        deviceId <= 0xFFFF) {
        text = line.substr(static_cast<size_t>(consumed));
    } else {
        deviceId = verified;
    }
    event["device"] = deviceId;
    event["event"] = "console";
    event["text"] = text;
    return event;
}

// JSON lines only: whatever the module prints itself while it verifies is
// caught and passed on as events, ahead of the result line.
int VerifyAsJson(FlashModule& module, const PhoneJob& job, PhoneJobObserver* observer) {
    auto report = std::make_shared<JsonReport>(stdout);
    orxhost::SetDisplaySink(report);
    int result = 0;
    {
        StdoutCapture capture([&report, &job](const std::string& line) {
            report->WriteLine(ConsoleEvent(line, job.deviceId));
        });
        report->SetOutput(capture.Original());
        result = VerifyPhone(module, job, observer);
        module.Close();
        capture.Stop();
        report->OnResult(job.deviceId, PhoneStep::Verify, result);
        report->SetOutput(stdout);
    }
    orxhost::SetDisplaySink(nullptr);
    return result;
}

}  // namespace

void AddVerifyCommand(CLI::App& app, VerifyOptions& options) {
    CLI::App* verify =
        app.add_subcommand("verify", "Check that a phone holds what a superfile holds");
    verify->footer(
        "Goes through the module's VerifyDevice: versions and checksums are compared and the "
        "module reports \"Verify Successful\" or \"Verify FAILED!!!\". Nothing is written to "
        "the phone. Exit status 0 when the phone matches, 1 otherwise (the reason is said on "
        "standard error); Ctrl-C (or SIGTERM) stops "
        "the verify, exit status 130 (143). The attempt is recorded in the results database "
        "(see orxflash history); when it cannot be opened or written, nothing is verified and "
        "the exit status is 3 (--no-db verifies without a record).");
    verify->add_option("SUPERFILE", options.superfile, "The superfile (.shx) to compare with")
        ->required();
    verify
        ->add_option("-d,--device", options.device,
                     "The phone, by the device number the host lists it under")
        ->required()
        ->check(CLI::Range(0, 65535));
    verify->add_option("--sim", options.simProfiles,
                       "Attach a simulated phone from a profile first (repeatable)");
    verify->add_flag("--json", options.json,
                     "JSON lines only: the module's reports as {\"device\",\"event\",\"text\"} "
                     "(\"console\" for lines it printed itself), then "
                     "{\"device\",\"command\":\"verify\",\"result\",\"ok\"}");
    AddRecordOptions(*verify, options.record);
}

int RunVerifyCommand(const VerifyOptions& options, const std::string& modulePath) {
    if (!SuperfileReadable(options.superfile)) {
        return 1;
    }
    std::unique_ptr<AttemptRecorder> recorder;
    if (!AttemptRecorder::Open(options.record, orxresults::Command::Verify, recorder)) {
        return kExitNoRecord;
    }
    FlashModule module;
    if (!OpenHostSession(module, modulePath, options.simProfiles) ||
        !FlashModule::Has(module.verifyDevice, "VerifyDevice")) {
        return 1;
    }
    PhoneJob job{static_cast<uint16_t>(options.device), AbsolutePath(options.superfile)};
    if (!ModuleTakesDevice(job.deviceId)) {
        SayDeviceNotTaken(job.deviceId, PhoneStep::Verify);
        return 1;
    }
    if (recorder) {
        recorder->Use(module);
    }
    int result = 0;
    int interrupted = 0;
    {
        StopOnSignals signals([&module] { module.StopJobsIfAble(); });
        if (options.json) {
            result = VerifyAsJson(module, job, recorder.get());
        } else {
            auto report = std::make_shared<LineReport>(stdout);
            orxhost::SetDisplaySink(report);
            result = VerifyPhones(module, {job}, *report, recorder.get()).front();
            module.Close();
            orxhost::SetDisplaySink(nullptr);
        }
        interrupted = StopSignal() != 0 ? signals.ExitStatus() : 0;
    }
    SayPhoneFailures(module, PhoneStep::Verify, {job.deviceId}, {result});
    if (interrupted != 0) {
        return interrupted;
    }
    if (recorder && !recorder->AllRecorded()) {
        return kExitNoRecord;
    }
    return result == 0 ? 0 : 1;
}
