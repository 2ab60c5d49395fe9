// Tests of the superfile builder: header layout, barker coherence, the
// trailer checksum (recomputed here independently), block structure, the
// expected images (also against srec_cat), variants and manifest errors.
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <numeric>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "Mkshx.h"
#include "TestSupport.h"

namespace {

using mkshx::BuiltSuperfile;
using nlohmann::json;
using Bytes = std::vector<uint8_t>;

BuiltSuperfile Build(const std::string& manifest, const std::vector<std::string>& variants = {}) {
    mkshx::Manifest parsed = mkshx::ParseManifest(json::parse(manifest));
    for (const auto& name : variants) {
        mkshx::ApplyVariant(parsed, name);
    }
    return mkshx::BuildSuperfile(parsed);
}

uint16_t LE16(const Bytes& b, size_t at) {
    return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}
uint32_t LE32(const Bytes& b, size_t at) {
    return LE16(b, at) | uint32_t{LE16(b, at + 2)} << 16;
}
size_t Desc(int slot) {
    return 948 + 28 * static_cast<size_t>(slot);
}
Bytes Slice(const Bytes& b, size_t at, size_t n) {
    return Bytes(b.begin() + at, b.begin() + at + n);
}
std::string Text(const Bytes& b, size_t at) {
    return reinterpret_cast<const char*>(&b[at]);
}

uint32_t Sum(const Bytes& b, size_t from = 0) {
    return std::accumulate(b.begin() + static_cast<long>(from), b.end(), 0u);
}

// The reader's whole-file checksum rule, written out again for the tests.
struct Rule {
    bool found = false;
    unsigned stored = 0, computed = 0;
    size_t s7 = 0;  // offset in the file
};

Rule ReadRule(const Bytes& file) {
    size_t from = file.size() > 64 ? file.size() - 64 : 0;
    std::string tail(reinterpret_cast<const char*>(&file[from]), file.size() - from);
    tail = tail.c_str();
    Rule rule;
    size_t s7 = tail.find("S7");
    size_t marker = s7 == std::string::npos ? s7 : tail.find("4353", s7);
    if (marker == std::string::npos) {
        return rule;
    }
    rule.found = true;
    rule.s7 = from + s7;
    rule.stored = std::stoul(tail.substr(marker + 4, 4), nullptr, 16);
    unsigned excluded = 0;
    for (size_t i = s7; i < tail.size(); ++i) {
        excluded += static_cast<uint8_t>(tail[i]);
    }
    rule.computed = (Sum(file) - excluded) & 0xFFFF;
    return rule;
}

std::vector<std::string> BodyLines(const Bytes& file) {
    std::string body(file.begin() + 8172, file.end());
    std::vector<std::string> lines;
    for (size_t at = 0, end; (end = body.find("\r\n", at)) != std::string::npos; at = end + 2) {
        lines.push_back(body.substr(at, end - at));
    }
    return lines;
}

// Lines grouped S0 .. S7.
std::vector<std::vector<std::string>> Blocks(const Bytes& file) {
    std::vector<std::vector<std::string>> blocks;
    for (const auto& line : BodyLines(file)) {
        if (line.rfind("S0", 0) == 0) {
            blocks.emplace_back();
        }
        blocks.back().push_back(line);
    }
    return blocks;
}

// Empty when the line is a well-formed S0, S3 or S7 record.
std::string RecordFault(std::string line) {
    if (line.rfind("S7", 0) == 0 && line.size() > 14) {
        line.resize(14);  // the trailer follows the final S7 on its line
    }
    if (line.size() < 10 || line[0] != 'S' ||
        std::string("037").find(line[1]) == std::string::npos) {
        return "not an S0/S3/S7 record";
    }
    if (line.find_first_not_of("0123456789ABCDEF", 2) != std::string::npos || line.size() % 2) {
        return "not upper-case hex pairs";
    }
    unsigned count = std::stoul(line.substr(2, 2), nullptr, 16);
    if (line.size() != 4 + 2 * count) {
        return "byte count disagrees with the length";
    }
    unsigned sum = 0;
    for (size_t at = 2; at + 2 < line.size(); at += 2) {
        sum += std::stoul(line.substr(at, 2), nullptr, 16);
    }
    if (std::stoul(line.substr(line.size() - 2), nullptr, 16) != (~sum & 0xFF)) {
        return "wrong checksum byte";
    }
    return "";
}

// The mkshx binary sits beside the test binary; the sources hold the sample.
std::filesystem::path BinDir() {
    const char* bin = std::getenv("ORX_TEST_BIN");
    return bin != nullptr ? std::filesystem::path(bin)
                          : std::filesystem::read_symlink("/proc/self/exe").parent_path();
}

std::filesystem::path SourceDir() {
    const char* source = std::getenv("ORX_SOURCE_DIR");
    return source != nullptr ? std::filesystem::path(source)
                             : std::filesystem::path(__FILE__).parent_path().parent_path();
}

const char* kThreeSlots = R"({"date": "Dec 07 2026", "subfiles": [
    {"slot": 0, "start": "0x03FC0000", "size": 600, "version": "0x0101"},
    {"slot": "cg0", "start": "0x10000000", "size": 300, "type": 2, "barker": "0102030405060708"},
    {"slot": "cg1", "start": "0x10010000", "size": 500, "type": 2},
    {"slot": "cg2", "start": "0x10200000", "size": 200, "version": "0x1234", "type": 8,
     "flag": 7, "family": 4, "variant": 6, "carried": "AABBCC"}]})";

