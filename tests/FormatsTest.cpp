// The byte-level rules every superfile reader depends on: hex fields, platform
// names, derived file names, the trailer's checksum marker and the byte sums.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <numeric>
#include <vector>

#include "SuperfileFormat.h"
#include "SuperfileNames.h"
#include "platform/FileError.h"

namespace {

TEST(ParseHexField, DecodesTheFieldsOfAnS3Line) {
    const std::string line = "S30900001000112233443C\r\n";
    EXPECT_EQ(shx::ParseHexField(line, 1, 1), 3u);
    EXPECT_EQ(shx::ParseHexField(line, 2, 2), 9u);
    EXPECT_EQ(shx::ParseHexField(line, 4, 8), 0x1000u);
    EXPECT_EQ(shx::ParseHexField(line, 12, 2), 0x11u);
    EXPECT_EQ(shx::ParseHexField(line, 18, 2), 0x44u);
}

TEST(ParseHexField, FieldWithoutDigitsReadsAsItsWidth) {
    EXPECT_EQ(shx::ParseHexField("S\r\n", 1, 1), 1u);  // a blank line's type reads as 1
    EXPECT_EQ(shx::ParseHexField("SZ", 1, 1), 1u);
    EXPECT_EQ(shx::ParseHexField("S3", 2, 2), 2u);   // past the end of the line
    EXPECT_EQ(shx::ParseHexField("S3", 90, 8), 8u);  // far past the end
}

TEST(ParseHexField, SkipsBlanksAcceptsLowerCaseAndStopsAtNonHex) {
    EXPECT_EQ(shx::ParseHexField("  ab", 0, 4), 0xABu);
    EXPECT_EQ(shx::ParseHexField("1G23", 0, 4), 1u);
    EXPECT_EQ(shx::ParseHexField(std::string_view("12\0"
                                                  "34",
                                                  5),
                                 0, 5),
              0x12u);
}

TEST(ParseHexField, WidthIsCappedAtFifteenCharacters) {
    EXPECT_EQ(shx::ParseHexField("1234567890ABCDEF", 0, 40), 0x890ABCDEu);
}

TEST(PlatformText, NamesKnownPairsAndKeepsTextForUnnamedVariants) {
    bool known = false;
    EXPECT_STREQ(shx::PlatformText(2, 2, known), "GSM k.380");
    EXPECT_TRUE(known);
    EXPECT_STREQ(shx::PlatformText(1, 77, known), "CDMA Dorsk");
    EXPECT_STREQ(shx::PlatformText(4, 6, known), "UMTS Tavenor");
    EXPECT_STREQ(shx::PlatformText(5, 5, known), "CDMA HBX4200");
    EXPECT_EQ(shx::PlatformText(2, 3, known), nullptr);
    EXPECT_TRUE(known);
    EXPECT_STREQ(shx::PlatformText(0, 2, known), "Unknown Platform");
    EXPECT_FALSE(known);
    EXPECT_STREQ(shx::PlatformText(6, 1, known), "Unknown Platform");
    EXPECT_FALSE(known);
}

TEST(DerivedNames, EveryShxIsRemovedCaseSensitively) {
    EXPECT_EQ(shx::ImageBase("D:\\a.shx\\b.shx"), "D:\\a\\b");
    EXPECT_EQ(shx::ImageBase("/fw/REL7.SHX"), "/fw/REL7.SHX");
    EXPECT_EQ(shx::ImageFileName("/fw/rel7.shx", 0), "/fw/rel7RAMDLD.smg");
    EXPECT_EQ(shx::ImageFileName("/fw/rel7.shx", 1), "");
    EXPECT_EQ(shx::ImageFileName("/fw/rel7.shx", 2), "/fw/rel7CG0.smg");
    EXPECT_EQ(shx::ImageFileName("/fw/rel7.shx", 257), "/fw/rel7CG255.smg");
    EXPECT_EQ(shx::IndexFileName("/fw/rel7.shx"), "/fw/rel7.hmg");
}

shx::StoredChecksum Find(const std::string& tail) {
    return shx::FindStoredChecksum(reinterpret_cast<const uint8_t*>(tail.data()), tail.size());
}

TEST(StoredChecksum, MarkerAfterTheFirstS7CarriesTheValue) {
    shx::StoredChecksum stored = Find("S3050000000000\r\nS70500000000FA4353BEEF\r\n");
    ASSERT_TRUE(stored.found);
    EXPECT_EQ(stored.value, 0xBEEF);
    EXPECT_EQ(stored.excludedFrom, 16u);
    EXPECT_EQ(stored.excludedTo, 40u);
}

TEST(StoredChecksum, NoS7OrNoMarkerAfterItMeansNoChecksum) {
    EXPECT_FALSE(Find("S3050000000000\r\n4353BEEF").found);
    EXPECT_FALSE(Find("4353BEEF S70500000000FA\r\n").found);
}

TEST(StoredChecksum, MarkerInsideTheS7RecordCounts) {
    shx::StoredChecksum stored = Find("S7054353123411\r\n");
    ASSERT_TRUE(stored.found);
    EXPECT_EQ(stored.value, 0x1234);
}

TEST(StoredChecksum, TextEndsAtTheFirstNul) {
    std::string tail = std::string("S705000000004353") + '\0' + "ABCD";
    shx::StoredChecksum stored = Find(tail);
    ASSERT_TRUE(stored.found);
    EXPECT_EQ(stored.value, 4u);  // no digits before the NUL: the field reads as its width
    EXPECT_EQ(stored.excludedTo, 16u);
}

TEST(ByteSums, VectorSumAgreesWithPlainSumAtEveryLengthAndAlignment) {
    std::vector<uint8_t> bytes(300);
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<uint8_t>(i * 37 + 11);
    }
    for (size_t offset = 0; offset < 17; ++offset) {
        for (size_t length = 0; length + offset <= bytes.size(); length += 7) {
            uint64_t plain = std::accumulate(bytes.begin() + offset,
                                             bytes.begin() + offset + length, uint64_t{0});
            ASSERT_EQ(shx::ByteSum(bytes.data() + offset, length), plain)
                << offset << "+" << length;
        }
    }
    std::vector<uint8_t> ones(70000, 0xFF);
    EXPECT_EQ(shx::Sum16(ones.data(), ones.size()), static_cast<uint16_t>(70000u * 255u));
    EXPECT_EQ(shx::Sum8(ones.data(), 3), static_cast<uint8_t>(3 * 255));
}

