#include "Campaign.h"

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <thread>

#include "CaseRunner.h"
#include "DeviceNumbers.h"
#include "SeededRandom.h"

namespace campaign {

namespace {

constexpr uint32_t kEveryRequestUpTo = 48;  // runs this short get a fault at every request
constexpr uint32_t kSampledPoints = 12;     // points of a longer run: its ends and some between
constexpr int kSampleRuns = 500;

struct Combo {
    size_t release = 0;
    size_t variant = 0;
    Baseline baseline;
    bool baselineKnown = false;
};

struct Job {
    size_t combo = 0;
    std::optional<FaultPlan> fault;
};

// USB numbers 1 to 127 and serial numbers 1000 to 1031, one worker each; the
// number of a job that hung is never handed out again.
class DeviceNumbers {
  public:
    std::optional<uint16_t> Take(bool serial) {
        std::lock_guard guard(lock);
        uint16_t& next = serial ? nextSerial : nextUsb;
        if (next > (serial ? orx::kLastSerialDevice : 127)) {
            return std::nullopt;
        }
        return next++;
    }

  private:
    std::mutex lock;
    uint16_t nextUsb = 1;
    uint16_t nextSerial = orx::kFirstSerialDevice;
};

class Worker {
  public:
    explicit Worker(DeviceNumbers& pool) : pool(pool) {}
    std::optional<uint16_t> Number(bool serial) {
        std::optional<uint16_t>& held = serial ? this->serial : usb;
        if (!held) {
            held = pool.Take(serial);
        }
        return held;
    }
    void Retire(bool serial) { (serial ? this->serial : usb).reset(); }

  private:
    DeviceNumbers& pool;
    std::optional<uint16_t> usb;
    std::optional<uint16_t> serial;
};

// A fresh working folder: the module writes its error logs into the current one.
class WorkFolder {
  public:
    explicit WorkFolder(const std::string& wanted) : previous(std::filesystem::current_path()) {
        if (wanted.empty()) {
            std::string pattern =
                (std::filesystem::temp_directory_path() / "orxcampaign-XXXXXX").string();
            if (mkdtemp(pattern.data()) == nullptr) {
                throw std::runtime_error("cannot create a working folder in " + pattern);
            }
            path = pattern;
            temporary = true;
        } else {
            path = std::filesystem::absolute(wanted);
            std::filesystem::create_directories(path);
        }
        std::filesystem::current_path(path);
    }
    ~WorkFolder() {
        std::error_code ignored;
        std::filesystem::current_path(previous, ignored);
        if (temporary && !keep) {
            std::filesystem::remove_all(path, ignored);
        }
    }
    std::string File(const std::string& name) const { return (path / name).string(); }
    std::string Path() const { return path.string(); }
    bool keep = false;

  private:
    std::filesystem::path previous;
    std::filesystem::path path;
    bool temporary = false;
};

class Matrix {
  public:
    Matrix(const Options& options, std::FILE* out) : options(options), out(out) {}

    Figures Run();

  private:
    void Prepare(const WorkFolder& folder);
    void PlanCases();
    void WriteProfiles(const WorkFolder& folder) const;
    void PlanFaults();
    void Execute(const std::vector<Job>& jobs, std::vector<RunRecord>& records);
    void Count(const RunRecord& record, Figures& figures) const;
    void Print(const Figures& figures, const std::vector<const RunRecord*>& failing);
    void PrintCase(const RunRecord& record);