TEST(MkshxHeader, FieldsSitAtTheirOffsets) {
    BuiltSuperfile built = Build(kThreeSlots);
    const Bytes& f = built.bytes;
    EXPECT_EQ(Text(f, 0), "K380 Superfile");
    EXPECT_EQ(Text(f, 320), "Dec 07 2026");
    EXPECT_EQ(LE16(f, 944), 4);  // slots 0, 2, 3, 4
    EXPECT_EQ(LE16(f, 946), 0);
    const size_t d = Desc(4);
    EXPECT_EQ(LE32(f, d), 0x10200000u);
    EXPECT_EQ(LE32(f, d + 4), 0x102000C7u);
    EXPECT_EQ(Slice(f, d + 8, 8), Bytes(8, 0));
    EXPECT_EQ(Slice(f, d + 16, 6), (Bytes{7, 6, 4, 0xAA, 0xBB, 0xCC}));
    EXPECT_EQ(f[d + 22], 0x12);  // version big-endian
    EXPECT_EQ(f[d + 23], 0x34);
    EXPECT_EQ(LE16(f, d + 24), Sum(built.images.at(4)) & 0xFFFF);
    EXPECT_EQ(LE16(f, d + 26), 8);
    EXPECT_EQ(f[Desc(0) + 16], 0xFF);  // default flag and GSM k.380 platform
    EXPECT_EQ(f[Desc(0) + 17], 2);
    EXPECT_EQ(f[Desc(0) + 18], 2);
    EXPECT_EQ(Slice(f, Desc(1), 28), Bytes(28, 0));
    EXPECT_EQ(Slice(f, Desc(5), 28 * 253), Bytes(28 * 253, 0));
}

