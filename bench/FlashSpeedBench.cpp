// Flashes a generated release with 32 MiB of image data into one simulated
// phone whose link carries 32 MiB/s, through FlashDevice, and sets the time
// against the link-bound time of the same run: the bytes the flash sequence
// sent over the link, counted on the link, divided by the rate. The superfile
// is converted before the clock starts, so the job finds its images up to date
// and the time is the flash. Also reports the engine's CPU time: the process's
// CPU time less what the simulated phone spent answering on the link.
//   bench_flash_speed [--size-mib N] [--rate-mib N] [--runs N] [--dir DIR]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "FlashBenchSupport.h"
#include "Mkshx.h"
#include "ORX_FP_Flash.h"
#include "OrxHost.h"
#include "Phone.h"

namespace {

using flashbench::kMiB;
using Clock = std::chrono::steady_clock;

constexpr uint16_t kDeviceId = 4;
constexpr double kTargetRatio = 1.10;

struct Run {
    double seconds = 0;
    double beforeLink = 0;  // from the call to the first link opened
    double onLink = 0;      // from the first link opened to the last byte moved
    double processCpu = 0;
    flashbench::LinkTotals link;
};

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

Run FlashOnce(const std::string& path, uint64_t imageBytes, uint64_t rate,
              const std::map<int, std::vector<uint8_t>>& images) {
    flashbench::ResetLinkMeters();
    auto phone = orxhost::AttachPhone(
        phonesim::Phone::FromJson(flashbench::PhoneProfile(kDeviceId, imageBytes, rate)));
    OrxFlashDeviceArgs args{path.c_str(), kDeviceId};

    Run run;
    const double cpuBefore = flashbench::ProcessCpuSeconds();
    const auto start = Clock::now();
    const int result = FlashDevice(2, &args);
    const auto end = Clock::now();
    run.processCpu = flashbench::ProcessCpuSeconds() - cpuBefore;
    run.seconds = Seconds(end - start);
    run.link = flashbench::LinkTotalsOf(kDeviceId);

    if (result != ORX_RESULT_OK) {
        flashbench::Fail("FlashDevice answered " + std::to_string(result));
    }
    if (run.link.sent == 0) {
        flashbench::Fail("the link meter saw no bytes; is the executable built with its exports?");
    }
    run.beforeLink = Seconds(run.link.firstOpen - start);
    run.onLink = Seconds(run.link.lastActivity - run.link.firstOpen);

    // The phone must hold the release, barkers included, and be powered down.
    const flashbench::Layout layout = flashbench::LayoutFor(imageBytes);
    if (phone->ReadFlash(layout.cg0Start, layout.cg0Size) != images.at(2) ||
        phone->ReadFlash(layout.cg1Start, layout.cg1Size) != images.at(3)) {
        flashbench::Fail("the phone's flash does not hold the release after the flash");
    }
    if (phone->CurrentMode() != phonesim::Mode::Off) {
        flashbench::Fail("the phone was not powered down after the flash");
    }
    orxhost::DetachPhone(kDeviceId);
    return run;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    uint64_t sizeMiB = 32;
    uint64_t rateMiB = 32;
    int runs = 3;
    std::string dir = (std::filesystem::temp_directory_path() / "orx-flash-speed-bench").string();
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string flag = argv[i];
        if (flag == "--size-mib") {
            sizeMiB = std::clamp<uint64_t>(std::strtoull(argv[i + 1], nullptr, 10), 1, 128);
        } else if (flag == "--rate-mib") {
            rateMiB = std::max<uint64_t>(1, std::strtoull(argv[i + 1], nullptr, 10));
        } else if (flag == "--runs") {
            runs = std::max(1, std::atoi(argv[i + 1]));
        } else if (flag == "--dir") {
            dir = argv[i + 1];
        }
    }
    const uint64_t imageBytes = sizeMiB * kMiB;
    const uint64_t rate = rateMiB * kMiB;

