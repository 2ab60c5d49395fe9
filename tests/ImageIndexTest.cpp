// The image index: written after a conversion, it lets an unchanged superfile
// skip the next one, and must never let a changed or foreign one do so.
#include <gtest/gtest.h>

#include <filesystem>

#include "ModuleFakes.h"
#include "ORX_FP_FlashFileIO.h"
#include "ShxFiles.h"

namespace {

using nlohmann::json;
using testsupport::ReadBytes;
using testsupport::SampleManifest;
using testsupport::WriteBytes;
using testsupport::WriteShx;

class ImageIndex : public testsupport::ModuleTest {
  protected:
    std::string Path(const std::string& name = "fw.shx") const { return scratch.File(name); }

    // Reads the superfile fresh; the result of the read.
    int Read(const std::string& path) {
        reader = std::make_unique<CFlashFileIO>(nullptr, path);
        testing::internal::CaptureStdout();
        int result = reader->ReadSuperfile(FailureBoxes::Quiet);
        output = testing::internal::GetCapturedStdout();
        return result;
    }

    // A superfile with its images beside it and an index written from a read.
    mkshx::BuiltSuperfile Converted(const json& manifest, const std::string& path) {
        auto built = WriteShx(manifest, path, true);
        EXPECT_EQ(Read(path), 1);
        EXPECT_FALSE(reader->ImagesUpToDate());
        EXPECT_EQ(reader->WriteImageIndex(), 1);
        return built;
    }

    // Rewrites the index checksum after a deliberate change to its contents.
    static void FixIndexChecksum(std::vector<uint8_t>& index) {
        uint16_t sum = shx::Sum16(index.data() + 6, index.size() - 6);
        shx::WriteLe16(index.data() + 2, sum);
    }

    std::unique_ptr<CFlashFileIO> reader;
    std::string output;
};

TEST_F(ImageIndex, IndexLayoutHoldsHeaderNamesSumsBarkersAndPresence) {
    auto built = Converted(SampleManifest(), Path());
    std::vector<uint8_t> index = ReadBytes(Path("fw.hmg"));
    ASSERT_EQ(index.size(), 78354u);
    EXPECT_EQ(shx::ReadLe16(index.data()), 1);
    EXPECT_EQ(shx::ReadLe16(index.data() + 4), built.storedChecksum);
    EXPECT_TRUE(std::equal(index.begin() + 6, index.begin() + 6 + 8172, built.bytes.begin()));
    uint16_t expected = shx::Sum16(index.data() + 6, 8172 + 70176);
    EXPECT_EQ(shx::ReadLe16(index.data() + 2), expected);

    const uint8_t* cg0 = index.data() + 8178 + 2 * 272;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(cg0)), Path("fwCG0.smg"));
    const auto& image = built.images.at(2);
    EXPECT_EQ(shx::ReadLe16(cg0 + 256), shx::Sum16(image.data(), image.size()));
    EXPECT_TRUE(std::equal(cg0 + 258, cg0 + 266, image.begin()));  // barker: first image bytes
    EXPECT_EQ(shx::ReadLe32(cg0 + 268), 1u);
    const uint8_t* boot = index.data() + 8178 + 1 * 272;
    EXPECT_EQ(boot[0], 0);
    EXPECT_EQ(shx::ReadLe32(boot + 268), 0u);
}

TEST_F(ImageIndex, UnchangedSuperfileAndImagesAreUpToDate) {
    Converted(SampleManifest(), Path());
    ASSERT_EQ(Read(Path()), 1);
    EXPECT_TRUE(reader->ImagesUpToDate());
    EXPECT_TRUE(reader->Record(2).present);
}

TEST_F(ImageIndex, UpToDateReadUsesTheHeaderKeptInTheIndex) {
    Converted(SampleManifest(), Path());
    std::vector<uint8_t> index = ReadBytes(Path("fw.hmg"));
    std::copy_n("Apr 01 2003", 12, index.begin() + 6 + 320);
    FixIndexChecksum(index);
    WriteBytes(Path("fw.hmg"), index);
    ASSERT_EQ(Read(Path()), 1);
    ASSERT_TRUE(reader->ImagesUpToDate());
    EXPECT_EQ(reader->FileDate(), "Apr 01 2003");
}

TEST_F(ImageIndex, DamagedIndexIsNotUpToDate) {
    Converted(SampleManifest(), Path());
    const std::vector<uint8_t> good = ReadBytes(Path("fw.hmg"));

    std::vector<uint8_t> version2 = good;
    shx::WriteLe16(version2.data(), 2);
    std::vector<uint8_t> headerByte = good;
    headerByte[6 + 100] ^= 0x40;
    std::vector<uint8_t> truncated(good.begin(), good.end() - 1);
    std::vector<uint8_t> oversized = good;
    oversized.push_back(0);
    std::vector<uint8_t> empty;

    for (const auto& variant : {version2, headerByte, truncated, oversized, empty}) {
        WriteBytes(Path("fw.hmg"), variant);
        ASSERT_EQ(Read(Path()), 1);
        EXPECT_FALSE(reader->ImagesUpToDate()) << variant.size();
        EXPECT_EQ(reader->FileDate(), "Mar 05 2002");
    }
}

