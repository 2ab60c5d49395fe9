// Reading and validating superfiles: every refusal with its exact message and
// route, and the records, texts and dialog fields of a good read.
#include <gtest/gtest.h>

#include <filesystem>

#include "ModuleFakes.h"
#include "ORX_FP_FlashFileIO.h"
#include "ShxFiles.h"

namespace {

using nlohmann::json;
using testsupport::ReadBytes;
using testsupport::RecordingView;
using testsupport::SampleManifest;
using testsupport::WriteBytes;
using testsupport::WriteShx;

const std::string kInvalid =
    "ERROR: The file you have selected is an invalid superfile.\nPlease enter in a valid "
    "superfile.";
const std::string kCountMismatch =
    "Possible Corrupt SuperFile.  File count does not match with the number of valid files.";
const std::string kChecksumMismatch =
    "ERROR: Super-file checksum mismatch.  Download original super-file.\r\nFlashing with older "
    "versions of ORX may cause this.\r\n";

class SuperfileReader : public testsupport::ModuleTest {
  protected:
    // Reads path headless and returns the result, with standard output kept.
    int Read(const std::string& path, FailureBoxes boxes = FailureBoxes::Show) {
        reader = std::make_unique<CFlashFileIO>(nullptr, path);
        testing::internal::CaptureStdout();
        int result = reader->ReadSuperfile(boxes);
        output = testing::internal::GetCapturedStdout();
        return result;
    }

    std::string Path(const std::string& name = "fw.shx") const { return scratch.File(name); }