TEST(MkshxBarker, Type2CodeMatchesImageExtraBytesAndTable) {
    BuiltSuperfile built = Build(R"({"subfiles": [
        {"slot": 0, "start": "0x1000", "size": 64, "barker": "1111111111111111"},
        {"slot": "cg0", "start": "0x2000", "size": 64, "type": 2, "barker": "0102030405060708"},
        {"slot": "cg5", "start": "0x3000", "size": 64, "type": 2},
        {"slot": "cg14", "start": "0x4000", "size": 64, "type": 2},
        {"slot": "cg6", "start": "0x5000", "size": 64, "type": 2, "tableEntry": "EEEEEEEEEEEEEEEE",
         "extra": "DDDDDDDDDDDDDDDD", "declaredChecksum": 4660}]})");
    const Bytes& f = built.bytes;
    EXPECT_EQ(Slice(built.images.at(2), 0, 8), (Bytes{1, 2, 3, 4, 5, 6, 7, 8}));
    for (int slot : {2, 7, 16}) {
        SCOPED_TRACE(slot);
        Bytes code = Slice(built.images.at(slot), 0, 8);
        EXPECT_EQ(Slice(f, Desc(slot) + 8, 8), code);
        if (slot < 16) {
            EXPECT_EQ(Slice(f, 816 + 8 * slot, 8), code);
        }
        EXPECT_EQ(LE16(f, Desc(slot) + 24), (Sum(built.images.at(slot), 8) + 8 * 0xFF) & 0xFFFF);
    }
    // Another type keeps its barker in the table only; explicit overrides win.
    EXPECT_EQ(Slice(f, 816, 8), Bytes(8, 0x11));
    EXPECT_NE(Slice(built.images.at(0), 0, 8), Bytes(8, 0x11));
    EXPECT_EQ(Slice(f, Desc(0) + 8, 8), Bytes(8, 0));
    EXPECT_EQ(Slice(f, 816 + 8 * 8, 8), Bytes(8, 0xEE));
    EXPECT_EQ(Slice(f, Desc(8) + 8, 8), Bytes(8, 0xDD));
    EXPECT_EQ(LE16(f, Desc(8) + 24), 4660);
}

TEST(MkshxChecksum, StoredValueFollowsTheReaderRule) {
    testsupport::ScratchDir dir;
    BuiltSuperfile built = Build(kThreeSlots);
    mkshx::WriteSuperfile(built, dir.File("a.shx"), false);
    Bytes file = testsupport::ReadBytes(dir.File("a.shx"));
    Rule rule = ReadRule(file);
    ASSERT_TRUE(rule.found);
    EXPECT_EQ(rule.stored, rule.computed);
    EXPECT_EQ(rule.stored, built.storedChecksum);
    EXPECT_TRUE(built.hasChecksum);
    std::string last = BodyLines(file).back();
    EXPECT_EQ(last.substr(14, 4), "4353");
    EXPECT_EQ(last.size(), 22u);
}

TEST(MkshxChecksum, TinyLastBlockLetsAnEarlierS7Count) {
    // The last sub-file is all hole: its block is S0 + S7 only, so the last
    // 64 bytes start inside the previous block's S7 line.
    BuiltSuperfile built = Build(R"({"subfiles": [
        {"slot": 0, "start": "0x1000", "size": 100},
        {"slot": "cg3", "start": "0x2000", "size": 16, "holes": [[0, 16]]}]})");
    Rule rule = ReadRule(built.bytes);
    ASSERT_TRUE(rule.found);
    size_t finalS7 = std::string(built.bytes.begin(), built.bytes.end()).rfind("S7");
    EXPECT_LT(rule.s7, finalS7);
    EXPECT_EQ(rule.stored, rule.computed);
    EXPECT_EQ(Blocks(built.bytes).back().size(), 2u);
}

TEST(MkshxChecksum, BadAndNoneVariants) {
    BuiltSuperfile bad = Build(kThreeSlots, {"bad-checksum"});
    Rule rule = ReadRule(bad.bytes);
    ASSERT_TRUE(rule.found);
    EXPECT_EQ(rule.stored, (rule.computed + 1) & 0xFFFF);

    BuiltSuperfile none = Build(kThreeSlots, {"no-checksum"});
    EXPECT_FALSE(ReadRule(none.bytes).found);
    EXPECT_FALSE(none.hasChecksum);
    EXPECT_EQ(BodyLines(none.bytes).back(), "S70500000000FA");
    EXPECT_EQ(Slice(bad.bytes, 0, 8172), Slice(none.bytes, 0, 8172));
}

