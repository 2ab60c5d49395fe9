#include "StationCommand.h"

#include <CLI/CLI.hpp>
#include <cstdio>

#include "FailureReason.h"
#include "HostSession.h"
#include "StationAttempt.h"
#include "StationDbRecorder.h"
#include "StationRecorder.h"
#include "StationSchedule.h"
#include "StationSuperfile.h"
#include "StationWatcher.h"
#include "StdoutCapture.h"
#include "StopSignals.h"

namespace {

// The images are made once, before any phone: every attempt then finds them
// up to date. What the module prints meanwhile is caught, so that standard
// output holds only the station's own lines.
bool ConvertOnce(FlashModule& module, const std::string& copy) {
    int result = 0;
    {
        StdoutCapture quiet([](const std::string&) {});
        result = module.convertSuperfile(copy.c_str(), nullptr, nullptr);
    }
    if (result != 0) {
        SayFailure("cannot convert the superfile", result, AskFailure(module, -1).reason);
        return false;
    }
    return true;
}

// VerifyDevice reports on the route the last FlashDevice chose: a call that
// the module refuses for its arguments, touching no phone, makes it the
// host's per-device display, where the station reads each check's verdict.
void ChoosePerDeviceReports(FlashModule& module) {
    module.flashDevice(0, nullptr);
}

bool ParseSims(const std::vector<std::string>& texts, std::vector<SimArrival>& arrivals) {
    for (const std::string& text : texts) {
        std::string why;
        std::optional<SimArrival> arrival = ParseSimArrival(text, why);
        if (!arrival) {
            std::fprintf(stderr, "orxflash: %s\n", why.c_str());
            return false;
        }
        arrivals.push_back(*arrival);
    }
    return true;
}

}  // namespace

void AddStationCommand(CLI::App& app, StationOptions& options) {
    CLI::App* station = app.add_subcommand(
        "station", "Flash every phone as it is plugged in, port by port, until stopped");
    station->footer(
        "The superfile is copied into a work folder of the station's own and converted once; "
        "every phone is flashed from that copy, so a superfile replaced on disk meanwhile is "
        "said once and never picked up. The host's device list is watched: each phone that "
        "appears starts an attempt through FlashDevice on a thread of its own (up to the "
        "module's 160 job slots); a phone that already holds the superfile (VerifyDevice "
        "passes) is shown up to date and not flashed, unless --force. One row per port "
        "shows the phone, its progress and latest status, then PASS or FAIL with the reason; "
        "a new phone on a port starts a new attempt. Ctrl-C (or SIGTERM) starts no new phone "
        "and lets the running ones finish; a second one stops them after their current "
        "packet; a third quits at once. Every attempt is recorded in the results database "
        "(command station; up-to-date phones too): its row is written when the attempt "
        "starts and completed when it ends. Exit status 0 when --count phones passed, 130 "
        "(143) after a signal, 1 when the station cannot start, 3 when the database cannot "
        "be opened or is removed or replaced on disk while the station runs, which then starts "
        "no new phone (--no-db runs without a record).");
    station->add_option("SUPERFILE", options.superfile, "The superfile (.shx) to flash")
        ->required();
    station->add_option("--count", options.count, "End once this many phones passed")
        ->check(CLI::Range(1, 1000000));
    AddRecordOptions(*station, options.record);
    station->add_option("--sim", options.sims,
                        "Plug a simulated phone in from a profile, ARRIVAL seconds after the "
                        "start (default 0), and out again STAY seconds after it arrived "
                        "(repeatable): PROFILE[@ARRIVAL[+STAY]]");
    station
        ->add_option("--unplug-after", options.unplugAfter,
                     "Unplug each simulated phone this many seconds after its outcome, "
                     "freeing its port for the next")
        ->check(CLI::NonNegativeNumber);
    station->add_flag("--json", options.json,
                      "One JSON event per line (attempt, checking, flashing, status, error, "
                      "progress, busy, result, unplugged, counts, notice, ended); see README");
    station->add_flag("--force", options.force, "Flash phones that are up to date too");
}

int RunStationCommand(const StationOptions& options, const std::string& modulePath) {
    std::vector<SimArrival> arrivals;
    if (!SuperfileReadable(options.superfile) || !ParseSims(options.sims, arrivals)) {
        return 1;
    }
    SimSchedule schedule(std::move(arrivals), options.unplugAfter);
    std::string why;
    if (!schedule.Check(why)) {
        std::fprintf(stderr, "orxflash: %s\n", why.c_str());
        return 1;
    }
    StationSuperfile superfile;
    if (!superfile.Take(options.superfile, why)) {
        std::fprintf(stderr, "orxflash: %s: %s\n", options.superfile.c_str(), why.c_str());
        return 1;
    }
    NoRecord noRecord;
    std::unique_ptr<StationDbRecorder> db;
    if (!options.record.noDb) {
        db = StationDbRecorder::Open(options.record, superfile.Copy());
        if (!db) {
            return kExitNoRecord;
        }
    }
    StationRecorder& recorder = db ? static_cast<StationRecorder&>(*db) : noRecord;
    FlashModule module;
    if (!OpenHostSession(module, modulePath, {}) ||
        !FlashModule::Has(module.flashDevice, "FlashDevice") ||
        !FlashModule::Has(module.verifyDevice, "VerifyDevice") ||
        !ConvertOnce(module, superfile.Copy())) {
        return 1;
    }
    ChoosePerDeviceReports(module);
    if (db) {
        db->Use(module);
    }
    std::shared_ptr<StationView> view =
        MakeStationView(ChooseStationStyle(options.json), options.superfile);
    orxhost::SetDisplaySink(view);
    if (db) {
        db->SayFailuresTo([view](const std::string& text) { view->Notice(text); });
    }
    SlotTable slots;
    std::atomic<bool> draining{false};
    std::atomic<bool> stopping{false};
    StationShared shared{module,           *view,         recorder, slots,   superfile.Original(),
                         superfile.Copy(), options.force, draining, stopping};
    std::string ended;
    StationCounts counts;
    int interrupted = 0;
    {
        // The first signal is the watcher's to read; from the second on, every
        // running job is asked to stop.
        StopOnSignals signals(
            [&module] {
                if (StopSignalCount() > 1) {
                    module.StopJobsIfAble();
                }
            },
            2,
            "orxflash: no new phone is started; the running ones finish (Ctrl-C again stops "
            "them after their current packet)");
        StationWatcher watcher(shared, schedule, superfile, options.count);
        ended = watcher.Run();
        counts = watcher.Counts();
        interrupted = StopSignal() != 0 ? signals.ExitStatus() : 0;
    }
    recorder.Drain();
    view->Closed(counts, ended);
    module.Close();
    orxhost::SetDisplaySink(nullptr);
    if (ended == kRecordLost) {
        return kExitNoRecord;
    }
    return interrupted != 0 ? interrupted : 0;
}
