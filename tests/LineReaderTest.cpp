// The buffered line reader under the S-record walk: every line comes back
// whole and in order across its buffer refills, whatever the starting offset.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "ORX_FP_FlashFileIO_LineReader.h"
#include "TestSupport.h"

namespace {

using shx::LineReader;

// What the reader must return for text: each line with its line end, and a
// line longer than kMaxLine in pieces of kMaxLine.
std::vector<std::string> ExpectedLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < text.size()) {
        size_t newline = text.find('\n', at);
        size_t length = newline == std::string::npos ? text.size() - at : newline - at + 1;
        length = std::min(length, LineReader::kMaxLine);
        lines.push_back(text.substr(at, length));
        at += length;
    }
    return lines;
}

std::vector<std::string> ReadLines(const std::string& path, uint64_t offset,
                                   std::vector<uint64_t>* positions = nullptr) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    EXPECT_GE(fd, 0);
    LineReader reader;
    reader.Reset(fd, offset);
    std::vector<std::string> lines;
    std::string_view line;
    while (reader.Next(line)) {
        lines.emplace_back(line);
        if (positions != nullptr) {
            positions->push_back(reader.Position());
        }
    }
    EXPECT_FALSE(reader.Failed());
    close(fd);
    return lines;
}

// Lines of every length from empty to beyond kMaxLine, some with CR LF, in a
// file several buffers long; the last line has no line end.
std::string MixedText(unsigned seed, size_t size) {
    std::mt19937 random(seed);
    std::string text;
    while (text.size() < size) {
        size_t length = random() % 8 == 0 ? random() % 2600 : random() % 80;
        for (size_t i = 0; i < length; ++i) {
            text.push_back(static_cast<char>('0' + random() % 43));
        }
        text += random() % 2 == 0 ? "\r\n" : "\n";
    }
    text += "S70500000000FA";
    return text;
}

TEST(LineReader, ReturnsEveryLineAcrossRefillsFromAnyOffset) {
    testsupport::ScratchDir scratch;
    const std::string path = scratch.File("lines.txt");
    const std::string text = MixedText(7, 700 * 1024);
    testsupport::WriteText(path, text);
    for (uint64_t offset : {0ull, 1ull, 1023ull, 3071ull, 4096ull, 131071ull, 131073ull}) {
        SCOPED_TRACE("offset " + std::to_string(offset));
        std::vector<uint64_t> positions;
        std::vector<std::string> lines = ReadLines(path, offset, &positions);
        std::vector<std::string> expected = ExpectedLines(text.substr(offset));
        ASSERT_EQ(lines.size(), expected.size());
        uint64_t position = offset;
        for (size_t i = 0; i < lines.size(); ++i) {
            ASSERT_EQ(lines[i], expected[i]) << "line " << i;
            position += expected[i].size();
            ASSERT_EQ(positions[i], position) << "line " << i;
        }
    }
}

TEST(LineReader, EmptyFileAndOffsetPastTheEndGiveNoLine) {
    testsupport::ScratchDir scratch;
    const std::string path = scratch.File("empty.txt");
    testsupport::WriteText(path, "");
    EXPECT_TRUE(ReadLines(path, 0).empty());
    testsupport::WriteText(path, "S0\n");
    EXPECT_TRUE(ReadLines(path, 10).empty());
}

TEST(LineReader, UnresetReaderGivesNoLine) {
    LineReader reader;
    std::string_view line;
    EXPECT_FALSE(reader.Next(line));
}

}  // namespace
