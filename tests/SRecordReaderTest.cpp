// Decoding S-record lines: fields by type, the lenient rules, the decode
// messages, and lines that are longer or shorter than a record.
#include <gtest/gtest.h>

#include "ModuleFakes.h"
#include "ORX_FP_FlashFileIO.h"

namespace {

class SRecordReader : public testsupport::ModuleTest {
  protected:
    // A file whose body, after an empty header, holds the given text.
    void Body(const std::string& text) {
        std::string file(shx::kHeaderSize, '\0');
        file += text;
        testsupport::WriteText(scratch.File("s.shx"), file);
        reader = std::make_unique<CFlashFileIO>(nullptr, scratch.File("s.shx"));
        ASSERT_EQ(reader->OpenSuperfileStream(shx::kHeaderSize), 1);
    }
    int Next() {
        testing::internal::CaptureStdout();
        int result = reader->ReadSRecord();
        output += testing::internal::GetCapturedStdout();
        return result;
    }
    const SRecordFields& Fields() const { return reader->CurrentRecord(); }
    std::vector<uint8_t> Data() const {
        return {Fields().data.begin(), Fields().data.begin() + Fields().dataLength};
    }

    std::unique_ptr<CFlashFileIO> reader;
    std::string output;
};

TEST_F(SRecordReader, S3LineGivesTypeCountAddressAndDataWithoutItsChecksum) {
    Body("S30900001000112233443C\r\n");
    ASSERT_EQ(Next(), 1);
    EXPECT_EQ(Fields().type, 3);
    EXPECT_EQ(Fields().byteCount, 9);
    EXPECT_EQ(Fields().address, 0x1000u);
    EXPECT_EQ(Data(), (std::vector<uint8_t>{0x11, 0x22, 0x33, 0x44}));
    EXPECT_EQ(Next(), 0);
}

// The fast decoders work through blocks of digits; a character that is not
// a hex digit anywhere in a record must give what the field rule gives.
TEST_F(SRecordReader, StrayCharacterAnywhereInTheDataFollowsTheFieldRule) {
    std::string clean = "S345000010000";
    clean.pop_back();
    const std::string digits = "0123456789ABCDEFabcdef";
    for (int i = 0; i < 128; ++i) {
        clean += digits[static_cast<size_t>(i * 7 % 22)];
    }
    clean += "00";
    std::string text;
    std::vector<std::string> lines;
    for (size_t at = 12; at < 12 + 128; ++at) {
        for (char stray : {'G', ' ', '\0', ':'}) {
            std::string line = clean;
            line[at] = stray;
            lines.push_back(line);
            text += line + "\r\n";
        }
    }
    Body(text);
    for (const std::string& line : lines) {
        ASSERT_EQ(Next(), 1);
        std::vector<uint8_t> expected;
        for (size_t i = 0; i < 64; ++i) {
            expected.push_back(static_cast<uint8_t>(shx::ParseHexField(line, 12 + 2 * i, 2)));
        }
        ASSERT_EQ(Data(), expected) << line;
    }
}

TEST_F(SRecordReader, AddressWidthAndDataColumnFollowTheType) {
    Body("S1071234AABBCC00\nS208123456AABBCC00\nS50500FFAABB00\n");
    ASSERT_EQ(Next(), 1);
    EXPECT_EQ(Fields().address, 0x1234u);
    EXPECT_EQ(Data(), (std::vector<uint8_t>{0xAA, 0xBB, 0xCC, 0x00}));
    ASSERT_EQ(Next(), 1);
    EXPECT_EQ(Fields().address, 0x123456u);
    EXPECT_EQ(Data(), (std::vector<uint8_t>{0xAA, 0xBB, 0xCC, 0x00}));
    ASSERT_EQ(Next(), 1);
    EXPECT_EQ(Fields().type, 5);
    EXPECT_EQ(Fields().address, 0x00FFu);
    EXPECT_EQ(Fields().dataLength, 2);
}

TEST_F(SRecordReader, WrongRecordChecksumIsAccepted) {
    Body("S30900001000112233440000\n");
    ASSERT_EQ(Next(), 1);
    EXPECT_EQ(Data(), (std::vector<uint8_t>{0x11, 0x22, 0x33, 0x44}));
    EXPECT_EQ(output, "");
}

TEST_F(SRecordReader, TypesWithoutLayoutAreReportedAndStillReturned) {
    Body("S4070000100011\n");
    ASSERT_EQ(Next(), 1);
    EXPECT_EQ(Fields().type, 4);
    EXPECT_EQ(Fields().dataLength, 0);
    EXPECT_EQ(output, "Error getting address from S Record.\nError getting Data from S Record.\n");
    std::string log = Log1();
    EXPECT_NE(log.find("ERROR: Error getting address from S Record.\r\nFile: ORX_FP_FlashFileIO"),
              std::string::npos);
    EXPECT_NE(log.find("ERROR: Error getting Data from S Record."), std::string::npos);
}

TEST_F(SRecordReader, BlankLineDecodesAsTypeOne) {
    Body("\r\n");
    ASSERT_EQ(Next(), 1);
    EXPECT_EQ(Fields().type, 1);
}

TEST_F(SRecordReader, ByteCountTooSmallForTheAddressGivesNoData) {
    Body("S30300001000\n");
    ASSERT_EQ(Next(), 1);
    EXPECT_EQ(Fields().dataLength, 0);
}

TEST_F(SRecordReader, DataPastTheEndOfTheLineNeverComesFromAnEarlierLine) {
    Body("S3150000100011223344556677889900AABBCCDDEEFF00\nS31500002000AB\n");
    ASSERT_EQ(Next(), 1);
    ASSERT_EQ(Next(), 1);
    ASSERT_EQ(Fields().dataLength, 16);
    EXPECT_EQ(Fields().data[0], 0xAB);
    for (int i = 1; i < 16; ++i) {
        EXPECT_EQ(Fields().data[static_cast<size_t>(i)], 2)
            << i;  // an empty field reads as its width
    }
}

TEST_F(SRecordReader, LongestValidRecordIsReadWhole) {
    std::string line = "S3FF00001000";
    for (int i = 0; i < 250; ++i) {
        line += "5A";
    }
    line += "00\r\n";
    ASSERT_EQ(line.size(), 516u);
    Body(line + "S70500000000FA\r\n");
    ASSERT_EQ(Next(), 1);
    EXPECT_EQ(Fields().dataLength, 250);
    EXPECT_EQ(Fields().data[249], 0x5A);
    ASSERT_EQ(Next(), 1);
    EXPECT_EQ(Fields().type, 7);
    EXPECT_EQ(Next(), 0);
}

TEST_F(SRecordReader, OverlongLineIsSplitAndLastLineNeedsNoLineEnd) {
    Body(std::string(1500, '7') + "\nS30900001000112233443C");
    ASSERT_EQ(Next(), 1);
    ASSERT_EQ(Next(), 1);  // the rest of the long line
    ASSERT_EQ(Next(), 1);
    EXPECT_EQ(Fields().address, 0x1000u);
    EXPECT_EQ(Fields().dataLength, 4);
    EXPECT_EQ(Next(), 0);
}

}  // namespace