TEST(MkshxBody, EveryLineIsAValidRecordWithinRecordBytes) {
    BuiltSuperfile built = Build(R"({"recordBytes": 7, "subfiles": [
        {"slot": 0, "start": "0x1000", "size": 100, "holes": [[10, 5]]},
        {"slot": "cg0", "start": "0x2000", "size": 30,
         "extraRecords": [{"address": "0x1FFE", "hex": "AABBCC"}]}]})");
    std::vector<std::string> lines = BodyLines(built.bytes);
    size_t dataBytes = 0;
    for (const auto& line : lines) {
        SCOPED_TRACE(line);
        EXPECT_EQ(RecordFault(line), "");
        if (line[1] == '3') {
            size_t n = std::stoul(line.substr(2, 2), nullptr, 16) - 5;
            EXPECT_LE(n, 7u);
            dataBytes += n;
        }
    }
    EXPECT_EQ(dataBytes, 95u + 30 + 3);
    EXPECT_EQ(std::string(built.bytes.begin() + 8172, built.bytes.begin() + 8174), "S0");
}

TEST(MkshxBody, CodeGroupsZeroAndOneShareOneBlock) {
    auto blocks = Blocks(Build(kThreeSlots).bytes);
    ASSERT_EQ(blocks.size(), 3u);  // RAMDLD, CG0 + CG1, CG2
    size_t inCg1 = 0;
    for (const auto& line : blocks[1]) {
        inCg1 += line.rfind("S3", 0) == 0 && line.substr(4, 8).rfind("1001", 0) == 0;
    }
    EXPECT_EQ(inCg1, (500u + 31) / 32);

    // Without code group 0, code group 1 has a block of its own.
    auto alone = Blocks(Build(R"({"subfiles": [{"slot": 0, "start": 16, "size": 8},
        {"slot": "cg1", "start": 64, "size": 8}, {"slot": "cg2", "start": 128, "size": 8}]})")
                            .bytes);
    ASSERT_EQ(alone.size(), 3u);
    EXPECT_EQ(alone[1][0].substr(8, 6), "434731");  // S0 name "CG1"
}

TEST(MkshxImage, HolesAndShortHexStayErased) {
    BuiltSuperfile built = Build(R"({"subfiles": [
        {"slot": 0, "start": "0x1000", "size": 64, "holes": [[4, 8], [40, 24]],
         "data": {"generate": "fill", "byte": 90}},
        {"slot": "cg0", "start": "0x2000", "size": 6, "data": {"hex": "01 02 03"}}]})");
    Bytes expected(64, 90);
    std::fill(expected.begin() + 4, expected.begin() + 12, 0xFF);
    std::fill(expected.begin() + 40, expected.end(), 0xFF);
    EXPECT_EQ(built.images.at(0), expected);
    EXPECT_EQ(built.images.at(2), (Bytes{1, 2, 3, 0xFF, 0xFF, 0xFF}));
    // The hex padding is data, covered by a record; the holes are not.
    EXPECT_NE(std::string(built.bytes.begin(), built.bytes.end()).find("S30B00002000010203FFFFFF"),
              std::string::npos);
    std::vector<bool> covered(64);
    const auto blocks = Blocks(built.bytes);
    for (const auto& line : blocks[0]) {
        if (line[1] == '3') {
            size_t at = std::stoul(line.substr(4, 8), nullptr, 16) - 0x1000;
            size_t n = std::stoul(line.substr(2, 2), nullptr, 16) - 5;
            std::fill(covered.begin() + at, covered.begin() + at + n, true);
        }
    }
    for (size_t i = 0; i < 64; ++i) {
        EXPECT_EQ(covered[i], i < 4 || (i >= 12 && i < 40)) << i;
    }
}

