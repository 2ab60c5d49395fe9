// A superfile's information as the export hands it to programs: the array's
// rules, its boundary with caller-owned buffers, and the file-error messages.
#include <gtest/gtest.h>

#include <array>

#include "ModuleFakes.h"
#include "ORX_FP_Flash.h"
#include "ORX_FP_FlashFileIO.h"
#include "ShxFiles.h"

namespace {

using nlohmann::json;
using testsupport::SampleManifest;
using testsupport::WriteShx;

// Caller-owned buffers, pre-filled with a marker so untouched entries show.
class InfoBuffers {
  public:
    explicit InfoBuffers(int count, size_t size = 64) : buffers(static_cast<size_t>(count)) {
        for (auto& buffer : buffers) {
            buffer.assign(size, '\0');
            std::string marker = std::string("caller").substr(0, size - 1);
            std::copy(marker.begin(), marker.end(), buffer.begin());
            pointers.push_back(buffer.data());
        }
        array = {pointers.data(), count, size};
    }
    std::string Entry(int i) const { return buffers[static_cast<size_t>(i)].data(); }

    OrxTextArray array{};

  private:
    std::vector<std::vector<char>> buffers;
    std::vector<char*> pointers;
};

class SuperfileInformation : public testsupport::ModuleTest {
  protected:
    std::string Path(const std::string& name = "fw.shx") const { return scratch.File(name); }

    int Get(const std::string& path, InfoBuffers& info, uint16_t& firstVersion) {
        testing::internal::CaptureStdout();
        int result = GetSuperfileInformation(path.c_str(), &info.array, &firstVersion);
        output = testing::internal::GetCapturedStdout();
        return result;
    }

    std::string output;
};

TEST_F(SuperfileInformation, ThirteenEntriesCarryEveryField) {
    auto built = WriteShx(SampleManifest(), Path());
    CFlashFileIO reader(nullptr, Path());
    ASSERT_EQ(reader.ReadSuperfile(FailureBoxes::Quiet), 1);

    InfoBuffers info(13);
    uint16_t firstVersion = 0;
    ASSERT_EQ(Get(Path(), info, firstVersion), 0);
    EXPECT_EQ(info.Entry(0), "GSM k.380");
    EXPECT_EQ(info.Entry(1), " v0x000357");
    EXPECT_EQ(info.Entry(2), "-------------");
    EXPECT_EQ(info.Entry(3), "v0x000101");
    EXPECT_EQ(info.Entry(4), std::to_string(reader.AppChecksum()));
    EXPECT_EQ(info.Entry(5), "-------------");
    EXPECT_EQ(info.Entry(6), std::to_string(reader.RamChecksum()));
    EXPECT_EQ(info.Entry(7), "Mar 05 2002");
    EXPECT_EQ(info.Entry(8), std::to_string(built.bytes.size()));
    EXPECT_EQ(info.Entry(9), "v0x0210");
    EXPECT_EQ(info.Entry(10), "v0x0357");
    EXPECT_EQ(info.Entry(11), "v0x0104");
    EXPECT_EQ(info.Entry(12), "Regular File");
    EXPECT_EQ(firstVersion, 0x0210);
    EXPECT_EQ(output, "");
}

TEST_F(SuperfileInformation, ElevenEntriesAreLeftAloneTwelveGetNoKind) {
    WriteShx(SampleManifest(), Path());
    InfoBuffers eleven(11);
    uint16_t firstVersion = 0x1111;
    EXPECT_EQ(Get(Path(), eleven, firstVersion), 0);
    EXPECT_EQ(eleven.Entry(0), "caller");
    EXPECT_EQ(firstVersion, 0x1111);

    InfoBuffers twelve(12);
    EXPECT_EQ(Get(Path(), twelve, firstVersion), 0);
    EXPECT_EQ(twelve.Entry(0), "GSM k.380");
    EXPECT_EQ(twelve.Entry(11), "v0x0104");
}

TEST_F(SuperfileInformation, AbsentCodeGroupsLeaveTheirEntriesAndFirstVersion) {
    json manifest = json::parse(R"({"subfiles": [
        {"slot": "ramdld", "start": "0x1000", "size": 16, "declaredChecksum": 0},
        {"slot": "cg1", "start": "0x2000", "size": 16, "version": "0x0102"},
        {"slot": "cg2", "start": "0x3000", "size": 16, "type": 4}]})");
    WriteShx(manifest, Path());
    InfoBuffers info(13);
    uint16_t firstVersion = 0;
    ASSERT_EQ(Get(Path(), info, firstVersion), 0);
    EXPECT_EQ(firstVersion, 0xFFFF);
    EXPECT_EQ(info.Entry(6), "-------------");
    EXPECT_EQ(info.Entry(9), "caller");
    EXPECT_EQ(info.Entry(10), "v0x0102");
    EXPECT_EQ(info.Entry(11), "caller");
    EXPECT_EQ(info.Entry(12), "Combo File");
}

