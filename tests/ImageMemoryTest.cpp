// The memory a conversion takes is bounded whatever ranges a superfile's
// header declares: images beyond the budget are built in their files, byte
// for byte as they would have been assembled in memory.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <random>

#include "ModuleFakes.h"
#include "ORX_FP_FlashFileIO.h"
#include "ShxFiles.h"

namespace {

using nlohmann::json;
using testsupport::ReadBytes;

class ImageMemory : public testsupport::ModuleTest {
  protected:
    ~ImageMemory() override { shx::SetImageMemoryBudget(shx::kDefaultImageMemoryBudget); }

    std::string Path(const std::string& name = "fw.shx") const { return scratch.File(name); }

    int Prepare() {
        CFlashFileIO reader(nullptr, Path());
        testing::internal::CaptureStdout();
        int result = reader.PrepareImages();
        output = testing::internal::GetCapturedStdout();
        return result;
    }

    std::string output;
};

// Written in a mostly rising order with steps back, jumps ahead and gaps, an
// image built through a window far smaller than itself ends as the bytes, sum
// and head of the same writes into memory.
TEST_F(ImageMemory, ImageBuiltInItsFileEqualsTheSameWritesInMemory) {
    constexpr uint64_t kLength = 20000;
    std::mt19937 random(7);
    for (uint64_t window : {1u, 7u, 512u, 4096u, 1u << 20}) {
        SCOPED_TRACE("window " + std::to_string(window));
        std::vector<uint8_t> model(kLength, 0xFF);
        int fd = open(Path("img.smg").c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
        ASSERT_EQ(ftruncate(fd, kLength), 0);  // reserved blocks read as zeros
        shx::FileImage image(fd, kLength, window);
        uint64_t at = 0;
        for (int i = 0; i < 600; ++i) {
            uint32_t kind = random() % 10;
            uint64_t offset = kind == 0   ? random() % kLength
                              : kind == 1 ? at + random() % 3000
                                          : at;
            offset %= kLength;
            std::vector<uint8_t> bytes(1 + random() % 40);
            for (uint8_t& byte : bytes) {
                byte = static_cast<uint8_t>(random());
            }
            uint64_t count = std::min<uint64_t>(bytes.size(), kLength - offset);
            image.Write(offset, bytes.data(), count);
            std::copy_n(bytes.begin(), count, model.begin() + static_cast<long>(offset));
            at = offset + count + (random() % 4 == 0 ? random() % 200 : 0);
        }
        uint8_t head[8];
        ASSERT_TRUE(image.ReadHead(head, sizeof head));
        EXPECT_TRUE(std::equal(head, head + 8, model.begin()));
        ASSERT_EQ(image.Finish(), 0);
        close(fd);
        EXPECT_EQ(ReadBytes(Path("img.smg")), model);
        EXPECT_EQ(static_cast<uint16_t>(image.Sum()), shx::Sum16(model.data(), model.size()));
    }
}

// Whether no image, the first alone or every image fits the budget, the
// images, their barker codes and the index come out the same.
TEST_F(ImageMemory, ImagesBeyondTheBudgetAreBuiltInTheirFilesAlike) {
    json manifest = testsupport::SampleManifest();
    manifest["subfiles"][1]["tableEntry"] = "EEEEEEEEEEEEEEEE";
    auto built = testsupport::WriteShx(manifest, Path());
    std::vector<uint8_t> index;
    for (uint64_t budget : {shx::kDefaultImageMemoryBudget, uint64_t{2048}, uint64_t{0}}) {
        SCOPED_TRACE("budget " + std::to_string(budget));
        shx::SetImageMemoryBudget(budget);
        std::filesystem::remove(Path("fw.hmg"));
        ASSERT_EQ(Prepare(), 1) << output;
        for (const auto& [slot, bytes] : built.images) {
            EXPECT_EQ(ReadBytes(shx::ImageFileName(Path(), slot)), bytes) << "slot " << slot;
        }
        if (index.empty()) {
            index = ReadBytes(Path("fw.hmg"));
        } else {
            EXPECT_EQ(ReadBytes(Path("fw.hmg")), index);
        }
    }
}

// A superfile of a few kilobytes whose header declares a range of 384 MiB:
// the image takes that much disk, never that much memory.
TEST_F(ImageMemory, HugeDeclaredRangeCostsDiskNotMemory) {
    constexpr uint64_t kHuge = 384ull << 20;
    constexpr uint32_t kStart = 0x2000;
    if (std::filesystem::space(scratch.Path()).available < 2 * kHuge) {
        GTEST_SKIP() << "not enough free disk for the image";
    }
    auto built = mkshx::BuildSuperfile(mkshx::ParseManifest(json::parse(R"({"subfiles": [
        {"slot": "ramdld", "start": "0x1000", "size": 16},
        {"slot": "cg0", "start": "0x2000", "size": 16}]})")));
    std::string file(built.bytes.begin(), built.bytes.begin() + shx::kHeaderSize);
    shx::WriteLe32(reinterpret_cast<uint8_t*>(file.data()) + shx::kDescriptorTableOffset +
                       2 * shx::kDescriptorSize + 4,
                   static_cast<uint32_t>(kStart + kHuge - 1));
    // One record at the start and one at the very end of the range.
    file +=
        "S00600004844521B\nS70500000000FA\nS00600004844521B\n"
        "S30900002000A1A2A3A400\nS30918001FFCB1B2B3B400\nS70500000000FA\n";
    testsupport::WriteText(Path(), file);

    struct rusage before {};
    getrusage(RUSAGE_SELF, &before);
    ASSERT_EQ(Prepare(), 1) << output;
    struct rusage after {};
    getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 64 * 1024) << "kilobytes more at the peak";

    int fd = open(Path("fwCG0.smg").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(lseek(fd, 0, SEEK_END), static_cast<off_t>(kHuge));
    for (auto [offset, expected] : std::vector<std::pair<off_t, uint32_t>>{
             {0, 0xA4A3A2A1}, {4, 0xFFFFFFFF}, {kHuge / 2, 0xFFFFFFFF}, {kHuge - 4, 0xB4B3B2B1}}) {
        uint32_t word = 0;
        ASSERT_EQ(pread(fd, &word, 4, offset), 4);
        EXPECT_EQ(word, expected) << "at " << offset;
    }
    close(fd);
}

}  // namespace