TEST(MkshxImage, ExtraRecordsAreCutLikeTheConverter) {
    BuiltSuperfile built = Build(R"({"subfiles": [
        {"slot": 0, "start": 4096, "size": 16, "data": {"generate": "fill", "byte": 0},
         "extraRecords": [
           {"address": 4092, "hex": "A1A2A3A4A5A6"},
           {"address": 4110, "hex": "B1B2B3B4"},
           {"address": 8192, "hex": "C1"},
           {"address": 4088, "hex": "D1D2D3D4D5D6D7D8D9DADBDCDDDEDFE0E1E2E3E4E5E6E7E8E9EA"},
           {"address": 4100, "hex": "E1"}]},
        {"slot": "cg0", "start": 8192, "size": 8, "data": {"generate": "fill", "byte": 0},
         "extraRecords": [{"address": 12288, "hex": "F1F2"}]},
        {"slot": "cg1", "start": 12288, "size": 4, "data": {"generate": "fill", "byte": 0}}]})");
    // Straddling start keeps its tail, straddling end its head, one spanning
    // the whole slot gives the slot's part; outside records write nothing;
    // later records overwrite.
    EXPECT_EQ(built.images.at(0), (Bytes{0xD9, 0xDA, 0xDB, 0xDC, 0xE1, 0xDE, 0xDF, 0xE0, 0xE1, 0xE2,
                                         0xE3, 0xE4, 0xE5, 0xE6, 0xE7, 0xE8}));
    // Code group 0's block carries code group 1, so its record lands there too,
    // before code group 1's own data overwrites it.
    EXPECT_EQ(built.images.at(3), Bytes(4, 0));
    EXPECT_EQ(built.images.at(2), Bytes(8, 0));
}

TEST(MkshxImage, SharedBlockRecordFillsCodeGroupOneHole) {
    BuiltSuperfile built = Build(R"({"subfiles": [
        {"slot": "cg0", "start": 8192, "size": 8,
         "extraRecords": [{"address": 12288, "hex": "F1F2"}]},
        {"slot": "cg1", "start": 12288, "size": 4, "holes": [[0, 2]],
         "data": {"generate": "fill", "byte": 0}}]})");
    EXPECT_EQ(built.images.at(3), (Bytes{0xF1, 0xF2, 0, 0}));
}

// Expected images against srec_cat run on each block's text.
TEST(MkshxImage, ImagesMatchSrecCat) {
    if (std::system("srec_cat --version > /dev/null 2>&1") != 0) {
        GTEST_SKIP() << "srec_cat not installed";
    }
    testsupport::ScratchDir dir;
    BuiltSuperfile built = Build(R"({"recordBytes": 19, "seed": 9, "subfiles": [
        {"slot": 0, "start": "0x03FC0000", "size": 1000, "holes": [[100, 50]]},
        {"slot": "cg0", "start": "0x10000000", "size": 300, "type": 2, "holes": [[0, 16], [280, 20]],
         "extraRecords": [{"address": "0x0FFFFFF8", "hex": "00112233445566778899AABBCCDDEEFF"},
                          {"address": "0x10000125", "hex": "0102030405060708090A0B0C0D0E0F10"}]},
        {"slot": "cg1", "start": "0x10010000", "size": 777},
        {"slot": "cg4", "start": "0x10300000", "size": 4096, "data": {"generate": "counter"}}]})");
    auto blocks = Blocks(built.bytes);
    std::map<int, size_t> blockOf = {{0, 0}, {2, 1}, {3, 1}, {6, 2}};
    for (const auto& [slot, image] : built.images) {
        SCOPED_TRACE(slot);
        std::string text;
        for (const auto& line : blocks[blockOf.at(slot)]) {
            text += (line[1] == '7' ? line.substr(0, 14) : line) + "\r\n";
        }
        testsupport::WriteText("block.srec", text);
        uint32_t start = LE32(built.bytes, Desc(slot));
        std::string command = "srec_cat -contradictory-bytes=warning block.srec -crop " +
                              std::to_string(start) + " " + std::to_string(start + image.size()) +
                              " -offset -" + std::to_string(start) + " -fill 0xFF 0 " +
                              std::to_string(image.size()) + " -o out.bin -binary 2>/dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        EXPECT_EQ(testsupport::ReadBytes("out.bin"), image);
    }
}