TEST(DescriptorLayout, VersionIsBigEndianOtherNumbersLittleEndianAndEncodesBack) {
    shx::SuperfileHeader header{};
    uint8_t* d = header.data() + shx::kDescriptorTableOffset + shx::kDescriptorSize * 5;
    shx::WriteLe32(d, 0x10000000);
    shx::WriteLe32(d + 4, 0x1000FFFF);
    d[17] = 6;
    d[18] = 4;
    d[22] = 0x12;
    d[23] = 0x34;
    shx::WriteLe16(d + 24, 0xBEEF);
    shx::WriteLe16(d + 26, 2);
    shx::SubfileDescriptor descriptor = shx::DescriptorAt(header, 5);
    EXPECT_EQ(descriptor.start, 0x10000000u);
    EXPECT_EQ(descriptor.end, 0x1000FFFFu);
    EXPECT_EQ(descriptor.version, 0x1234);
    EXPECT_EQ(descriptor.declaredChecksum, 0xBEEF);
    EXPECT_EQ(descriptor.type, 2);
    EXPECT_EQ(descriptor.Family(), 4);
    EXPECT_EQ(descriptor.Variant(), 6);
    std::array<uint8_t, shx::kDescriptorSize> encoded{};
    shx::EncodeDescriptor(descriptor, encoded.data());
    EXPECT_TRUE(std::equal(encoded.begin(), encoded.end(), d));
}

