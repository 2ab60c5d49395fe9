// Times ReadSuperfile on a generated 64 MiB superfile, once with a stale index
// (the whole-file checksum is computed) and once with an up-to-date index (the
// image files are summed), each beside `cat` reading the same bytes.
//   bench_superfile_read [--size-mib N] [--runs N] [--dir DIR]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "ErrorLog.h"
#include "Mkshx.h"
#include "ORX_FP_FlashFileIO.h"
#include "ORX_FP_FlashState.h"

namespace {

double MedianSeconds(int runs, const std::function<void()>& work) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        auto start = std::chrono::steady_clock::now();
        work();
        times.push_back(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void Cat(const std::vector<std::string>& files) {
    std::string command = "cat";
    for (const auto& file : files) {
        command += " '" + file + "'";
    }
    command += " > /dev/null";
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "cat failed\n");
        std::exit(1);
    }
}

bool ReadOnce(const std::string& path, bool expectUpToDate) {
    CFlashFileIO reader(nullptr, path);
    return reader.ReadSuperfile(FailureBoxes::Quiet) == 1 && reader.ImagesUpToDate() == expectUpToDate;
}

}  // namespace

int main(int argc, char** argv) {
    uint64_t sizeMiB = 64;
    int runs = 7;
    std::string dir = (std::filesystem::temp_directory_path() / "orx-bench").string();
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string flag = argv[i];
        if (flag == "--size-mib") {
            sizeMiB = std::strtoull(argv[i + 1], nullptr, 10);
        } else if (flag == "--runs") {
            runs = std::max(1, std::atoi(argv[i + 1]));
        } else if (flag == "--dir") {
            dir = argv[i + 1];
        }
    }
    std::filesystem::create_directories(dir);
    const std::string path = dir + "/bench.shx";

    // 32 data bytes make an 80-character S3 line: 2.5 text bytes per image byte.
    uint64_t imageBytes = sizeMiB * 1024 * 1024 * 2 / 5;
    uint64_t perGroup = imageBytes / 4;
    mkshx::Manifest manifest;
    manifest.date = "Dec 07 2026";
    manifest.seed = 42;
    for (int group = 0; group < 4; ++group) {
        mkshx::ManifestSubfile sub;
        sub.slot = group == 0 ? 0 : group + 1;  // RAM downloader, code groups 0, 1, 2
        sub.hasRange = true;
        sub.start = 0x10000000u + static_cast<uint32_t>(group) * 0x04000000u;
        sub.end = sub.start + static_cast<uint32_t>(perGroup) - 1;
        manifest.subfiles.push_back(sub);
    }
    mkshx::BuiltSuperfile built = mkshx::BuildSuperfile(manifest);
    mkshx::WriteSuperfile(built, path, true);

    std::vector<std::string> images;
    for (const auto& [slot, bytes] : built.images) {
        images.push_back(mkshx::ImageFileName(path, slot));
    }
    {
        CFlashFileIO reader(nullptr, path);
        if (reader.ReadSuperfile(FailureBoxes::Quiet) != 1 || reader.WriteImageIndex() != 1) {
            std::fprintf(stderr, "could not prepare the index\n");
            return 1;
        }
    }
    const std::string indexPath = shx::IndexFileName(path);
    std::vector<char> goodIndex;
    {
        std::FILE* in = std::fopen(indexPath.c_str(), "rb");
        goodIndex.resize(shx::kIndexFileSize);
        if (in == nullptr ||
            std::fread(goodIndex.data(), 1, goodIndex.size(), in) != goodIndex.size()) {
            return 1;
        }
        std::fclose(in);
    }
    auto writeIndex = [&](bool stale) {
        std::vector<char> bytes = goodIndex;
        if (stale) {
            bytes[4] = static_cast<char>(bytes[4] ^ 0x5A);  // another superfile checksum
        }
        std::FILE* out = std::fopen(indexPath.c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), out);
        std::fclose(out);
    };

    uint64_t imageTotal = 0;
    for (const auto& file : images) {
        imageTotal += std::filesystem::file_size(file);
    }
    std::printf(
        "superfile %s: %.1f MiB; images %.1f MiB in %zu files; median of %d runs, warm cache\n",
        path.c_str(), built.bytes.size() / 1048576.0, imageTotal / 1048576.0, images.size(), runs);

    writeIndex(true);
    Cat({path});
    if (!ReadOnce(path, false)) {
        std::fprintf(stderr, "stale read failed\n");
        return 1;
    }
    double staleRead = MedianSeconds(runs, [&] { ReadOnce(path, false); });
    double staleCat = MedianSeconds(runs, [&] { Cat({path}); });

    writeIndex(false);
    Cat(images);
    if (!ReadOnce(path, true)) {
        std::fprintf(stderr, "up-to-date read failed\n");
        return 1;
    }
    double freshRead = MedianSeconds(runs, [&] { ReadOnce(path, true); });
    std::vector<std::string> freshFiles = images;
    freshFiles.push_back(indexPath);
    double freshCat = MedianSeconds(runs, [&] { Cat(freshFiles); });

    std::printf("%-28s %10s %10s %8s\n", "case", "read ms", "cat ms", "ratio");
    std::printf("%-28s %10.1f %10.1f %8.2f\n", "stale index (checksum)", staleRead * 1e3,
                staleCat * 1e3, staleRead / staleCat);
    std::printf("%-28s %10.1f %10.1f %8.2f\n", "up-to-date index (images)", freshRead * 1e3,
                freshCat * 1e3, freshRead / freshCat);
    std::filesystem::remove_all(dir);
    return 0;
}