    const Options& options;
    std::FILE* out;
    std::vector<Release> releases;
    std::vector<PhoneVariant> variants;
    std::vector<Combo> combos;
    std::vector<Job> faulted;
    std::optional<ModuleHost> host;
    DeviceNumbers numbers;
    std::map<std::string, std::pair<size_t, size_t>> byKind;  // failing, runs
};

std::string ProfileName(const Release& release, const PhoneVariant& variant) {
    return "m" + std::to_string(release.index) + "-" + variant.name + ".json";
}

size_t ReleaseCount(const Options& options) {
    int count = options.releases;
    for (const std::string& text : options.cases) {
        CaseId id;
        if (!CaseId::Parse(text, id)) {
            throw std::runtime_error("not a case: " + text);
        }
        count = std::max(count, id.release + 1);
    }
    return static_cast<size_t>(std::max(count, 1));
}

void Matrix::Prepare(const WorkFolder& folder) {
    variants = LoadVariants(options.examples);
    size_t count = ReleaseCount(options);
    for (size_t i = 0; i < count; ++i) {
        releases.push_back(MakeRelease(options.seed, static_cast<int>(i)));
        WriteRelease(releases.back(), folder.File("m" + std::to_string(i) + ".shx"));
    }
}

void Matrix::PlanCases() {
    std::set<std::pair<size_t, size_t>> wanted;
    if (!options.cases.empty()) {
        for (const std::string& text : options.cases) {
            CaseId id;
            CaseId::Parse(text, id);
            auto variant =
                std::find_if(variants.begin(), variants.end(),
                             [&](const PhoneVariant& v) { return v.name == id.variant; });
            if (variant == variants.end() ||
                !variant->Fits(releases[static_cast<size_t>(id.release)])) {
                throw std::runtime_error("no phone variant " + id.variant + " for release m" +
                                         std::to_string(id.release));
            }
            wanted.insert(
                {static_cast<size_t>(id.release), static_cast<size_t>(variant - variants.begin())});
        }
    }
    for (size_t r = 0; r < releases.size(); ++r) {
        std::vector<size_t> fitting;
        for (size_t v = 0; v < variants.size(); ++v) {
            if (variants[v].Fits(releases[r])) {
                fitting.push_back(v);
            }
        }
        if (!options.cases.empty()) {
            std::erase_if(fitting, [&](size_t v) { return !wanted.count({r, v}); });
        } else if (options.sample && !fitting.empty()) {
            // One phone per release, each platform's variants in turn.
            size_t turn = (r / Platforms().size()) % fitting.size();
            fitting = {fitting[turn]};
        }
        for (size_t v : fitting) {
            combos.push_back({r, v, {}, false});
        }
    }
}

// Each pair's phone profile beside the release's superfile, under the device
// number of its example, so that a case can be looked at with orxflash.
void Matrix::WriteProfiles(const WorkFolder& folder) const {
    for (const Combo& combo : combos) {
        const Release& release = releases[combo.release];
        const PhoneVariant& variant = variants[combo.variant];
        std::ofstream file(folder.File(ProfileName(release, variant)));
        file << MakeProfile(variant, release, variant.base.value("deviceId", uint16_t{1})).dump(2)
             << '\n';
    }
}

std::vector<uint32_t> Points(uint32_t requests, SeededRandom& rng) {
    std::vector<uint32_t> points;
    if (requests <= kEveryRequestUpTo) {
        for (uint32_t k = 1; k <= requests; ++k) {
            points.push_back(k);
        }
        return points;
    }
    std::set<uint32_t> chosen = {1, 2, 3, requests - 2, requests - 1, requests};
    while (chosen.size() < kSampledPoints) {
        chosen.insert(static_cast<uint32_t>(rng.Between(4, requests - 3)));
    }
    return {chosen.begin(), chosen.end()};
}

void Matrix::PlanFaults() {
    SeededRandom rng(Mix(options.seed, 0xFA17));
    auto detail = [&] { return static_cast<uint32_t>(rng.Next() & 0x7FFFFFFF); };
    std::vector<size_t> runnable;
    for (size_t c = 0; c < combos.size(); ++c) {
        const Baseline& baseline = combos[c].baseline;
        if (!combos[c].baselineKnown || baseline.outcome == Outcome::Hang ||
            baseline.requests == 0) {
            continue;
        }
        runnable.push_back(c);
        for (FaultKind kind : kFaultKinds) {
            for (uint32_t k : Points(baseline.requests, rng)) {
                faulted.push_back({c, FaultPlan{kind, k, detail()}});
            }
        }
    }
    if (!options.cases.empty()) {
        faulted.clear();
        for (const std::string& text : options.cases) {
            CaseId id;
            CaseId::Parse(text, id);
            for (size_t c = 0; c < combos.size() && id.fault; ++c) {
                if (combos[c].release == static_cast<size_t>(id.release) &&
                    variants[combos[c].variant].name == id.variant) {
                    faulted.push_back({c, id.fault});
                }
            }
        }
        return;
    }
    int runs = options.runs > 0 ? options.runs : options.sample ? kSampleRuns : 0;
    if (runs == 0 || runnable.empty()) {
        return;
    }
    size_t budget = static_cast<size_t>(std::max<long>(0, runs - static_cast<long>(combos.size())));
    if (faulted.size() > budget) {
        for (size_t i = faulted.size() - 1; i > 0; --i) {
            std::swap(faulted[i], faulted[rng.Between(0, i)]);
        }
        faulted.resize(budget);
    }
    while (faulted.size() < budget) {
        size_t c = runnable[rng.Between(0, runnable.size() - 1)];
        FaultKind kind = kFaultKinds[rng.Between(0, std::size(kFaultKinds) - 1)];
        uint32_t k = static_cast<uint32_t>(rng.Between(1, combos[c].baseline.requests));
        faulted.push_back({c, FaultPlan{kind, k, detail()}});
    }
}

void Matrix::Execute(const std::vector<Job>& jobs, std::vector<RunRecord>& records) {
    records.assign(jobs.size(), RunRecord{});
    std::atomic<size_t> next{0};
    CaseContext context{*host, std::chrono::milliseconds(options.boundMs)};
    auto work = [&] {
        Worker worker(numbers);
        for (size_t i = next++; i < jobs.size(); i = next++) {
            const Combo& combo = combos[jobs[i].combo];
            const Release& release = releases[combo.release];
            const PhoneVariant& variant = variants[combo.variant];
            CaseId id{release.index, variant.name, jobs[i].fault};
            std::optional<uint16_t> number = worker.Number(variant.serial);
            if (!number) {
                records[i].id = id;
                records[i].outcome = Outcome::Hang;
                records[i].differences.push_back("no device number left after earlier hangs");
                continue;
            }
            records[i] = RunCase(context, release, variant, id,
                                 jobs[i].fault ? &combo.baseline : nullptr, *number);
            if (records[i].outcome == Outcome::Hang) {
                worker.Retire(variant.serial);
            }
        }
    };
    std::vector<std::thread> threads;
    for (int j = 1; j < std::max(options.jobs, 1); ++j) {
        threads.emplace_back(work);
    }
    work();
    for (std::thread& thread : threads) {
        thread.join();
    }
}

bool Failing(const RunRecord& record) {
    return record.outcome == Outcome::FalseSuccess || record.outcome == Outcome::NotRecoverable ||
           record.outcome == Outcome::Hang;
}

void Matrix::Count(const RunRecord& record, Figures& figures) const {
    ++figures.runs;
    switch (record.outcome) {
        case Outcome::Flashed:
            ++figures.flashed;
            break;
        case Outcome::Recovered:
            ++figures.recovered;
            break;
        case Outcome::Refused:
            ++figures.refused;
            break;
        case Outcome::FalseSuccess:
            ++figures.falseSuccesses;
            break;
        case Outcome::NotRecoverable:
            ++figures.notRecoverable;
            break;
        case Outcome::Hang:
            ++figures.hangs;
            break;
    }
    figures.settingsLost += record.settingsLost ? 1 : 0;
    if (record.seconds > figures.slowestSeconds) {
        figures.slowestSeconds = record.seconds;
        figures.slowestCase = record.id.Text();
    }
}

void Matrix::PrintCase(const RunRecord& record) {
    const Combo* combo = nullptr;
    for (const Combo& c : combos) {
        if (releases[c.release].index == record.id.release &&
            variants[c.variant].name == record.id.variant) {
            combo = &c;
        }
    }
    std::fprintf(out, "\ncase %s: %s\n", record.id.Text().c_str(), OutcomeName(record.outcome));
    if (combo != nullptr) {
        std::fprintf(out, "  release: %s\n", releases[combo->release].Summary().c_str());
        std::fprintf(out, "  files: m%d.shx, %s (kept with --dir)\n", record.id.release,
                     ProfileName(releases[combo->release], variants[combo->variant]).c_str());
        std::fprintf(out, "  phone: %s (fault-free run: %s, %u requests)\n",
                     record.id.variant.c_str(), OutcomeName(combo->baseline.outcome),
                     combo->baseline.requests);
    }
    std::fprintf(out, "  fault: %s\n",
                 record.id.fault ? record.id.fault->Describe().c_str() : "none");
    auto attempt = [&](const char* name, const Attempt& a) {
        std::fprintf(out, "  %s: result %d in %.3f s%s; errors: %s\n", name, a.result, a.seconds,
                     a.hung ? " (hung)" : "", Signature(a).c_str());
    };
    attempt("attempt", record.first);
    if (record.retry) {
        attempt("retry", *record.retry);
    }
    for (const std::string& difference : record.differences) {
        std::fprintf(out, "  differs: %s\n", difference.c_str());
    }
    std::fprintf(out, "  reproduce: orxcampaign --seed %llu --case %s\n",
                 static_cast<unsigned long long>(options.seed), record.id.Text().c_str());
}

void Matrix::Print(const Figures& figures, const std::vector<const RunRecord*>& failing) {
    std::fprintf(out, "runs: %zu (%zu fault-free, %zu with a fault)\n", figures.runs,
                 figures.baselines, figures.runs - figures.baselines);
    std::fprintf(out,
                 "  flashed: %zu; failed, then flashed by the retry: %zu; refused for their own "
                 "reason: %zu\n",
                 figures.flashed, figures.recovered, figures.refused);
    std::fprintf(out, "false successes: %zu\n", figures.falseSuccesses);
    std::fprintf(out, "phones not recoverable: %zu\n", figures.notRecoverable);
    std::fprintf(out, "hangs: %zu\n", figures.hangs);
    if (figures.settingsLost > 0) {
        std::fprintf(out, "settings data lost by a failed attempt (not counted above): %zu\n",
                     figures.settingsLost);
    }
    std::fprintf(out, "slowest run: %.3f s (%s)\n", figures.slowestSeconds,
                 figures.slowestCase.c_str());
    if (!failing.empty()) {
        std::fprintf(out, "failing runs by fault:");
        for (const auto& [kind, counts] : byKind) {
            std::fprintf(out, " %s %zu/%zu", kind.c_str(), counts.first, counts.second);
        }
        std::fprintf(out, "\n");
    }
    for (size_t i = 0; i < failing.size() && i < static_cast<size_t>(options.show); ++i) {
        PrintCase(*failing[i]);
    }
}

Figures Matrix::Run() {
    WorkFolder folder(options.workDir);
    Prepare(folder);
    PlanCases();
    WriteProfiles(folder);
    host.emplace();
    if (!host->Opened()) {
        throw std::runtime_error("the module did not open");
    }
    std::fprintf(out, "orxcampaign: seed %llu, %zu releases, %zu phone variants, %zu pairs\n",
                 static_cast<unsigned long long>(options.seed), releases.size(), variants.size(),
                 combos.size());
    std::fflush(out);

    std::vector<Job> baselineJobs;
    for (size_t c = 0; c < combos.size(); ++c) {
        baselineJobs.push_back({c, std::nullopt});
    }
    std::vector<RunRecord> baselineRecords;
    Execute(baselineJobs, baselineRecords);
    for (size_t c = 0; c < combos.size(); ++c) {
        combos[c].baseline = BaselineOf(baselineRecords[c]);
        combos[c].baselineKnown = true;
    }
    PlanFaults();
    std::vector<RunRecord> records;
    Execute(faulted, records);

    Figures figures;
    std::vector<const RunRecord*> failing;
    for (const std::vector<RunRecord>* list : {&baselineRecords, &records}) {
        for (const RunRecord& record : *list) {
            Count(record, figures);
            if (options.list) {
                std::fprintf(out, "%s: %s; %u requests; %s\n", record.id.Text().c_str(),
                             OutcomeName(record.outcome), record.requests,
                             Signature(record.retry ? *record.retry : record.first).c_str());
            }
            std::string kind = record.id.fault ? FaultKindName(record.id.fault->kind) : "none";
            ++byKind[kind].second;
            if (Failing(record)) {
                ++byKind[kind].first;
                failing.push_back(&record);
            }
        }
    }
    figures.baselines = baselineRecords.size();
    Print(figures, failing);
    if (figures.hangs > 0) {
        folder.keep = true;  // hung jobs may still use its files
        std::fprintf(out, "working folder kept: %s\n", folder.Path().c_str());
    } else {
        host->Close();
    }
    return figures;
}

}  // namespace

Figures RunCampaign(const Options& options, std::FILE* out) {
    setenv("ORX_DEVAPI_TIMEOUT_MS", std::to_string(std::max(options.timeoutMs, 1)).c_str(), 1);
    Matrix matrix(options, out);
    return matrix.Run();
}

}  // namespace campaign