// The in-memory header check the reader, the fuzz targets and tools share:
// each fault of a header, first fault first, and what a valid walk found.
TEST(ParseSuperfileHeader, NamesTheFirstFaultAndThePresentSlots) {
    auto put = [](std::vector<uint8_t>& bytes, int slot, uint32_t start, uint32_t end) {
        uint8_t* d = bytes.data() + shx::kDescriptorTableOffset + shx::kDescriptorSize * slot;
        shx::WriteLe32(d, start);
        shx::WriteLe32(d + 4, end);
    };
    auto make = [&](const char* kind, uint16_t count) {
        std::vector<uint8_t> bytes(shx::kHeaderSize + 10);
        std::copy_n(kind, std::strlen(kind), bytes.begin());
        shx::WriteLe16(bytes.data() + shx::kFileCountOffset, count);
        put(bytes, 0, 0x100, 0x1FF);
        put(bytes, 2, 0x1000, 0x1FFF);
        put(bytes, 9, 0x9000, 0x9FFF);
        return bytes;
    };
    using V = shx::HeaderVerdict;
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        V verdict;
    };
    std::vector<Case> cases{{"valid", make("K380 Superfile", 3), V::Valid},
                            {"short", make("K380 Superfile", 3), V::Invalid},
                            {"kind", make("K381 Superfile", 3), V::Invalid},
                            {"customer", make("R4X Superfile", 3), V::WrongCustomer},
                            {"count", make("K380 Superfile", 259), V::TooManyFiles},
                            {"fewer", make("K380 Superfile", 2), V::CountMismatch},
                            {"more", make("K380 Superfile", 4), V::CountMismatch},
                            {"boot", make("K380 Superfile", 3), V::BootSlotUsed},
                            {"inverted", make("K380 Superfile", 3), V::Invalid}};
    cases[1].bytes.resize(shx::kHeaderSize - 1);
    put(cases[7].bytes, 1, 0x10, 0x20);
    put(cases[8].bytes, 9, 0x9000, 0x8FFF);
    for (const Case& c : cases) {
        shx::SuperfileHeader header;
        shx::DescriptorWalk walk;
        EXPECT_EQ(shx::ParseSuperfileHeader(c.bytes.data(), c.bytes.size(), header, walk),
                  c.verdict)
            << c.name;
    }
    shx::SuperfileHeader header;
    shx::DescriptorWalk walk;
    shx::ParseSuperfileHeader(cases[0].bytes.data(), cases[0].bytes.size(), header, walk);
    EXPECT_EQ(walk.walked, 10);
    EXPECT_EQ(walk.present.count(), 3u);
    EXPECT_TRUE(walk.present[0] && walk.present[2] && walk.present[9]);
}

TEST(FileErrorCauses, OperatingSystemErrorsMapOntoTheMessageTable) {
    EXPECT_EQ(platform::FileErrorCauseFromErrno(0), platform::kFileErrorNone);
    EXPECT_EQ(platform::FileErrorCauseFromErrno(ENOENT), platform::kFileNotFound);
    EXPECT_EQ(platform::FileErrorCauseFromErrno(ENOTDIR), platform::kBadPath);
    EXPECT_EQ(platform::FileErrorCauseFromErrno(EMFILE), platform::kTooManyOpenFiles);
    EXPECT_EQ(platform::FileErrorCauseFromErrno(EACCES), platform::kAccessDenied);
    EXPECT_EQ(platform::FileErrorCauseFromErrno(EWOULDBLOCK), platform::kSharingViolation);
    EXPECT_EQ(platform::FileErrorCauseFromErrno(ENOSPC), platform::kDiskFull);
    EXPECT_EQ(platform::FileErrorCauseFromErrno(EIO), platform::kHardIO);
    EXPECT_EQ(platform::FileErrorCauseFromErrno(EPROTO), platform::kFileErrorGeneric);
}

}  // namespace
