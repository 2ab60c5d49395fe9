// Converting superfiles into image files: the stops and their messages, code
// groups sharing a block, records cut to a slot, barker codes, the index skip,
// files held by another process, and the packets the engine reads back.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "ModuleFakes.h"
#include "ORX_FP_FlashFileIO.h"
#include "ShxFiles.h"

namespace {

using nlohmann::json;
using testsupport::ReadBytes;
using testsupport::SampleManifest;
using testsupport::WriteShx;

class ImageConversion : public testsupport::ModuleTest {
  protected:
    std::string Path(const std::string& name = "fw.shx") const { return scratch.File(name); }

    int Prepare(const std::string& path) {
        reader = std::make_unique<CFlashFileIO>(nullptr, path);
        testing::internal::CaptureStdout();
        int result = reader->PrepareImages();
        output = testing::internal::GetCapturedStdout();
        return result;
    }

    // A superfile with the manifest's header and a hand-written body (no
    // checksum marker, so no checksum test).
    void WriteWithBody(const json& manifest, const std::string& body) {
        auto built = mkshx::BuildSuperfile(mkshx::ParseManifest(manifest));
        std::string file(built.bytes.begin(), built.bytes.begin() + shx::kHeaderSize);
        testsupport::WriteText(Path(), file + body);
    }

    void ExpectImagesAsBuilt(const mkshx::BuiltSuperfile& built) {
        for (const auto& [slot, bytes] : built.images) {
            EXPECT_EQ(ReadBytes(shx::ImageFileName(Path(), slot)), bytes) << "slot " << slot;
        }
    }

    std::unique_ptr<CFlashFileIO> reader;
    std::string output;
};

json TwoSlots() {
    return json::parse(R"({"subfiles": [
        {"slot": "ramdld", "start": "0x1000", "size": 16},
        {"slot": "cg0", "start": "0x2000", "size": 16}]})");
}

TEST_F(ImageConversion, SampleConvertsToTheExpectedImagesAndIndex) {
    auto built = WriteShx(SampleManifest(), Path());
    ASSERT_EQ(Prepare(Path()), 1);
    ExpectImagesAsBuilt(built);
    EXPECT_EQ(std::filesystem::file_size(Path("fw.hmg")), 78354u);
    std::vector<int> percents;
    for (size_t at = output.find('\r'); at != std::string::npos; at = output.find('\r', at + 1)) {
        percents.push_back(std::stoi(output.substr(at + 1)));
    }
    ASSERT_GE(percents.size(), 10u);
    EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
    EXPECT_EQ(std::adjacent_find(percents.begin(), percents.end()), percents.end());
    EXPECT_GE(percents.back(), 95);
    EXPECT_EQ(output.back(), '\n');  // the progress line ends
    EXPECT_FALSE(std::filesystem::exists(Path("fw.hmg.part")));
}

TEST_F(ImageConversion, SecondPreparationSkipsTheConversion) {
    WriteShx(SampleManifest(), Path());
    ASSERT_EQ(Prepare(Path()), 1);
    struct stat before {};
    stat(Path("fwCG1.smg").c_str(), &before);
    ASSERT_EQ(Prepare(Path()), 1);
    EXPECT_TRUE(reader->ImagesUpToDate());
    EXPECT_EQ(output, "");
    struct stat after {};
    stat(Path("fwCG1.smg").c_str(), &after);
    EXPECT_EQ(before.st_ino, after.st_ino);
}

TEST_F(ImageConversion, OneChangedImageByteForcesARebuild) {
    auto built = WriteShx(SampleManifest(), Path());
    ASSERT_EQ(Prepare(Path()), 1);
    std::vector<uint8_t> image = ReadBytes(Path("fwCG2.smg"));
    image[10] ^= 0xFF;
    testsupport::WriteBytes(Path("fwCG2.smg"), image);
    ASSERT_EQ(Prepare(Path()), 1);
    EXPECT_FALSE(reader->ImagesUpToDate());
    ExpectImagesAsBuilt(built);
}

