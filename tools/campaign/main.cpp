// orxcampaign: flashes simulated phones from seeded releases with a fault at
// every request and holds each run to the outcome promise (CaseRunner.h).
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iostream>

#include <CLI/CLI.hpp>

#include "Campaign.h"

namespace {

int Run(int argc, char** argv) {
    CLI::App app{
        "Runs the outcome campaign: seeded releases on every phone family and mode, a fault at "
        "every request. Exit status 0 when there was no false success, no phone left "
        "unrecoverable and no hang."};
    campaign::Options options;
    options.examples = ORX_CAMPAIGN_EXAMPLES;
    app.add_option("--seed", options.seed, "seed of the releases, phones and faults");
    app.add_option("--runs", options.runs,
                   "runs in all (fault-free ones included): the matrix is sampled down or "
                   "extended with random fault points; 0 (default) runs the whole matrix")
        ->check(CLI::NonNegativeNumber);
    app.add_flag("--sample", options.sample,
                 "a quick sample: one phone per release and 500 runs unless --runs says otherwise");
    app.add_option("--jobs", options.jobs, "phones flashed at once, each on a thread of its own")
        ->check(CLI::Range(1, 64));
    app.add_option("--releases", options.releases, "seeded releases (8 platforms, 7 shapes)")
        ->check(CLI::Range(1, 4096));
    app.add_option("--show", options.show, "print this many failing cases in detail")
        ->check(CLI::NonNegativeNumber);
    app.add_flag("--list", options.list,
                 "print every run's case, outcome, request count and last error reports");
    app.add_option("--case", options.cases,
                   "run only this case (as --show prints it), with its fault-free run; repeatable");
    app.add_option("--timeout-ms", options.timeoutMs,
                   "the device library's exchange time-out (ORX_DEVAPI_TIMEOUT_MS)")
        ->check(CLI::Range(1, 60000));
    app.add_option("--bound-ms", options.boundMs,
                   "watchdog of one flash attempt; an attempt over it counts as a hang")
        ->check(CLI::Range(100, 3600000));
    app.add_option("--examples", options.examples, "folder of the example phone profiles");
    app.add_option("--dir", options.workDir,
                   "working folder for superfiles and logs (default: a temporary one, removed)");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return app.exit(error);
    }
    campaign::Figures figures = campaign::RunCampaign(options, stdout);
    std::fflush(stdout);
    if (figures.hangs > 0) {
        // Hung jobs still run inside the module; leave without tearing it down under them.
        std::_Exit(1);
    }
    return figures.Clean() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::exception& error) {
        std::cerr << "orxcampaign: " << error.what() << '\n';
        return 2;
    }
}