TEST_F(SuperfileInformation, CodeGroupAtAddressZeroCountsAsAbsent) {
    json manifest = json::parse(R"({"subfiles": [
        {"slot": "ramdld", "start": "0x1000", "size": 16},
        {"slot": "cg0", "start": 0, "size": 16, "version": "0x0210"}]})");
    WriteShx(manifest, Path());
    InfoBuffers info(13);
    uint16_t firstVersion = 0;
    ASSERT_EQ(Get(Path(), info, firstVersion), 0);
    EXPECT_EQ(info.Entry(9), "caller");
    EXPECT_EQ(firstVersion, 0xFFFF);
}

TEST_F(SuperfileInformation, EntriesAreCutToTheCallersSize) {
    WriteShx(SampleManifest(), Path());
    InfoBuffers info(13, 5);
    uint16_t firstVersion = 0;
    ASSERT_EQ(Get(Path(), info, firstVersion), 0);
    EXPECT_EQ(info.Entry(0), "GSM ");
    EXPECT_EQ(info.Entry(12), "Regu");
}

TEST_F(SuperfileInformation, NotASuperfileGives52AfterItsBox) {
    testsupport::WriteText(Path(), "not a superfile");
    InfoBuffers info(13);
    uint16_t firstVersion = 7;
    EXPECT_EQ(Get(Path(), info, firstVersion), 52);
    ASSERT_EQ(boxes.Texts(), std::vector<std::string>{"Error Reading File Header"});
    EXPECT_FALSE(boxes.Boxes()[0].systemModal);
    EXPECT_EQ(boxes.Boxes()[0].icon, platform::BoxIcon::Stop);
    EXPECT_NE(Log1().find("ERROR: Error Reading File Header\r\nFile: ORX_FP_Flash\r\n"),
              std::string::npos);
    EXPECT_EQ(info.Entry(0), "caller");
    EXPECT_EQ(firstVersion, 7);
}

TEST_F(SuperfileInformation, MissingArgumentsAreRefused) {
    InfoBuffers info(13);
    uint16_t firstVersion = 0;
    EXPECT_EQ(GetSuperfileInformation(nullptr, &info.array, &firstVersion), 3);
    EXPECT_EQ(GetSuperfileInformation("x.shx", nullptr, &firstVersion), 3);
    EXPECT_EQ(GetSuperfileInformation("x.shx", &info.array, nullptr), 3);
    OrxTextArray noEntries{nullptr, 13, 64};
    EXPECT_EQ(GetSuperfileInformation("x.shx", &noEntries, &firstVersion), 3);
}

TEST_F(SuperfileInformation, FileErrorsAreReportedByCause) {
    CFlashFileIO reader(nullptr, Path());
    testing::internal::CaptureStdout();
    reader.ReportFileException(2);
    reader.ReportFileException(11);
    reader.ReportFileException(0);
    reader.ReportFileException(15);
    std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed,
              "ERROR: File not found\n\nERROR: SHARE.EXE was not loaded, or a shared region was "
              "locked.\n");
    std::string log = Log1();
    EXPECT_NE(log.find("ERROR: ERROR: File not found\n\r\nFile: ORX_FP_FlashFileIO"),
              std::string::npos);
    size_t entries = 0;
    for (size_t at = log.find("Line: "); at != std::string::npos; at = log.find("Line: ", at + 1)) {
        ++entries;
    }
    EXPECT_EQ(entries, 2u);
}

TEST_F(SuperfileInformation, FileErrorWithADialogIsBoxed) {
    testsupport::RecordingView view;
    CFlashFileIO reader(&view, Path());
    reader.ReportFileException(13);
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"ERROR: The disk is full."});
}

}  // namespace