TEST(MkshxVariants, EachChangesWhatItShould) {
    BuiltSuperfile plain = Build(kThreeSlots);
    EXPECT_EQ(Text(Build(kThreeSlots, {"wrong-kind"}).bytes, 0), "Some Superfile");
    EXPECT_EQ(Text(Build(kThreeSlots, {"r4x-kind"}).bytes, 0), "R4X Superfile");
    EXPECT_EQ(LE16(Build(kThreeSlots, {"count-259"}).bytes, 944), 259);

    BuiltSuperfile boot = Build(kThreeSlots, {"boot-slot"});
    EXPECT_EQ(LE32(boot.bytes, Desc(1)), 0x1000u);
    EXPECT_EQ(LE32(boot.bytes, Desc(1) + 4), 0x1FFFu);
    EXPECT_EQ(LE16(boot.bytes, 944), 4);
    EXPECT_EQ(Blocks(boot.bytes).size(), Blocks(plain.bytes).size());

    BuiltSuperfile missing = Build(kThreeSlots, {"missing-block"});
    EXPECT_EQ(Blocks(missing.bytes).size(), Blocks(plain.bytes).size() - 1);
    EXPECT_EQ(Slice(missing.bytes, 0, 8172), Slice(plain.bytes, 0, 8172));
    EXPECT_EQ(missing.images.count(4), 0u);
    EXPECT_EQ(ReadRule(missing.bytes).stored, ReadRule(missing.bytes).computed);

    EXPECT_THROW(Build(kThreeSlots, {"no-such"}), mkshx::ManifestError);
}

TEST(MkshxVariants, PlatformFallbackKeepsSlotOneEmpty) {
    BuiltSuperfile built = Build(R"({"subfiles": [
        {"slot": 0, "start": 16, "size": 8, "family": 0, "variant": 0},
        {"slot": "boot", "family": 4, "variant": 6}]})");
    EXPECT_EQ(LE32(built.bytes, Desc(1)), 0u);
    EXPECT_EQ(LE32(built.bytes, Desc(1) + 4), 0u);
    EXPECT_EQ(built.bytes[Desc(1) + 18], 4);
    EXPECT_EQ(LE16(built.bytes, 944), 1);
    EXPECT_EQ(built.images.count(1), 0u);
}

TEST(MkshxData, GeneratedContentIsDeterministic) {
    const char* manifest = R"({"seed": 5, "subfiles": [
        {"slot": 0, "start": 16, "size": 1000}, {"slot": "cg0", "start": 4096, "size": 1000},
        {"slot": "cg2", "start": 8192, "size": 300, "data": {"generate": "counter"}}]})";
    BuiltSuperfile a = Build(manifest);
    EXPECT_EQ(a.bytes, Build(manifest).bytes);
    EXPECT_NE(a.images.at(0), a.images.at(2));
    mkshx::Manifest reseeded = mkshx::ParseManifest(json::parse(manifest));
    reseeded.seed = 6;
    EXPECT_NE(mkshx::BuildSuperfile(reseeded).images.at(0), a.images.at(0));
    EXPECT_EQ(a.images.at(4)[255], 255);
    EXPECT_EQ(a.images.at(4)[256], 0);
}

