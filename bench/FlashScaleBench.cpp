// Flashes many simulated phones at once, through both automation routes:
// Flash (every listed phone, one job each, output on standard output) and
// FlashDevice called from one thread per phone, as `orxflash flash` does. A
// release with 4 MiB of image data goes to 1 and 32 phones whose links carry
// 8 MiB/s, and to 1 and 128 phones at 1 MiB/s; each many-phone time is set
// against the one-phone time of the same route and rate. Every case runs in a
// forked child, so its CPU time and peak memory are its own; after the clock
// stops, every phone is checked to hold the release and to be powered down.
//   bench_flash_scale [--quick] [--runs N] [--dir DIR]
// --quick: 4 and 8 phones and 1 MiB of image data, one run, for a smoke test.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "FlashBenchSupport.h"
#include "Mkshx.h"
#include "ORX_FP_Flash.h"
#include "OrxHost.h"
#include "Phone.h"

namespace {

using flashbench::kMiB;
using Clock = std::chrono::steady_clock;

enum class Route { Flash, FlashDevice };

const char* RouteName(Route route) {
    return route == Route::Flash ? "Flash" : "FlashDevice";
}

struct Case {
    Route route;
    int phones;
    uint64_t rateMiB;
};

// What a child reports back (flashbench::InChild).
struct Outcome {
    int failedPhones = 0;
    int exportResult = 0;
    double seconds = 0;
    double processCpu = 0;
    double simulatorCpu = 0;
    double lastStart = 0;  // latest first link opened, from the clock's start
    double firstEnd = 0;   // earliest phone done on its link
    double lastEnd = 0;    // latest phone done on its link
    uint64_t sent = 0;     // bytes sent over all links
    long baseKiB = 0;      // resident before the phones were attached
    long attachedKiB = 0;  // resident with the phones attached
    long peakKiB = 0;      // peak resident during the flash
};

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

Outcome RunCase(const Case& c, const std::string& path, uint64_t imageBytes) {
    Outcome out;
    orxhost::Reset();
    orxhost::SetDisplaySink(nullptr);
    flashbench::OpenModuleHeadless();

    flashbench::ResetPeakResident();
    out.baseKiB = flashbench::StatusKiB("VmRSS");
    std::vector<std::shared_ptr<phonesim::Phone>> phones;
    for (int i = 0; i < c.phones; ++i) {
        phones.push_back(orxhost::AttachPhone(phonesim::Phone::FromJson(
            flashbench::PhoneProfile(static_cast<uint16_t>(i), imageBytes, c.rateMiB * kMiB))));
    }
    out.attachedKiB = flashbench::StatusKiB("VmRSS");
    flashbench::ResetPeakResident();
    flashbench::ResetLinkMeters();

    const double cpuBefore = flashbench::ProcessCpuSeconds();
    const auto start = Clock::now();
    if (c.route == Route::Flash) {
        flashbench::QuietStdout quiet;
        const char* args[] = {path.c_str()};
        out.exportResult = Flash(1, args);
    } else {
        std::vector<int> results(static_cast<size_t>(c.phones), -1);
        std::vector<std::thread> callers;
        callers.reserve(static_cast<size_t>(c.phones));
        for (int i = 0; i < c.phones; ++i) {
            callers.emplace_back([&results, &path, i] {
                OrxFlashDeviceArgs args{path.c_str(), static_cast<uint16_t>(i)};
                results[static_cast<size_t>(i)] = FlashDevice(2, &args);
            });
        }
        for (std::thread& caller : callers) {
            caller.join();
        }
        out.exportResult = *std::max_element(results.begin(), results.end());
    }
    const auto end = Clock::now();
    out.processCpu = flashbench::ProcessCpuSeconds() - cpuBefore;
    out.peakKiB = flashbench::StatusKiB("VmHWM");
    out.seconds = Seconds(end - start);

    out.firstEnd = out.seconds;
    for (int i = 0; i < c.phones; ++i) {
        flashbench::LinkTotals link = flashbench::LinkTotalsOf(static_cast<uint16_t>(i));
        out.sent += link.sent;
        out.simulatorCpu += link.simulatorCpuSeconds;
        if (link.sent == 0) {
            continue;
        }
        out.lastStart = std::max(out.lastStart, Seconds(link.firstOpen - start));
        out.firstEnd = std::min(out.firstEnd, Seconds(link.lastActivity - start));
        out.lastEnd = std::max(out.lastEnd, Seconds(link.lastActivity - start));
    }

    // Checked after the clock: each phone holds the release and is powered down.
    const std::vector<uint8_t> cg0 = ReadFile(mkshx::ImageFileName(path, 2));
    const std::vector<uint8_t> cg1 = ReadFile(mkshx::ImageFileName(path, 3));
    const flashbench::Layout layout = flashbench::LayoutFor(imageBytes);
    for (const auto& phone : phones) {
        bool good = phone->CurrentMode() == phonesim::Mode::Off &&
                    phone->ReadFlash(layout.cg0Start, layout.cg0Size) == cg0 &&
                    phone->ReadFlash(layout.cg1Start, layout.cg1Size) == cg1;
        out.failedPhones += good ? 0 : 1;
    }
    return out;
}

Outcome Median(std::vector<Outcome> runs) {
    std::sort(runs.begin(), runs.end(),
              [](const Outcome& a, const Outcome& b) { return a.seconds < b.seconds; });
    return runs[runs.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    bool quick = false;
    int runs = 3;
    std::string dir = (std::filesystem::temp_directory_path() / "orx-flash-scale-bench").string();
    for (int i = 1; i < argc; ++i) {
        std::string flag = argv[i];
        if (flag == "--quick") {
            quick = true;
        } else if (flag == "--runs" && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (flag == "--dir" && i + 1 < argc) {
            dir = argv[++i];
        } else {
            flashbench::Fail("usage: bench_flash_scale [--quick] [--runs N] [--dir DIR]");
        }
    }
    if (quick) {
        runs = 1;
    }
    const uint64_t imageBytes = (quick ? 1 : 4) * kMiB;
    const int fastMany = quick ? 4 : 32;
    const int slowMany = quick ? 8 : 128;
    constexpr double kFastTarget = 1.25;
    constexpr double kSlowTarget = 1.5;

    std::filesystem::create_directories(dir);
    if (chdir(dir.c_str()) != 0) {
        flashbench::Fail("cannot enter " + dir);
    }
    const std::string path = std::filesystem::absolute("scale.shx").string();
    flashbench::WriteRelease(path, imageBytes, 606);
    // Converted once here, so every child's jobs find the images up to date.
    {
        flashbench::QuietStdout quiet;
        int upToDate = -1;
        if (ConvertSuperfile(path.c_str(), &upToDate, nullptr) != ORX_RESULT_OK) {
            flashbench::Fail("the superfile could not be converted");
        }
    }

    std::printf(
        "%llu MiB of image data per phone, %d run(s) per case (median by time), "
        "%u processors\n\n",
        static_cast<unsigned long long>(imageBytes / kMiB), runs,
        std::thread::hardware_concurrency());
    std::printf("%-11s %6s %6s %8s %8s %6s %9s %9s %9s %8s %8s %8s %8s %7s %7s\n", "route",
                "phones", "MiB/s", "time s", "bound s", "x 1", "cpu/ph ms", "phone ms", "engine ms",
                "mem/ph", "sim/ph", "run/ph", "start s", "done s", "end s");

    struct Row {
        Case c;
        Outcome out;
        double baseline;  // the one-phone time of the same route and rate
    };
    std::vector<Row> rows;
    for (Route route : {Route::Flash, Route::FlashDevice}) {
        const Case cases[] = {
            {route, 1, 8}, {route, fastMany, 8}, {route, 1, 1}, {route, slowMany, 1}};
        double baseline = 0;
        for (const Case& c : cases) {
            std::vector<Outcome> outcomes;
            for (int r = 0; r < runs; ++r) {
                outcomes.push_back(
                    flashbench::InChild<Outcome>([&] { return RunCase(c, path, imageBytes); }));
            }
            Outcome out = Median(outcomes);
            if (c.phones == 1) {
                baseline = out.seconds;
            }
            const double n = c.phones;
            const double bound =
                static_cast<double>(out.sent) / n / static_cast<double>(c.rateMiB * kMiB);
            std::string failure;
            if (out.failedPhones > 0 || out.exportResult != 0) {
                failure = "  FAILED: " + std::to_string(out.failedPhones) +
                          " phone(s) not flashed, export answered " +
                          std::to_string(out.exportResult);
            }
            std::printf(
                "%-11s %6d %6llu %8.3f %8.3f %6.2f %9.1f %9.1f %9.1f %8.2f %8.2f %8.2f %8.3f "
                "%7.3f %7.3f%s\n",
                RouteName(c.route), c.phones, static_cast<unsigned long long>(c.rateMiB),
                out.seconds, bound, out.seconds / baseline, 1000 * out.processCpu / n,
                1000 * out.simulatorCpu / n, 1000 * (out.processCpu - out.simulatorCpu) / n,
                static_cast<double>(out.peakKiB - out.baseKiB) / 1024 / n,
                static_cast<double>(out.attachedKiB - out.baseKiB) / 1024 / n,
                static_cast<double>(out.peakKiB - out.attachedKiB) / 1024 / n, out.lastStart,
                out.lastEnd, out.lastEnd - out.firstEnd, failure.c_str());
            std::fflush(stdout);
            rows.push_back({c, out, baseline});
        }
    }

    std::printf(
        "\ncolumns: bound = bytes sent per phone / rate (counted on the links); x 1 = time / "
        "the one-phone time of the same route and rate; cpu/ph = process CPU per phone, of it "
        "phone = inside the links (simulated phone and link), engine = the rest (module, device "
        "library, host); mem/ph = peak resident above the child's start per phone, MiB, of it "
        "sim/ph = the attached phones' own memory and run/ph = the peak above that during the "
        "flash; start = when the last phone's first link opened; done = when the last phone "
        "moved its last byte; end = last phone done minus first phone done\n\n");

    std::printf("%-34s %10s %10s\n", "target", "measured", "limit");
    bool allGood = true;
    for (const Row& row : rows) {
        allGood = allGood && row.out.failedPhones == 0 && row.out.exportResult == 0;
        if (row.c.phones == 1) {
            continue;
        }
        const double ratio = row.out.seconds / row.baseline;
        const double limit = row.c.rateMiB == 8 ? kFastTarget : kSlowTarget;
        char name[80];
        std::snprintf(name, sizeof name, "%s %d phones / 1 phone", RouteName(row.c.route),
                      row.c.phones);
        std::printf("%-34s %10.3f %10.2f  %s\n", name, ratio, limit,
                    ratio <= limit ? "met" : "MISSED");
    }
    if (!allGood) {
        std::printf("\nsome phones were not flashed; see FAILED above\n");
        return 1;
    }
    return 0;
}