    // The module's error log and the image files land in the scratch folder.
    std::filesystem::create_directories(dir);
    if (chdir(dir.c_str()) != 0) {
        flashbench::Fail("cannot enter " + dir);
    }
    const std::string path = std::filesystem::absolute("speed.shx").string();
    std::map<int, std::vector<uint8_t>> images;
    flashbench::WriteRelease(path, imageBytes, 505, &images);

    orxhost::Reset();
    orxhost::SetDisplaySink(nullptr);
    flashbench::OpenModuleHeadless();
    {
        flashbench::QuietStdout quiet;
        int upToDate = -1;
        if (ConvertSuperfile(path.c_str(), &upToDate, nullptr) != ORX_RESULT_OK) {
            flashbench::Fail("the superfile could not be converted");
        }
    }

    std::printf("FlashDevice into one phone: %llu MiB of image data, link %llu MiB/s, %d runs\n\n",
                static_cast<unsigned long long>(sizeMiB), static_cast<unsigned long long>(rateMiB),
                runs);
    std::printf("%4s %9s %10s %7s %9s %9s %12s %10s %9s %9s %9s\n", "run", "time s", "bound s",
                "ratio", "setup s", "link s", "sent B", "recv B", "cpu s", "phone s", "engine s");
    std::vector<double> ratios;
    std::vector<double> times;
    std::vector<double> bounds;
    std::vector<double> engineCpu;
    std::vector<double> bothWays;
    Run last;
    for (int r = 0; r < runs; ++r) {
        Run run = FlashOnce(path, imageBytes, rate, images);
        const double bound = static_cast<double>(run.link.sent) / static_cast<double>(rate);
        const double engine = run.processCpu - run.link.simulatorCpuSeconds;
        std::printf("%4d %9.3f %10.3f %7.3f %9.3f %9.3f %12llu %10llu %9.3f %9.3f %9.3f\n", r + 1,
                    run.seconds, bound, run.seconds / bound, run.beforeLink, run.onLink,
                    static_cast<unsigned long long>(run.link.sent),
                    static_cast<unsigned long long>(run.link.received), run.processCpu,
                    run.link.simulatorCpuSeconds, engine);
        ratios.push_back(run.seconds / bound);
        times.push_back(run.seconds);
        bounds.push_back(bound);
        engineCpu.push_back(engine);
        bothWays.push_back(static_cast<double>(run.link.sent + run.link.received) /
                           static_cast<double>(rate));
        last = run;
    }

    const double ratio = Median(ratios);
    std::printf(
        "\nrequests sent: %llu frames on %llu link(s); %.2f%% of the bytes sent are "
        "protocol overhead beyond the image data\n",
        static_cast<unsigned long long>(last.link.writes),
        static_cast<unsigned long long>(last.link.links),
        100.0 * (static_cast<double>(last.link.sent) - static_cast<double>(imageBytes)) /
            static_cast<double>(imageBytes));
    std::printf(
        "the simulated link paces both directions against one schedule: "
        "(sent + received) / rate = %.3f s\n",
        Median(bothWays));
    std::printf(
        "the meter's two clock readings per request cost about %.1f ms of CPU in all, "
        "counted in the figures above\n",
        2e3 * static_cast<double>(last.link.writes) * flashbench::ThreadClockCost());
    std::printf(
        "columns: setup = FlashDevice call to first link opened (job start, image check, "
        "identification); link = first link opened to last byte moved; cpu = process CPU; "
        "phone = CPU spent inside the link's Write (simulated phone and link); "
        "engine = cpu - phone (module and device library)\n\n");

    std::printf("%-46s %10s %10s\n", "figure (median)", "measured", "target");
    std::printf("%-46s %10.3f\n", "flash time, s", Median(times));
    std::printf("%-46s %10.3f\n", "link-bound time (bytes sent / rate), s", Median(bounds));
    std::printf("%-46s %10.3f %10.2f  %s\n", "time / link-bound time", ratio, kTargetRatio,
                ratio <= kTargetRatio ? "met" : "MISSED");
    std::printf("%-46s %10.3f\n", "engine CPU time per phone, s", Median(engineCpu));
    return 0;
}
