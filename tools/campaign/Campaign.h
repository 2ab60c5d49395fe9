// The outcome campaign: releases x phone variants x faults at every request,
// run on parallel phones, with the figures that must stay at zero.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace campaign {

struct Options {
    uint64_t seed = 1;
    int releases = 56;  // at least 7 of each platform's shapes
    int runs = 0;       // 0: the whole matrix; else that many runs, sampled or extended
    bool sample = false;
    int jobs = 2;
    int show = 0;                    // failing cases printed in detail
    bool list = false;               // one line for every run
    int timeoutMs = 100;             // the device library's exchange time-out
    int boundMs = 20000;             // the watchdog of one attempt
    std::string examples;            // examples/phones
    std::string workDir;             // empty: a fresh temporary folder, removed afterwards
    std::vector<std::string> cases;  // only these cases (CaseId texts)
};

struct Figures {
    size_t runs = 0;
    size_t baselines = 0;
    size_t flashed = 0;
    size_t recovered = 0;
    size_t refused = 0;
    size_t falseSuccesses = 0;
    size_t notRecoverable = 0;
    size_t hangs = 0;
    size_t settingsLost = 0;
    double slowestSeconds = 0;
    std::string slowestCase;

    bool Clean() const { return falseSuccesses == 0 && notRecoverable == 0 && hangs == 0; }
};

// Runs the campaign, printing its figures (and the failing cases asked for)
// to out. Throws std::runtime_error when it cannot be set up.
Figures RunCampaign(const Options& options, std::FILE* out);

}  // namespace campaign