    std::unique_ptr<CFlashFileIO> reader;
    std::string output;
};

TEST_F(SuperfileReader, GoodFileFillsRecordsTextsAndChecksum) {
    auto built = WriteShx(SampleManifest(), Path());
    ASSERT_EQ(Read(Path()), 1);
    EXPECT_EQ(output, "");
    EXPECT_EQ(reader->FileCount(), 5);
    EXPECT_EQ(reader->FileSize(), built.bytes.size());
    EXPECT_EQ(reader->SuperfileChecksum(), built.storedChecksum);
    EXPECT_EQ(reader->PlatformText(), "GSM k.380");
    EXPECT_EQ(reader->RamVersionText(), "v0x000101");
    EXPECT_EQ(reader->AppVersionText(), " v0x000357");
    EXPECT_EQ(reader->BootVersionText(), "-------------");
    EXPECT_EQ(reader->FileDate(), "Mar 05 2002");

    for (int slot : {0, 2, 3, 4, 6}) {
        EXPECT_TRUE(reader->Record(slot).present) << slot;
    }
    for (int slot : {1, 5, 7, 257}) {
        EXPECT_FALSE(reader->Record(slot).present) << slot;
    }
    const SubfileRecord& cg0 = reader->Record(2);
    EXPECT_EQ(cg0.start, 0x10000000u);
    EXPECT_EQ(cg0.end, 0x10000FFFu);
    EXPECT_EQ(cg0.length, 4096u);
    EXPECT_EQ(cg0.version, 0x0210);
    EXPECT_EQ(cg0.type, 2);
    EXPECT_EQ(cg0.imageName, Path("fwCG0.smg"));
    EXPECT_EQ(cg0.barkerCode, (std::array<uint8_t, 8>{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(cg0.extraBytes, cg0.barkerCode);
    EXPECT_EQ(cg0.extraSum, 36);
    EXPECT_EQ(reader->Record(0).imageName, Path("fwRAMDLD.smg"));
    EXPECT_EQ(reader->AppChecksum(), reader->Record(3).declaredChecksum);
    EXPECT_EQ(reader->RamChecksum(), reader->Record(0).declaredChecksum);
}

TEST_F(SuperfileReader, MissingFileIsReportedWithItsPathOnStandardOutput) {
    EXPECT_EQ(Read(Path("absent.shx")), 0);
    EXPECT_EQ(output, "Unable to open file." + Path("absent.shx") + "\n");
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_NE(Log1().find("ERROR: Unable to open file." + Path("absent.shx")), std::string::npos);
    EXPECT_NE(Log1().find("File: ORX_FP_FlashFileIO"), std::string::npos);
}

TEST_F(SuperfileReader, DirectoryOrDeviceIsNotOpenedAsASuperfile) {
    std::filesystem::create_directory(Path("dir.shx"));
    EXPECT_EQ(Read(Path("dir.shx")), 0);
    EXPECT_EQ(output, "Unable to open file." + Path("dir.shx") + "\n");
    EXPECT_EQ(Read("/dev/null"), 0);
    EXPECT_EQ(output, "Unable to open file./dev/null\n");
}

TEST_F(SuperfileReader, PerDeviceRouteShowsOpenFailureInABoxUnlessQuiet) {
    SetAutomationRoute(ReportRoute::PerDevice);
    EXPECT_EQ(Read(Path("absent.shx")), 0);
    EXPECT_EQ(output, "");
    ASSERT_EQ(boxes.Texts(), std::vector<std::string>{"Unable to open file." + Path("absent.shx")});
    EXPECT_EQ(boxes.Boxes()[0].icon, platform::BoxIcon::Stop);
    EXPECT_TRUE(boxes.Boxes()[0].systemModal);

    EXPECT_EQ(Read(Path("absent.shx"), FailureBoxes::Quiet), 0);
    EXPECT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(output, "Unable to open file." + Path("absent.shx") + "\n");
}

TEST_F(SuperfileReader, ChecksumMismatchIsRefusedWithPath) {
    json manifest = SampleManifest();
    manifest["checksum"] = "bad";
    WriteShx(manifest, Path());
    EXPECT_EQ(Read(Path()), 0);
    EXPECT_EQ(output, kChecksumMismatch + Path() + "\n");
}

TEST_F(SuperfileReader, OneChangedBodyByteFailsTheChecksum) {
    WriteShx(SampleManifest(), Path());
    std::vector<uint8_t> bytes = ReadBytes(Path());
    bytes[9000] ^= 0x01;
    WriteBytes(Path(), bytes);
    EXPECT_EQ(Read(Path()), 0);
    EXPECT_EQ(output, kChecksumMismatch + Path() + "\n");
}

TEST_F(SuperfileReader, FileWithoutMarkerIsReadWithoutChecksumTest) {
    json manifest = SampleManifest();
    manifest["checksum"] = "none";
    WriteShx(manifest, Path());
    std::vector<uint8_t> bytes = ReadBytes(Path());
    bytes[9000] ^= 0x01;  // would fail any checksum
    WriteBytes(Path(), bytes);
    EXPECT_EQ(Read(Path()), 1);
    EXPECT_EQ(reader->SuperfileChecksum(), 0);
}

TEST_F(SuperfileReader, KindsOtherThanK380AreRefusedAndOnlyLoggedWithoutDialog) {
    json manifest = SampleManifest();
    manifest["kind"] = "R4X Superfile";
    WriteShx(manifest, Path());
    EXPECT_EQ(Read(Path()), 0);
    EXPECT_EQ(output, "");
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_NE(Log1().find("ERROR: The file you have selected got a wrong CustomerID.\nPlease enter "
                          "in a correct superfile."),
              std::string::npos);

    manifest["kind"] = "K380 Superfile2";
    WriteShx(manifest, Path());
    EXPECT_EQ(Read(Path()), 0);
    EXPECT_NE(Log1().find("ERROR: " + kInvalid), std::string::npos);
}

TEST_F(SuperfileReader, FileShorterThanTheHeaderIsInvalid) {
    for (size_t size : {0u, 10u, 63u, 64u, 8171u}) {
        std::vector<uint8_t> bytes(size, 'S');
        std::copy_n("K380 Superfile", std::min<size_t>(size, 15), bytes.begin());
        WriteBytes(Path(), bytes);
        EXPECT_EQ(Read(Path()), 0) << size;
    }
    EXPECT_NE(Log1().find("ERROR: " + kInvalid), std::string::npos);
}

TEST_F(SuperfileReader, KindWithoutTerminatingZeroIsInvalid) {
    json manifest = SampleManifest();
    manifest["checksum"] = "none";
    WriteShx(manifest, Path("plain.shx"));
    std::vector<uint8_t> plain = ReadBytes(Path("plain.shx"));
    std::fill(plain.begin(), plain.begin() + 816, 'K');  // kind and date rooms, no NUL
    WriteBytes(Path("plain.shx"), plain);
    EXPECT_EQ(Read(Path("plain.shx")), 0);
    EXPECT_NE(Log1().find("ERROR: " + kInvalid), std::string::npos);
}

TEST_F(SuperfileReader, FileCountAboveSlotsIsRefusedBeforeAnySlotIsRead) {
    json manifest = SampleManifest();
    manifest["fileCount"] = 259;
    WriteShx(manifest, Path());
    EXPECT_EQ(Read(Path()), 0);
    EXPECT_NE(Log1().find("ERROR: ERROR: Superfile exceeds maximum file limit!"),
              std::string::npos);
    EXPECT_FALSE(reader->Record(0).present);
    EXPECT_EQ(reader->RamVersionText(), "");
}

TEST_F(SuperfileReader, FileCountNobodyCanReachIsACorruptFile) {
    json manifest = SampleManifest();
    manifest["fileCount"] = 258;
    WriteShx(manifest, Path());
    EXPECT_EQ(Read(Path()), 0);
    EXPECT_NE(Log1().find("ERROR: " + kCountMismatch), std::string::npos);
}

TEST_F(SuperfileReader, DescriptorLeftOutByTheCountIsACorruptFile) {
    json manifest = SampleManifest();
    manifest["fileCount"] = 4;  // five sub-files are described
    WriteShx(manifest, Path());
    EXPECT_EQ(Read(Path()), 0);
    EXPECT_NE(Log1().find("ERROR: " + kCountMismatch), std::string::npos);
}

TEST_F(SuperfileReader, FileCountZeroReadsNoRecord) {
    json manifest = json::parse(R"({"subfiles": []})");
    WriteShx(manifest, Path());
    RecordingView view;
    view.texts[ctl::kFileName] = Path();
    CFlashFileIO withDialog(&view, "");
    ASSERT_EQ(withDialog.ReadSuperfile(FailureBoxes::Show), 1);
    for (int slot = 0; slot < shx::kSlots; ++slot) {
        EXPECT_FALSE(withDialog.Record(slot).present);
    }
    EXPECT_TRUE(view.lists[ctl::kFileMiscList].empty());
    EXPECT_EQ(view.listResets[ctl::kFileMiscList], 1);
}

TEST_F(SuperfileReader, FileCountOneReadsTheRamDownloaderAlone) {
    json manifest = json::parse(R"({"subfiles": [
        {"slot": "ramdld", "start": "0x1000", "size": 16, "version": "0x0203"}]})");
    WriteShx(manifest, Path());
    ASSERT_EQ(Read(Path()), 1);
    EXPECT_TRUE(reader->Record(0).present);
    EXPECT_EQ(reader->BootVersionText(), "");
    EXPECT_EQ(reader->RamVersionText(), "v0x000203");
}

TEST_F(SuperfileReader, GapsBetweenCodeGroupsAreWalkedOver) {
    json manifest = json::parse(R"({"subfiles": [
        {"slot": "ramdld", "start": "0x1000", "size": 16},
        {"slot": "cg0", "start": "0x2000", "size": 16, "version": "0x0210"},
        {"slot": "cg4", "start": "0x3000", "size": 16, "version": "0x0104"}]})");
    WriteShx(manifest, Path());
    RecordingView view;
    view.texts[ctl::kFileName] = Path();
    CFlashFileIO withDialog(&view, "");
    ASSERT_EQ(withDialog.ReadSuperfile(FailureBoxes::Show), 1);
    EXPECT_TRUE(withDialog.Record(2).present);
    EXPECT_TRUE(withDialog.Record(6).present);
    EXPECT_FALSE(withDialog.Record(3).present);
    EXPECT_EQ(withDialog.AppVersionText(), "-------------");
    EXPECT_EQ(view.lists[ctl::kFileMiscList],
              (std::vector<std::string>{"Code Group 0 v0x000210", "Code Group 4 v0x000104"}));
    EXPECT_EQ(view.selected[ctl::kFileMiscList], 0);
}