TEST_F(ImageConversion, CodeGroupOneRidesInCodeGroupZerosBlock) {
    json manifest = json::parse(R"({"subfiles": [
        {"slot": "ramdld", "start": "0x1000", "size": 64},
        {"slot": "cg0", "start": "0x2000", "size": 100},
        {"slot": "cg1", "start": "0x3000", "size": 100},
        {"slot": "cg2", "start": "0x4000", "size": 100}]})");
    auto built = WriteShx(manifest, Path());
    ASSERT_EQ(Prepare(Path()), 1);
    ExpectImagesAsBuilt(built);
}

TEST_F(ImageConversion, MissingBlockAfterALoneCodeGroupZeroIsNotHidden) {
    json manifest = json::parse(R"({"subfiles": [
        {"slot": "ramdld", "start": "0x1000", "size": 64},
        {"slot": "cg0", "start": "0x2000", "size": 100},
        {"slot": "cg4", "start": "0x4000", "size": 100, "omitBlock": true}]})");
    WriteShx(manifest, Path());
    EXPECT_EQ(Prepare(Path()), 0);
    EXPECT_NE(output.find("Only 2 image file created out of 3 subfiles\n"), std::string::npos);
    EXPECT_NE(Log1().find("ERROR: Only 2 image file created out of 3 subfiles"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(Path("fw.hmg")));
}

TEST_F(ImageConversion, MissingLastBlockFailsTheBuild) {
    json manifest = SampleManifest();
    manifest["subfiles"][4]["omitBlock"] = true;
    WriteShx(manifest, Path());
    EXPECT_EQ(Prepare(Path()), 0);
    EXPECT_NE(output.find("Only 4 image file created out of 5 subfiles\n"), std::string::npos);
}

// An S3 line of the given bytes at address (its checksum is not checked).
std::string S3Line(uint32_t address, const std::vector<uint8_t>& bytes) {
    char head[16];
    std::snprintf(head, sizeof head, "S3%02X%08X", static_cast<unsigned>(bytes.size() + 5),
                  address);
    std::string line = head;
    for (uint8_t byte : bytes) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02X", byte);
        line += pair;
    }
    return line + "00\r\n";
}

// Pages of an image go to its file while the walk goes on; records that come
// back to them later must still win, and a gap they left stays erased.
TEST_F(ImageConversion, LateRecordsBelowWrittenPagesStillWin) {
    constexpr uint32_t kStart = 0x20000;
    constexpr uint32_t kSize = 256 * 1024;
    json manifest = json::parse(R"({"subfiles": [
        {"slot": "ramdld", "start": "0x1000", "size": 16},
        {"slot": "cg0", "start": "0x20000", "size": 262144}]})");
    std::vector<uint8_t> expected(kSize, 0xFF);
    std::string body = "S00600004844521B\nS70500000000FA\nS00600004844521B\n";
    for (uint32_t offset = 0; offset < kSize; offset += 32) {
        if (offset >= 0x9000 && offset < 0xA000) {
            continue;  // a gap the late records fill in part
        }
        std::vector<uint8_t> bytes(32);
        for (size_t i = 0; i < bytes.size(); ++i) {
            bytes[i] = static_cast<uint8_t>((offset + i) * 7);
        }
        std::copy(bytes.begin(), bytes.end(), expected.begin() + offset);
        body += S3Line(kStart + offset, bytes);
    }
    for (uint32_t offset : {0x10u, 0x5000u, 0x9100u, 0x3FFF0u}) {
        std::vector<uint8_t> late(32, 0x55);
        size_t room = std::min<size_t>(late.size(), kSize - offset);
        std::copy(late.begin(), late.begin() + static_cast<long>(room), expected.begin() + offset);
        body += S3Line(kStart + offset, late);
    }
    body += "S70500000000FA\n";
    WriteWithBody(manifest, body);
    ASSERT_EQ(Prepare(Path()), 1) << output;
    EXPECT_EQ(ReadBytes(Path("fwCG0.smg")), expected);
}

TEST_F(ImageConversion, SecondS0WithoutS7Stops) {
    WriteWithBody(TwoSlots(), "S00600004844521B\nS00600004844521B\n");
    EXPECT_EQ(Prepare(Path()), 0);
    EXPECT_NE(output.find("More than ONE SREC_S0 detected on image[0] file \n\r0%\n"),
              std::string::npos);
    EXPECT_NE(Log1().find("ERROR: More than ONE SREC_S0 detected on image[0] file \r\n"),
              std::string::npos);
}