TEST_F(ImageIndex, ChangedOrMissingImageIsNotUpToDate) {
    Converted(SampleManifest(), Path());
    std::vector<uint8_t> image = ReadBytes(Path("fwCG1.smg"));
    image[100] ^= 0x01;
    WriteBytes(Path("fwCG1.smg"), image);
    ASSERT_EQ(Read(Path()), 1);
    EXPECT_FALSE(reader->ImagesUpToDate());

    image[100] ^= 0x01;
    WriteBytes(Path("fwCG1.smg"), image);
    ASSERT_EQ(Read(Path()), 1);
    EXPECT_TRUE(reader->ImagesUpToDate());

    std::filesystem::remove(Path("fwRAMDLD.smg"));
    ASSERT_EQ(Read(Path()), 1);
    EXPECT_FALSE(reader->ImagesUpToDate());
}

TEST_F(ImageIndex, EntryNotMarkedPresentIsNotChecked) {
    Converted(SampleManifest(), Path());
    std::vector<uint8_t> index = ReadBytes(Path("fw.hmg"));
    uint8_t* cg9 = index.data() + 8178 + 11 * 272;
    std::copy_n("/no/such/file.smg", 18, cg9);
    shx::WriteLe16(cg9 + 256, 0x1234);
    FixIndexChecksum(index);
    WriteBytes(Path("fw.hmg"), index);
    ASSERT_EQ(Read(Path()), 1);
    EXPECT_TRUE(reader->ImagesUpToDate());
}

TEST_F(ImageIndex, SuperfileReplacedInPlaceIsReadAfresh) {
    Converted(SampleManifest(), Path());
    json newer = SampleManifest();
    newer["date"] = "Jun 30 2004";
    newer["subfiles"][2]["version"] = "0x0400";
    auto built = WriteShx(newer, Path());  // the old images stay beside it
    ASSERT_EQ(Read(Path()), 1);
    EXPECT_FALSE(reader->ImagesUpToDate());
    EXPECT_EQ(reader->FileDate(), "Jun 30 2004");
    EXPECT_EQ(reader->AppVersionText(), " v0x000400");
    EXPECT_EQ(reader->SuperfileChecksum(), built.storedChecksum);
}

TEST_F(ImageIndex, ReplacedSuperfileWithBadChecksumIsRefusedDespiteTheIndex) {
    Converted(SampleManifest(), Path());
    json broken = SampleManifest();
    broken["checksum"] = "bad";
    WriteShx(broken, Path());
    EXPECT_EQ(Read(Path()), 0);
}

TEST_F(ImageIndex, SuperfileWithoutChecksumIsNeverTakenAsUpToDate) {
    json manifest = SampleManifest();
    manifest["checksum"] = "none";
    Converted(manifest, Path());
    EXPECT_EQ(shx::ReadLe16(ReadBytes(Path("fw.hmg")).data() + 4), 0);
    ASSERT_EQ(Read(Path()), 1);
    EXPECT_FALSE(reader->ImagesUpToDate());
}

TEST_F(ImageIndex, IndexCarriedAlongToAnotherPathIsNotUpToDate) {
    Converted(SampleManifest(), Path());
    std::filesystem::create_directory(Path("copy"));
    for (const char* name :
         {"fw.shx", "fw.hmg", "fwRAMDLD.smg", "fwCG0.smg", "fwCG1.smg", "fwCG2.smg", "fwCG4.smg"}) {
        std::filesystem::copy_file(Path(name), Path(std::string("copy/") + name));
    }
    ASSERT_EQ(Read(Path("copy/fw.shx")), 1);
    EXPECT_FALSE(reader->ImagesUpToDate());
}

TEST_F(ImageIndex, ChecksumFieldComesFromTheSuperfileNotFromAnOldIndex) {
    json manifest = SampleManifest();
    Converted(manifest, Path());
    manifest["checksum"] = "none";
    WriteShx(manifest, Path());
    ASSERT_EQ(Read(Path()), 1);
    EXPECT_EQ(reader->SuperfileChecksum(), 0);
    ASSERT_EQ(reader->WriteImageIndex(), 1);
    EXPECT_EQ(shx::ReadLe16(ReadBytes(Path("fw.hmg")).data() + 4), 0);
}

TEST_F(ImageIndex, SumFile16SumsTheWholeFileAndRefusesWhatIsNotAFile) {
    std::vector<uint8_t> bytes(10000, 0xFF);
    WriteBytes(Path("a.smg"), bytes);
    uint16_t sum = 1;
    ASSERT_EQ(CFlashFileIO::SumFile16(Path("a.smg"), sum), 1);
    EXPECT_EQ(sum, static_cast<uint16_t>(10000u * 255u));
    EXPECT_EQ(CFlashFileIO::SumFile16(Path("none.smg"), sum), 0);
    EXPECT_EQ(CFlashFileIO::SumFile16(scratch.Path().string(), sum), 0);
}

TEST_F(ImageIndex, IndexFileThatCannotBeCreatedGivesZero) {
    WriteShx(SampleManifest(), Path());
    ASSERT_EQ(Read(Path()), 1);
    std::filesystem::create_directory(Path("fw.hmg"));
    EXPECT_EQ(reader->WriteImageIndex(), 0);
}

}  // namespace
