// The memory a flash job takes beside the image size: releases of 1, 4 and 32
// MiB of image data go to one phone and to N phones, each phone flashed by a
// FlashDevice call on its own thread, as `orxflash flash` and a station do.
// Every case runs in a forked child. The simulated phones' flash is theirs,
// not the jobs': the phones are attached, their firmware installed, before
// the peak is reset, and phonesim's own count of the flash it holds is shown
// before and after, so a job's figure is the peak resident memory above the
// attached phones, per phone. One phone more is flashed first and stays
// attached: what the process takes once (code paged in, the module's set-up,
// the allocator's first arenas) is then not counted against the jobs.
//   bench_flash_memory [--phones N] [--sizes MiB,MiB,...] [--rate MiB/s] [--dir DIR]
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "FlashBenchSupport.h"
#include "ORX_FP_Flash.h"
#include "OrxHost.h"
#include "Phone.h"

namespace {

using flashbench::kMiB;

constexpr double kJobLimitMiB = 1.0;

struct Outcome {
    int failed = 0;
    long baseKiB = 0;          // resident before the phones were attached
    long attachedKiB = 0;      // resident with them attached and their flash installed
    long peakKiB = 0;          // peak resident during the flash
    long afterKiB = 0;         // resident once every job has ended
    uint64_t flashBefore = 0;  // bytes of flash the phones hold, before and after
    uint64_t flashAfter = 0;
    uint64_t heapBefore = 0;  // heap bytes in use (mallinfo2), before and after
    uint64_t heapAfter = 0;
    uint64_t logAfter = 0;  // bytes of the phones' write logs after the flash
    long onceKiB = 0;       // resident the first flash added, the phone's flash aside
};

long ResidentKiB() {
    return flashbench::StatusKiB("VmRSS");
}

uint64_t HeapInUse() {
    return mallinfo2().uordblks;
}

uint64_t FlashHeld(const std::vector<std::shared_ptr<phonesim::Phone>>& phones) {
    uint64_t bytes = 0;
    for (const auto& phone : phones) {
        bytes += phone->FlashBytesHeld();
    }
    return bytes;
}

uint64_t LogBytes(const std::vector<std::shared_ptr<phonesim::Phone>>& phones) {
    uint64_t bytes = 0;
    for (const auto& phone : phones) {
        bytes += phone->WriteLog().size() * sizeof(phonesim::WriteEvent);
    }
    return bytes;
}

bool Flash(const std::string& path, uint16_t deviceId) {
    OrxFlashDeviceArgs args{path.c_str(), deviceId};
    return FlashDevice(2, &args) == 0;
}

Outcome RunCase(const std::string& path, uint64_t imageBytes, int count, uint64_t rate) {
    Outcome out;
    orxhost::Reset();
    orxhost::SetDisplaySink(nullptr);
    flashbench::OpenModuleHeadless();
    {
        const auto warmUpId = static_cast<uint16_t>(count);
        auto warmUp = orxhost::AttachPhone(
            phonesim::Phone::FromJson(flashbench::PhoneProfile(warmUpId, imageBytes, rate)));
        const long attached = ResidentKiB();
        std::thread first([&] {
            if (!Flash(path, warmUpId)) {
                flashbench::Fail("the first phone was not flashed");
            }
        });
        first.join();
        out.onceKiB = ResidentKiB() - attached;
    }
    out.baseKiB = ResidentKiB();
    std::vector<std::shared_ptr<phonesim::Phone>> phones;
    for (int i = 0; i < count; ++i) {
        phones.push_back(orxhost::AttachPhone(phonesim::Phone::FromJson(
            flashbench::PhoneProfile(static_cast<uint16_t>(i), imageBytes, rate))));
    }
    out.attachedKiB = ResidentKiB();
    out.flashBefore = FlashHeld(phones);
    out.heapBefore = HeapInUse();
    flashbench::ResetPeakResident();

    std::vector<int> results(static_cast<size_t>(count), -1);
    std::vector<std::thread> callers;
    for (int i = 0; i < count; ++i) {
        callers.emplace_back([&results, &path, i] {
            results[static_cast<size_t>(i)] = Flash(path, static_cast<uint16_t>(i)) ? 0 : 1;
        });
    }
    for (std::thread& caller : callers) {
        caller.join();
    }
    out.peakKiB = flashbench::StatusKiB("VmHWM");
    out.afterKiB = ResidentKiB();
    out.flashAfter = FlashHeld(phones);
    out.heapAfter = HeapInUse();
    out.logAfter = LogBytes(phones);
    for (size_t i = 0; i < phones.size(); ++i) {
        bool good = results[i] == 0 && phones[i]->CurrentMode() == phonesim::Mode::Off;
        out.failed += good ? 0 : 1;
    }
    return out;
}

std::vector<uint64_t> ParseSizes(const std::string& text) {
    std::vector<uint64_t> sizes;
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) {
        sizes.push_back(std::max(1, std::atoi(item.c_str())) * kMiB);
    }
    return sizes;
}