TEST_F(ImageConversion, DataOrEndOutsideABlockStops) {
    WriteWithBody(TwoSlots(), "S30900001000112233443C\n");
    EXPECT_EQ(Prepare(Path()), 0);
    EXPECT_NE(output.find("Got SREC_S3 with SREC_S0 on image[0] file\n"), std::string::npos);

    WriteWithBody(TwoSlots(), "S00600004844521B\nS70500000000FA\nS70500000000FA\n");
    EXPECT_EQ(Prepare(Path()), 0);
    EXPECT_NE(output.find("Got SREC_S7 without SREC_S0 on image[1] file\n"), std::string::npos);
}

TEST_F(ImageConversion, MoreBlocksThanSlotsStops) {
    std::string block = "S00600004844521B\nS70500000000FA\n";
    WriteWithBody(TwoSlots(), block + block + block);
    EXPECT_EQ(Prepare(Path()), 0);
    EXPECT_NE(output.find("Exceeds MAXIMUM image file limit\n"), std::string::npos);
}

TEST_F(ImageConversion, OtherRecordTypesAreLoggedAndSkipped) {
    WriteWithBody(TwoSlots(),
                  "S00600004844521B\nS1071000AABBCCDD00\nS70500000000FA\n"
                  "S00600004844521B\nS20820000011223344\nS70500000000FA\n");
    ASSERT_EQ(Prepare(Path()), 1);
    EXPECT_EQ(ReadBytes(Path("fwRAMDLD.smg")), std::vector<uint8_t>(16, 0xFF));
    EXPECT_EQ(ReadBytes(Path("fwCG0.smg")), std::vector<uint8_t>(16, 0xFF));
    EXPECT_NE(Log1().find("ERROR: SREC_S1 detected on subfile #1"), std::string::npos);
    EXPECT_NE(Log1().find("ERROR: SREC_S2 detected on subfile #2"), std::string::npos);
}

TEST_F(ImageConversion, RecordsAreCutToTheSlotAtBothEndsAndAcrossIt) {
    json manifest = json::parse(R"({"subfiles": [
        {"slot": "ramdld", "start": "0x1000", "size": 4,
         "extraRecords": [{"address": "0x0FFC", "hex": "0102030405060708090A0B0C"}]},
        {"slot": "cg0", "start": "0x2000", "size": 16, "holes": [[0, 16]],
         "extraRecords": [{"address": "0x1FFE", "hex": "A1A2A3A4"},
                          {"address": "0x200E", "hex": "B1B2B3B4"},
                          {"address": "0x3000", "hex": "C1"}]}]})");
    auto built = WriteShx(manifest, Path());
    ASSERT_EQ(Prepare(Path()), 1);
    EXPECT_EQ(ReadBytes(Path("fwRAMDLD.smg")), (std::vector<uint8_t>{5, 6, 7, 8}));
    std::vector<uint8_t> cg0(16, 0xFF);
    cg0[0] = 0xA3;
    cg0[1] = 0xA4;
    cg0[14] = 0xB1;
    cg0[15] = 0xB2;
    EXPECT_EQ(ReadBytes(Path("fwCG0.smg")), cg0);
    ExpectImagesAsBuilt(built);
}

TEST_F(ImageConversion, RecordNearTheTopOfTheAddressSpaceNeverWrapsIntoASlot) {
    json manifest = json::parse(R"({"subfiles": [
        {"slot": "ramdld", "start": "0x0", "size": 32},
        {"slot": "cg0", "start": "0x2000", "size": 16}]})");
    std::string wrapping = "S325FFFFFFF8" + std::string(64, '1') + "00\n";
    WriteWithBody(manifest, "S00600004844521B\n" + wrapping + "S70500000000FA\n" +
                                "S00600004844521B\nS70500000000FA\n");
    ASSERT_EQ(Prepare(Path()), 1);
    EXPECT_EQ(ReadBytes(Path("fwRAMDLD.smg")), std::vector<uint8_t>(32, 0xFF));
}