TEST_F(SuperfileReader, NonEmptyBootSlotIsRefusedInABoxInEveryMode) {
    json manifest = SampleManifest();
    manifest["subfiles"].push_back(
        json::parse(R"({"slot": 1, "start": "0x1000", "end": "0x1FFF"})"));
    manifest["fileCount"] = 5;
    WriteShx(manifest, Path());
    EXPECT_EQ(Read(Path(), FailureBoxes::Quiet), 0);
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{kInvalid});
    EXPECT_EQ(Log1(), "");
}

TEST_F(SuperfileReader, EndBelowStartIsInvalidNotAFourGigabyteImage) {
    json manifest = SampleManifest();
    manifest["allowInverted"] = true;
    manifest["subfiles"][3] =
        json::parse(R"({"slot": "cg2", "start": "0x10200000", "end": "0x101FFFFF"})");
    WriteShx(manifest, Path());
    EXPECT_EQ(Read(Path()), 0);
    EXPECT_NE(Log1().find("ERROR: " + kInvalid), std::string::npos);
}

TEST_F(SuperfileReader, UnknownPlatformFallsBackToTheBootSlotsBytes) {
    json manifest = SampleManifest();
    manifest["subfiles"][0]["family"] = 0;
    manifest["subfiles"].push_back(json::parse(R"({"slot": 1, "family": 4, "variant": 6})"));
    WriteShx(manifest, Path());
    ASSERT_EQ(Read(Path()), 1);
    EXPECT_EQ(reader->PlatformText(), "UMTS Tavenor");
    EXPECT_TRUE(reader->Record(0).platformFallback);
    EXPECT_EQ(reader->PlatformFamily(), 0);

    manifest["subfiles"].back()["family"] = 9;
    WriteShx(manifest, Path());
    ASSERT_EQ(Read(Path()), 1);
    EXPECT_EQ(reader->PlatformText(), "Unknown Platform");
    EXPECT_FALSE(reader->Record(0).platformFallback);
}