TEST(MkshxManifest, NumbersSlotsAndRanges) {
    mkshx::Manifest m = mkshx::ParseManifest(json::parse(R"({"fileCount": "0x10", "subfiles": [
        {"slot": "cg255", "start": "0x100", "end": "4351", "version": "0x0102"},
        {"slot": "ramdld", "start": 16, "data": {"hex": "0A0B"}}]})"));
    ASSERT_EQ(m.subfiles.size(), 2u);
    EXPECT_EQ(m.fileCount.value_or(0), 16);
    EXPECT_EQ(m.subfiles[0].slot, 0);
    EXPECT_EQ(m.subfiles[0].Size(), 2u);
    EXPECT_EQ(m.subfiles[1].slot, 257);
    EXPECT_EQ(m.subfiles[1].Size(), 0x1000u);
    EXPECT_EQ(m.subfiles[1].version, 0x0102);
}

TEST(MkshxManifest, ErrorsNameTheProblem) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {R"({"subfile": []})", "unknown key \"subfile\""},
        {R"({"subfiles": [{"slot": 0, "start": 16, "size": 8, "sise": 2}]})",
         "unknown key \"sise\""},
        {R"({"subfiles": [{"slot": 0, "start": 16, "size": 8}, {"slot": "ramdld", "start": 64, "size": 8}]})",
         "already given"},
        {R"({"subfiles": [{"slot": 2, "start": 64, "end": 16}]})", "allowInverted"},
        {R"({"subfiles": [{"slot": "cg256", "start": 16, "size": 8}]})", "not a slot"},
        {R"({"subfiles": [{"slot": 258, "start": 16, "size": 8}]})", "out of range"},
        {R"({"subfiles": [{"slot": 0, "start": 16, "size": 2, "data": {"hex": "010203"}}]})",
         "hex data has 3 bytes"},
        {R"({"subfiles": [{"slot": 0, "start": 16, "size": 2, "end": 20}]})", "disagree"},
        {R"({"subfiles": [{"slot": 0, "start": -1, "size": 2}]})", "negative"},
        {R"({"subfiles": [{"slot": 0, "start": "0x1G", "size": 2}]})", "expected a number"},
        {R"({"subfiles": [{"slot": 0, "start": 16, "size": 2, "extra": "0102"}]})",
         "16 hex digits"},
        {R"({"subfiles": [{"slot": 2, "start": 16, "size": 4, "type": 2}]})", "at least 8 bytes"},
        {R"({"subfiles": [{"slot": 16, "start": 16, "size": 8, "tableEntry": "0000000000000000"}]})",
         "slots 0 to 15"},
        {R"({"recordBytes": 251})", "1 to 250"},
        {R"({"subfiles": [{"slot": 1, "start": 16, "size": 8, "data": {"generate": "counter"}}]})",
         "never has a block"},
        {R"({"subfiles": [{"slot": 0, "size": 8}]})", "needs \"start\""},
        {R"({"subfiles": [{"slot": 0, "start": 0, "size": 1}]})", "empty slot"},
        {R"({"subfiles": [{"slot": 0, "start": 16, "size": 8, "holes": [[4, 5]]}]})", "hole"},
        {R"({"subfiles": [{"slot": 0, "start": "0xFFFFFFF0", "size": 17}]})", "0xFFFFFFFF"},
        {R"({"checksum": "maybe"})", "auto, none, bad"},
        {R"({"subfiles": [{"slot": 0, "start": 16, "size": 8, "data": {"generate": "noise"}}]})",
         "random, counter, fill"},
    };
    for (const auto& [manifest, message] : cases) {
        SCOPED_TRACE(manifest);
        try {
            mkshx::ParseManifest(json::parse(manifest));
            ADD_FAILURE() << "accepted";
        } catch (const mkshx::ManifestError& error) {
            EXPECT_NE(std::string(error.what()).find(message), std::string::npos) << error.what();
        }
    }
}

TEST(MkshxManifest, LoadReportsPathAndBadJson) {
    testsupport::ScratchDir dir;
    testsupport::WriteText("m.json", "{\"kind\": \"K380 Superfile\", }");
    try {
        mkshx::LoadManifest("m.json");
        ADD_FAILURE() << "accepted";
    } catch (const mkshx::ManifestError& error) {
        EXPECT_NE(std::string(error.what()).find("m.json: not valid JSON"), std::string::npos);
    }
    EXPECT_THROW(mkshx::LoadManifest("absent.json"), mkshx::ManifestError);
}

