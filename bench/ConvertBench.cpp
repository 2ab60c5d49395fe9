// Times ConvertSuperfile on a generated superfile with 32 MiB of image data in
// 32-byte S3 records (about 84 MB of S-record text): a full conversion (no
// index), beside objcopy, srec_cat and cat on the same S-record text, and a
// conversion skipped because the index is up to date. The peak memory of each
// conversion is taken from a forked child. Prints the figures and the ratios
// against the targets.
//   bench_convert [--size-mib N] [--runs N] [--dir DIR] [--keep 1]
// --keep 1 leaves the superfile and its S-record text for profiling by hand.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "Mkshx.h"
#include "ORX_FP_Flash.h"
#include "SuperfileFormat.h"
#include "SuperfileNames.h"

namespace {

// Wall-clock and processor time (user + system, of this process and of the
// commands it waited for), each the median over the runs. The processor time
// stays meaningful on a machine busy with other work.
struct Timing {
    double wall = 0;
    double cpu = 0;
};

double CpuSeconds() {
    double total = 0;
    for (int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
        rusage usage{};
        getrusage(who, &usage);
        total += static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                 static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    }
    return total;
}

Timing Median(int runs, const std::function<void()>& work) {
    std::vector<double> walls;
    std::vector<double> cpus;
    for (int i = 0; i < runs; ++i) {
        double cpu = CpuSeconds();
        auto start = std::chrono::steady_clock::now();
        work();
        walls.push_back(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        cpus.push_back(CpuSeconds() - cpu);
    }
    std::sort(walls.begin(), walls.end());
    std::sort(cpus.begin(), cpus.end());
    return {walls[walls.size() / 2], cpus[cpus.size() / 2]};
}

[[noreturn]] void Fail(const std::string& text) {
    std::fprintf(stderr, "bench_convert: %s\n", text.c_str());
    std::exit(1);
}

void Run(const std::string& command) {
    if (std::system(command.c_str()) != 0) {
        Fail("failed: " + command);
    }
}

bool OnPath(const std::string& program) {
    return std::system(("command -v " + program + " > /dev/null 2>&1").c_str()) == 0;
}

// The module reports its progress on standard output; while it is timed that
// goes to /dev/null.
class QuietStdout {
  public:
    QuietStdout() {
        std::fflush(stdout);
        saved = dup(STDOUT_FILENO);
        int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        close(null);
    }
    ~QuietStdout() {
        std::fflush(stdout);
        dup2(saved, STDOUT_FILENO);
        close(saved);
    }
    QuietStdout(const QuietStdout&) = delete;
    QuietStdout& operator=(const QuietStdout&) = delete;

  private:
    int saved;
};

// 0 and whether the images were up to date, or the export's failure code.
int Convert(const std::string& path, int& upToDate) {
    upToDate = -1;
    return ConvertSuperfile(path.c_str(), &upToDate, nullptr);
}

// FNV-1a over a byte range, to check outputs without keeping them.
uint64_t Hash(const uint8_t* bytes, size_t n, uint64_t hash = 0xCBF29CE484222325ull) {
    for (size_t i = 0; i < n; ++i) {
        hash = (hash ^ bytes[i]) * 0x100000001B3ull;
    }
    return hash;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::vector<uint8_t> bytes;
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (in == nullptr) {
        Fail("cannot read " + path);
    }
    std::fseek(in, 0, SEEK_END);
    bytes.resize(static_cast<size_t>(std::ftell(in)));
    std::fseek(in, 0, SEEK_SET);
    size_t got = std::fread(bytes.data(), 1, bytes.size(), in);
    std::fclose(in);
    if (got != bytes.size()) {
        Fail("cannot read " + path);
    }
    return bytes;
}

// Peak resident memory in MiB of one conversion run in a child process.
double PeakMiB(const std::function<void()>& work) {
    std::fflush(stdout);
    pid_t pid = fork();
    if (pid < 0) {
        Fail("fork");
    }
    if (pid == 0) {
        int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        work();
        std::fflush(stdout);
        _exit(0);
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        Fail("the measured child failed");
    }
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

}  // namespace

int main(int argc, char** argv) {
    uint64_t sizeMiB = 32;
    int runs = 5;
    bool keep = false;
    std::string dir = (std::filesystem::temp_directory_path() / "orx-convert-bench").string();
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string flag = argv[i];
        if (flag == "--size-mib") {
            sizeMiB = std::max<uint64_t>(1, std::strtoull(argv[i + 1], nullptr, 10));
        } else if (flag == "--runs") {
            runs = std::max(1, std::atoi(argv[i + 1]));
        } else if (flag == "--dir") {
            dir = argv[i + 1];
        } else if (flag == "--keep") {
            keep = std::atoi(argv[i + 1]) != 0;
        }
    }
    std::filesystem::create_directories(dir);
    const std::string path = dir + "/bench.shx";
    const std::string srecPath = dir + "/body.srec";
    const std::string outPath = dir + "/out.bin";

    // Four sub-files back to back from address 0 (RAM downloader, code groups
    // 0, 1 and 2), so that objcopy's binary output is the images one after
    // the other.
    const uint64_t imageBytes = sizeMiB * 1024 * 1024;
    const uint32_t perImage = static_cast<uint32_t>(imageBytes / 4);
    mkshx::Manifest manifest;
    manifest.seed = 84;
    manifest.recordBytes = 32;
    const int slots[] = {0, 2, 3, 4};
    for (int i = 0; i < 4; ++i) {
        auto& sub = manifest.subfiles.emplace_back();
        sub.slot = slots[i];
        sub.hasRange = true;
        sub.start = perImage * static_cast<uint32_t>(i);
        sub.end = sub.start + perImage - 1;
    }

    std::map<int, uint64_t> expectedHash;
    uint64_t allImagesHash = 0xCBF29CE484222325ull;
    uint64_t superfileSize = 0;
    uint64_t srecSize = 0;
    {
        mkshx::BuiltSuperfile built = mkshx::BuildSuperfile(manifest);
        mkshx::WriteSuperfile(built, path, false);
        superfileSize = built.bytes.size();
        for (const auto& [slot, image] : built.images) {
            expectedHash[slot] = Hash(image.data(), image.size());
            allImagesHash = Hash(image.data(), image.size(), allImagesHash);
        }
        // The body's S-record text as one S0 .. S7 run: objcopy stops at the
        // first S7, so the blocks' inner S7 and S0 lines go, and the final S7
        // loses the checksum marker that follows its record.
        std::string text(built.bytes.begin() + static_cast<long>(shx::kHeaderSize),
                         built.bytes.end());
        std::string srec;
        srec.reserve(text.size());
        size_t at = 0;
        bool first = true;
        while (at < text.size()) {
            size_t end = text.find('\n', at);
            end = end == std::string::npos ? text.size() : end + 1;
            std::string_view line(text.data() + at, end - at);
            at = end;
            if (line.size() < 4 || line[0] != 'S') {
                continue;
            }
            if (line[1] == '0' && !first) {
                continue;
            }
            if (line[1] == '7') {
                if (at < text.size()) {
                    continue;
                }
                size_t length = 4 + 2 * std::stoul(std::string(line.substr(2, 2)), nullptr, 16);
                srec.append(line.substr(0, length)).append("\r\n");
                continue;
            }
            first = false;
            srec.append(line);
        }
        std::FILE* out = std::fopen(srecPath.c_str(), "wb");
        if (out == nullptr || std::fwrite(srec.data(), 1, srec.size(), out) != srec.size() ||
            std::fclose(out) != 0) {
            Fail("cannot write " + srecPath);
        }
        srecSize = srec.size();
    }  // the built superfile is freed here, so forked children start small

    const std::string indexPath = shx::IndexFileName(path);
    auto removeIndex = [&] { std::filesystem::remove(indexPath); };
    auto checkImages = [&] {
        for (const auto& [slot, hash] : expectedHash) {
            std::vector<uint8_t> image = ReadFile(shx::ImageFileName(path, slot));
            if (Hash(image.data(), image.size()) != hash) {
                Fail("the image of slot " + std::to_string(slot) + " is wrong");
            }
        }
    };

    std::printf("superfile %s: %.1f MiB; S-record text %.1f MB; images %.1f MiB in %zu files\n",
                path.c_str(), superfileSize / 1048576.0, srecSize / 1e6, imageBytes / 1048576.0,
                expectedHash.size());
    std::printf("median of %d runs, warm cache\n\n", runs);
    Run("cat '" + path + "' '" + srecPath + "' > /dev/null");

    // Full conversions: no index, so every image is rebuilt.
    int upToDate = -1;
    Timing full;
    {
        QuietStdout quiet;
        full = Median(runs, [&] {
            removeIndex();
            if (Convert(path, upToDate) != ORX_RESULT_OK || upToDate != 0) {
                Fail("full conversion failed");
            }
        });
    }
    checkImages();

    // Skipped conversions: the index and images are up to date.
    Timing skipped;
    {
        QuietStdout quiet;
        skipped = Median(runs, [&] {
            if (Convert(path, upToDate) != ORX_RESULT_OK || upToDate != 1) {
                Fail("skipped conversion did not find the images up to date");
            }
        });
    }

    const bool haveObjcopy = OnPath("objcopy");
    const bool haveSrecCat = OnPath("srec_cat");
    Timing objcopy;
    Timing srecCat;
    if (haveObjcopy) {
        objcopy = Median(
            runs, [&] { Run("objcopy -I srec -O binary '" + srecPath + "' '" + outPath + "'"); });
        std::vector<uint8_t> out = ReadFile(outPath);
        if (out.size() != imageBytes || Hash(out.data(), out.size()) != allImagesHash) {
            Fail("objcopy's output differs from the images");
        }
    }
    if (haveSrecCat) {
        srecCat = Median(runs, [&] {
            Run("srec_cat '" + srecPath + "' -o '" + outPath + "' -binary 2> /dev/null");
        });
    }
    Timing cat = Median(runs, [&] { Run("cat '" + srecPath + "' > /dev/null"); });
    std::filesystem::remove(outPath);

    // Peak memory, each conversion in a child of its own.
    double baseMiB = PeakMiB([] {});
    double fullMiB = PeakMiB([&] {
        removeIndex();
        int flag = -1;
        if (Convert(path, flag) != ORX_RESULT_OK || flag != 0) {
            _exit(1);
        }
    });
    double skippedMiB = PeakMiB([&] {
        int flag = -1;
        if (Convert(path, flag) != ORX_RESULT_OK || flag != 1) {
            _exit(1);
        }
    });

    std::printf("%-40s %10s %10s\n", "step", "wall s", "cpu s");
    auto step = [](const char* name, const Timing& t, bool known) {
        if (known) {
            std::printf("%-40s %10.3f %10.3f\n", name, t.wall, t.cpu);
        } else {
            std::printf("%-40s %10s %10s\n", name, "missing", "missing");
        }
    };
    step("ConvertSuperfile, full (no index)", full, true);
    step("ConvertSuperfile, skipped (up to date)", skipped, true);
    step("objcopy -I srec -O binary", objcopy, haveObjcopy);
    step("srec_cat -o -binary", srecCat, haveSrecCat);
    step("cat", cat, true);

    std::printf("\n%-40s %10s %10s %10s\n", "target", "wall", "cpu", "limit");
    auto ratio = [](const char* name, const Timing& a, const Timing& b, double limit, bool known) {
        if (!known) {
            std::printf("%-40s %10s %10s %10.2f  not measured\n", name, "-", "-", limit);
            return;
        }
        double wall = a.wall / b.wall;
        double cpu = a.cpu / b.cpu;
        std::printf("%-40s %10.3f %10.3f %10.2f  %s\n", name, wall, cpu, limit,
                    wall <= limit ? "met" : "MISSED");
    };
    ratio("full conversion / objcopy", full, objcopy, 0.2, haveObjcopy);
    ratio("skipped conversion / full conversion", skipped, full, 0.1, true);
    std::printf("%-40s %10.1f %10s %10.0f  %s\n", "peak memory of a full conversion, MiB", fullMiB,
                "", 128.0, fullMiB < 128 ? "met" : "MISSED");
    std::printf("%-40s %10.1f\n", "peak memory of a skipped conversion, MiB", skippedMiB);
    std::printf("%-40s %10.1f\n", "peak memory of an idle child, MiB", baseMiB);
    if (haveSrecCat) {
        std::printf("%-40s %10.3f %10.3f\n", "full conversion / srec_cat", full.wall / srecCat.wall,
                    full.cpu / srecCat.cpu);
    }
    std::printf("%-40s %10.1f %10.1f\n", "full conversion / cat", full.wall / cat.wall,
                full.cpu / cat.cpu);

    if (keep) {
        std::printf("kept %s and %s\n", path.c_str(), srecPath.c_str());
        return 0;
    }
    // Only the files made here go; the folder too when that leaves it empty.
    std::error_code ignored;
    for (const auto& [slot, hash] : expectedHash) {
        std::filesystem::remove(shx::ImageFileName(path, slot), ignored);
    }
    for (const std::string& file : {path, srecPath, indexPath}) {
        std::filesystem::remove(file, ignored);
    }
    std::filesystem::remove(dir, ignored);
    return 0;
}