TEST_F(SuperfileReader, KnownFamilyWithUnnamedVariantKeepsTheTextAndDoesNotFallBack) {
    json manifest = SampleManifest();
    manifest["subfiles"][0]["variant"] = 3;
    manifest["subfiles"].push_back(json::parse(R"({"slot": 1, "family": 4, "variant": 6})"));
    WriteShx(manifest, Path());
    ASSERT_EQ(Read(Path()), 1);
    EXPECT_EQ(reader->PlatformText(), "");
    EXPECT_FALSE(reader->Record(0).platformFallback);
}

class SuperfileReaderWithDialog : public SuperfileReader {
  protected:
    RecordingView view;
};

TEST_F(SuperfileReaderWithDialog, PathComesFromTheFileNameBoxAndInformationIsShown) {
    auto built = WriteShx(SampleManifest(), Path());
    view.texts[ctl::kFileName] = Path();
    CFlashFileIO withDialog(&view, "ignored.shx");
    ASSERT_EQ(withDialog.ReadSuperfile(FailureBoxes::Show), 1);
    EXPECT_EQ(withDialog.SuperfilePath(), Path());
    EXPECT_EQ(view.texts[ctl::kFilePlatform], "GSM k.380");
    EXPECT_EQ(view.texts[ctl::kFileRamVersion], "v0x000101");
    EXPECT_EQ(view.texts[ctl::kFileAppVersion], " v0x000357");
    EXPECT_EQ(view.texts[ctl::kFileBootVersion], "-------------");
    EXPECT_EQ(view.texts[ctl::kFileBootChecksum], "-------------");
    EXPECT_EQ(view.texts[ctl::kFileRamChecksum], std::to_string(withDialog.RamChecksum()));
    EXPECT_EQ(view.texts[ctl::kFileAppChecksum], std::to_string(withDialog.AppChecksum()));
    EXPECT_EQ(view.texts[ctl::kFileSize], std::to_string(built.bytes.size()));
    EXPECT_EQ(view.texts[ctl::kFileDate], "Mar 05 2002");
    EXPECT_EQ(view.lists[ctl::kFileMiscList].size(), 4u);
}

TEST_F(SuperfileReaderWithDialog, EmptyFileNameBoxCannotBeOpened) {
    CFlashFileIO withDialog(&view, Path());
    EXPECT_EQ(withDialog.ReadSuperfile(FailureBoxes::Show), 0);
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Unable to open file."});
}

TEST_F(SuperfileReaderWithDialog, KindRefusalIsBoxedUnlessQuiet) {
    json manifest = SampleManifest();
    manifest["kind"] = "R4X Superfile";
    WriteShx(manifest, Path());
    view.texts[ctl::kFileName] = Path();
    CFlashFileIO withDialog(&view, "");
    EXPECT_EQ(withDialog.ReadSuperfile(FailureBoxes::Quiet), 0);
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_EQ(withDialog.ReadSuperfile(FailureBoxes::Show), 0);
    EXPECT_EQ(boxes.Texts(),
              std::vector<std::string>{"ERROR: The file you have selected got a wrong CustomerID.\n"
                                       "Please enter in a correct superfile."});
}

}  // namespace