TEST(MkshxFiles, ImageNamesDropEveryShx) {
    EXPECT_EQ(mkshx::ImageFileName("D:/a.shx/b.shx", 0), "D:/a/bRAMDLD.smg");
    EXPECT_EQ(mkshx::ImageFileName("D:/a.shx/b.shx", 2), "D:/a/bCG0.smg");
    EXPECT_EQ(mkshx::ImageFileName("rel7.shx", 257), "rel7CG255.smg");
    EXPECT_EQ(mkshx::ImageFileName("REL.SHX", 3), "REL.SHXCG1.smg");
    EXPECT_THROW(mkshx::ImageFileName("a.shx", 1), std::runtime_error);
}

TEST(MkshxFiles, WritesImagesBesideTheSuperfile) {
    testsupport::ScratchDir dir;
    BuiltSuperfile built = Build(kThreeSlots);
    mkshx::WriteSuperfile(built, "fw.shx", true);
    EXPECT_EQ(testsupport::ReadBytes("fw.shx"), built.bytes);
    for (const auto& [slot, image] : built.images) {
        EXPECT_EQ(testsupport::ReadBytes(mkshx::ImageFileName("fw.shx", slot)), image);
    }
    EXPECT_THROW(mkshx::WriteSuperfile(built, "no/such/dir/fw.shx", false), std::runtime_error);
}

TEST(MkshxCli, JsonSummaryAndOneLineErrors) {
    const std::filesystem::path mkshx = BinDir() / "mkshx";
    if (!std::filesystem::exists(mkshx)) {
        GTEST_SKIP() << mkshx << " not built";
    }
    testsupport::ScratchDir dir;
    testsupport::WriteText("m.json", kThreeSlots);
    auto run = [&](const std::string& args) {
        int status = std::system((mkshx.string() + " " + args + " > out.txt 2> err.txt").c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    ASSERT_EQ(run("m.json -o fw.shx --images --json --variant bad-checksum --seed 3"), 0);
    json summary = json::parse(testsupport::ReadText("out.txt"));
    EXPECT_EQ(summary["size"], std::filesystem::file_size("fw.shx"));
    EXPECT_EQ(summary["images"].size(), 4u);
    Rule rule = ReadRule(testsupport::ReadBytes("fw.shx"));
    EXPECT_EQ(summary["storedChecksum"], rule.stored);
    EXPECT_NE(rule.stored, rule.computed);

    testsupport::WriteText("bad.json", R"({"subfiles": [{"slot": 0, "start": 1, "sise": 2}]})");
    EXPECT_EQ(run("bad.json -o x.shx"), 1);
    std::string err = testsupport::ReadText("err.txt");
    EXPECT_NE(err.find("sise"), std::string::npos);
    EXPECT_EQ(err.find('\n'), err.size() - 1);
    EXPECT_FALSE(std::filesystem::exists("x.shx"));
}

TEST(MkshxSample, SampleManifestDescribesAGsmRelease) {
    BuiltSuperfile built =
        mkshx::BuildSuperfile(mkshx::LoadManifest((SourceDir() / "examples/sample.json").string()));
    EXPECT_EQ(LE16(built.bytes, 944), 5);
    for (int slot : {0, 2, 3, 4, 6}) {
        EXPECT_EQ(built.bytes[Desc(slot) + 18], 2);
        EXPECT_EQ(built.bytes[Desc(slot) + 17], 2);
    }
    EXPECT_EQ(Blocks(built.bytes).size(), 4u);
    EXPECT_EQ(ReadRule(built.bytes).stored, ReadRule(built.bytes).computed);
}

}  // namespace