double MiB(double kib) {
    return kib / 1024;
}

}  // namespace

int main(int argc, char** argv) {
    int many = 8;
    uint64_t rateMiB = 64;
    std::vector<uint64_t> sizes = {1 * kMiB, 4 * kMiB, 32 * kMiB};
    std::string dir = (std::filesystem::temp_directory_path() / "orx-flash-memory-bench").string();
    for (int i = 1; i < argc; ++i) {
        std::string flag = argv[i];
        if (flag == "--phones" && i + 1 < argc) {
            many = std::max(2, std::atoi(argv[++i]));
        } else if (flag == "--sizes" && i + 1 < argc) {
            sizes = ParseSizes(argv[++i]);
        } else if (flag == "--rate" && i + 1 < argc) {
            rateMiB = static_cast<uint64_t>(std::max(1, std::atoi(argv[++i])));
        } else if (flag == "--dir" && i + 1 < argc) {
            dir = argv[++i];
        } else {
            flashbench::Fail(
                "usage: bench_flash_memory [--phones N] [--sizes MiB,MiB,...] [--rate MiB/s] "
                "[--dir DIR]");
        }
    }
    std::filesystem::create_directories(dir);
    if (chdir(dir.c_str()) != 0) {
        flashbench::Fail("cannot enter " + dir);
    }

    std::printf("FlashDevice over 1 and %d phones, links at %llu MiB/s\n\n", many,
                static_cast<unsigned long long>(rateMiB));
    std::printf("%8s %6s %7s %9s %9s %9s %9s %9s %9s %9s %6s\n", "image", "phones", "once",
                "phone/ph", "flash/ph", "flash+/ph", "log/ph", "job/ph", "heap+/ph", "after/ph",
                "limit");
    bool allGood = true;
    for (uint64_t imageBytes : sizes) {
        const std::string path =
            std::filesystem::absolute("memory-" + std::to_string(imageBytes / kMiB) + ".shx");
        flashbench::WriteRelease(path, imageBytes, 707);
        {
            flashbench::QuietStdout quiet;
            int upToDate = -1;
            if (ConvertSuperfile(path.c_str(), &upToDate, nullptr) != ORX_RESULT_OK) {
                flashbench::Fail("the superfile could not be converted");
            }
        }
        for (int count : {1, many}) {
            Outcome out = flashbench::InChild<Outcome>(
                [&] { return RunCase(path, imageBytes, count, rateMiB * kMiB); });
            const double n = count;
            const double job = MiB(static_cast<double>(out.peakKiB - out.attachedKiB)) / n;
            const bool met = job < kJobLimitMiB && out.failed == 0;
            allGood = allGood && met;
            std::printf(
                "%5llu MiB %6d %7.2f %9.2f %9.2f %9.2f %9.2f %9.2f %9.2f %9.2f %6s%s\n",
                static_cast<unsigned long long>(imageBytes / kMiB), count,
                MiB(static_cast<double>(out.onceKiB)),
                MiB(static_cast<double>(out.attachedKiB - out.baseKiB)) / n,
                static_cast<double>(out.flashBefore) / kMiB / n,
                (static_cast<double>(out.flashAfter) - static_cast<double>(out.flashBefore)) /
                    kMiB / n,
                static_cast<double>(out.logAfter) / kMiB / n, job,
                (static_cast<double>(out.heapAfter) - static_cast<double>(out.heapBefore)) / kMiB /
                    n,
                MiB(static_cast<double>(out.afterKiB - out.attachedKiB)) / n,
                met ? "met" : "MISSED", out.failed > 0 ? "  (some phones were not flashed)" : "");
            std::fflush(stdout);
        }
    }
    std::printf(
        "\ncolumns, MiB: once = resident the first phone's flash added, taken once by the "
        "process (not counted below); per phone: phone = resident added by attaching the "
        "phones (their flash installed); flash = the flash phonesim holds before the flash, "
        "flash+ = what it holds after less that; log = the phone's write log after the flash "
        "(phonesim's, one entry a packet); job = peak resident during the flash above the "
        "attached phones, the log included (limit %.1f); heap+ = heap bytes in use after the "
        "flash less before; after = resident once every job ended, above the attached "
        "phones\n",
        kJobLimitMiB);
    return allGood ? 0 : 1;
}