TEST_F(ImageConversion, BarkersComeFromTheImagesIntoHeaderAndIndex) {
    json manifest = SampleManifest();
    manifest["subfiles"][1]["tableEntry"] = "EEEEEEEEEEEEEEEE";
    WriteShx(manifest, Path());
    ASSERT_EQ(Prepare(Path()), 1);
    std::vector<uint8_t> index = ReadBytes(Path("fw.hmg"));
    const uint8_t* entry2 = index.data() + 6 + shx::kBarkerTableOffset + 2 * 8;
    EXPECT_EQ(std::vector<uint8_t>(entry2, entry2 + 8),
              (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8}));
    const uint8_t* record2 = index.data() + 8178 + 2 * 272 + 258;
    EXPECT_EQ(std::vector<uint8_t>(record2, record2 + 8),
              (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8}));
    ASSERT_EQ(Prepare(Path()), 1);
    ASSERT_TRUE(reader->ImagesUpToDate());
    EXPECT_EQ(reader->Record(2).barkerCode, (std::array<uint8_t, 8>{1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST_F(ImageConversion, BarkerBeyondTheTableFailsTheBuildWithoutAnIndex) {
    json manifest = SampleManifest();
    manifest["subfiles"].push_back(json::parse(
        R"({"slot": "cg14", "start": "0x10400000", "size": 64, "type": 2, "barker": "1112131415161718"})"));
    WriteShx(manifest, Path());
    EXPECT_EQ(Prepare(Path()), 0);
    EXPECT_NE(output.find("Exceeded the number of barker code limit\n"), std::string::npos);
    EXPECT_NE(Log1().find("ERROR: Exceeded the number of barker code limit"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(Path("fw.hmg")));
    EXPECT_EQ(reader->Record(16).barkerCode,
              (std::array<uint8_t, 8>{0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18}));
    const uint8_t* entry2 = reader->Header().data() + shx::kBarkerTableOffset + 2 * 8;
    EXPECT_EQ(entry2[0], 1);  // lower slots were refreshed before the stop
}

TEST_F(ImageConversion, FileCountZeroBuildsNothing) {
    WriteShx(json::parse(R"({"subfiles": []})"), Path());
    ASSERT_EQ(Prepare(Path()), 1);
    EXPECT_FALSE(std::filesystem::exists(Path("fwRAMDLD.smg")));
}

class ImageHeldElsewhere : public ImageConversion {
  protected:
    void SetUp() override {
        built = WriteShx(SampleManifest(), Path());
        ASSERT_EQ(Prepare(Path()), 1);
        std::vector<uint8_t> image = ReadBytes(Path("fwCG1.smg"));
        image[0] ^= 1;  // forces a rebuild
        testsupport::WriteBytes(Path("fwCG1.smg"), image);
        holder = open(Path("fwCG1.smg").c_str(), O_RDONLY);
        ASSERT_EQ(flock(holder, LOCK_EX), 0);
    }
    void TearDown() override {
        if (holder >= 0) {
            close(holder);
        }
    }
    mkshx::BuiltSuperfile built;
    int holder = -1;
};

TEST_F(ImageHeldElsewhere, CancelEndsTheBuildAfterTheSharingViolation) {
    boxes.Answer(platform::BoxAnswer::Cancel);
    EXPECT_EQ(Prepare(Path()), 0);
    ASSERT_EQ(boxes.Texts(), std::vector<std::string>{
                                 "Image file is currently write protected by another process!"});
    EXPECT_EQ(boxes.Boxes()[0].buttons, platform::BoxButtons::RetryCancel);
    EXPECT_NE(output.find("ERROR: SHARE.EXE was not loaded, or a shared region was locked.\n"
                          "Image file is currently write protected by another process!\n"),
              std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(Path("fw.hmg")));
}

TEST_F(ImageHeldElsewhere, RetryAfterTheOtherProcessLetGoFinishesTheBuild) {
    platform::SetMessageBoxHandler([this](const platform::BoxRequest&) {
        close(holder);
        holder = -1;
        return platform::BoxAnswer::Retry;
    });
    EXPECT_EQ(Prepare(Path()), 1);
    ExpectImagesAsBuilt(built);
}

// Retry is offered once: when the file is still held, the build ends as after
// Cancel (the holder lets go only at a third box, which must never come).
TEST_F(ImageHeldElsewhere, SecondRefusalAfterRetryEndsTheBuild) {
    int asked = 0;
    platform::SetMessageBoxHandler([&](const platform::BoxRequest&) {
        if (++asked == 3) {
            close(holder);
            holder = -1;
        }
        return platform::BoxAnswer::Retry;
    });
    EXPECT_EQ(Prepare(Path()), 0);
    EXPECT_EQ(asked, 1);
    EXPECT_NE(output.find("Image file is currently write protected by another process!\n"),
              std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(Path("fw.hmg")));
}

// Links planted under the names of images and of the index's temporary file
// are removed, never written through: the files they name stay as they were
// (or unmade), and the conversion makes its own regular files.
TEST_F(ImageConversion, LinksUnderImageAndIndexNamesAreNeverWrittenThrough) {
    auto built = WriteShx(SampleManifest(), Path());
    testsupport::WriteText(Path("victim.txt"), "keep");
    ASSERT_EQ(symlink("victim.txt", Path("fwCG0.smg").c_str()), 0);
    ASSERT_EQ(symlink("made-through-a-link", Path("fwCG1.smg").c_str()), 0);
    ASSERT_EQ(symlink("victim.txt", Path("fw.hmg.part").c_str()), 0);
    ASSERT_EQ(Prepare(Path()), 1) << output;
    EXPECT_EQ(testsupport::ReadText(Path("victim.txt")), "keep");
    EXPECT_FALSE(std::filesystem::exists(Path("made-through-a-link")));
    ExpectImagesAsBuilt(built);
    for (const char* name : {"fwCG0.smg", "fwCG1.smg", "fw.hmg"}) {
        EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(Path(name))))
            << name;
    }
    ASSERT_EQ(Prepare(Path()), 1);
    EXPECT_TRUE(reader->ImagesUpToDate());
}

class ImagePackets : public ImageConversion {};

TEST_F(ImagePackets, DataPacketCarriesLengthBytesAndSum) {
    std::vector<uint8_t> image(8192 + 5);
    for (size_t i = 0; i < image.size(); ++i) {
        image[i] = static_cast<uint8_t>(i * 7);
    }
    testsupport::WriteBytes(Path("img.smg"), image);
    CFlashFileIO io(nullptr, Path());
    int fd = open(Path("img.smg").c_str(), O_RDONLY);
    std::vector<uint8_t> packet(8195);
    ASSERT_EQ(io.ReadImagePacket(fd, packet, 8192), 1);
    EXPECT_EQ(packet[0], 0x20);
    EXPECT_EQ(packet[1], 0x00);
    EXPECT_TRUE(std::equal(image.begin(), image.begin() + 8192, packet.begin() + 2));
    EXPECT_EQ(packet[8194], shx::Sum8(packet.data(), 8194));

    std::vector<uint8_t> tail(11, 0xAA);
    tail[2] = 0x55;  // one byte the caller already placed
    ASSERT_EQ(io.ReadImageTailPacket(fd, tail, 1, 5), 1);
    EXPECT_EQ(tail[0], 0);
    EXPECT_EQ(tail[1], 8);
    EXPECT_EQ(tail[2], 0x55);
    EXPECT_TRUE(std::equal(image.begin() + 8192, image.end(), tail.begin() + 3));
    EXPECT_EQ(tail[10], shx::Sum8(tail.data(), 10));
    close(fd);
}

TEST_F(ImagePackets, ShortReadIsReportedAndRefused) {
    testsupport::WriteBytes(Path("img.smg"), std::vector<uint8_t>(100, 1));
    CFlashFileIO io(nullptr, Path());
    int fd = open(Path("img.smg").c_str(), O_RDONLY);
    std::vector<uint8_t> packet(8195);
    testing::internal::CaptureStdout();
    EXPECT_EQ(io.ReadImagePacket(fd, packet, 8192), 0);
    std::vector<uint8_t> small(10);
    EXPECT_EQ(io.ReadImagePacket(fd, small, 8), 0);  // no room for the packet
    std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed,
              "An error occurred while reading Image File.\nAn error occurred while reading Image "
              "File.\n");
    EXPECT_NE(Log1().find("ERROR: An error occurred while reading Image File."), std::string::npos);
    close(fd);
}

}  // namespace
