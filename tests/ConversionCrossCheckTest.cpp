// The converter checked to the byte against an independent one. Seeded random
// superfiles (holes, records straddling or spanning a slot, records outside
// every slot, code groups 0 and 1 sharing a block or apart, barker carriers,
// record sizes from 1 to 247 bytes, images from a byte to megabytes) are
// converted by the module; every image file must equal what srec_cat makes of
// the same S-record block cut to the slot's range and filled with 0xFF, and
// what mkshx expects. The image index is checked field by field against its
// layout.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "ByteFields.h"
#include "ModuleFakes.h"
#include "ORX_FP_Flash.h"
#include "ORX_FP_FlashFileIO.h"
#include "ShxFiles.h"

namespace {

using nlohmann::json;
using testsupport::WriteShx;
using Bytes = std::vector<uint8_t>;

constexpr int kSeeds = 240;
constexpr size_t kHeaderSize = 8172;
constexpr size_t kBarkerTable = 816;
constexpr size_t kIndexSize = 78354;
constexpr size_t kEntrySize = 272;
constexpr size_t kEntryTable = 6 + kHeaderSize;
constexpr uint32_t kMaxRecord = 247;  // longest record whose line the module reads whole

// SplitMix64: the same sequence on every platform and library.
class Rng {
  public:
    explicit Rng(uint64_t seed) : state(seed * 0x9E3779B97F4A7C15ull + 0x1234567ull) {}
    uint64_t Next() {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform enough in [0, n); n > 0.
    uint64_t Below(uint64_t n) { return Next() % n; }
    uint32_t Between(uint32_t low, uint32_t high) {  // inclusive
        return low + static_cast<uint32_t>(Below(uint64_t{high} - low + 1));
    }
    bool Chance(int percent) { return Below(100) < static_cast<uint64_t>(percent); }

  private:
    uint64_t state;
};

std::string HexText(const Bytes& bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string text;
    for (uint8_t b : bytes) {
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

Bytes RandomBytes(Rng& rng, size_t n) {
    Bytes bytes(n);
    for (auto& b : bytes) {
        b = static_cast<uint8_t>(rng.Next());
    }
    return bytes;
}

struct Range {
    int slot;
    uint64_t first;
    uint64_t last;  // inclusive
};

// One generated superfile: the manifest, the file name to write it under, and
// the shapes it exercises (for the coverage check of the corpus).
struct Sample {
    json manifest;
    std::string fileName;
    std::set<std::string> shapes;
    uint64_t imageBytes = 0;
};

enum class Scale { Small, Medium, Large };

Sample Generate(int seed) {
    Rng rng(static_cast<uint64_t>(seed));
    Sample sample;
    json& m = sample.manifest;
    m["seed"] = seed;
    m["date"] = "Seed " + std::to_string(seed);

    // Most superfiles are small; every eighth is medium and every 40th carries
    // a sub-file of megabytes.
    const Scale scale = seed % 40 == 5  ? Scale::Large
                        : seed % 8 == 1 ? Scale::Medium
                                        : Scale::Small;
    int recordBytes = 32;
    switch (rng.Below(4)) {
        case 0:
            break;
        case 1:
            recordBytes = static_cast<int>(rng.Between(1, 16));
            break;
        case 2:
            recordBytes = static_cast<int>(rng.Between(200, kMaxRecord));
            break;
        default:
            recordBytes = static_cast<int>(rng.Between(1, kMaxRecord));
            break;
    }
    if (scale == Scale::Large && recordBytes < 16) {
        recordBytes += 16;
    } else if (scale == Scale::Medium && recordBytes < 4) {
        recordBytes += 4;
    }
    m["recordBytes"] = recordBytes;
    if (recordBytes <= 4) {
        sample.shapes.insert("tiny records");
    }
    if (recordBytes >= 240) {
        sample.shapes.insert("longest records");
    }

    // Slots: the RAM downloader always (the module takes slot 0 as the first
    // sub-file), code groups 0 and 1 both, either or neither, a few others.
    std::set<int> slots = {0};
    switch (seed % 4) {
        case 0:
            slots.insert({2, 3});
            break;
        case 1:
            slots.insert(2);
            break;
        case 2:
            slots.insert(3);
            break;
        default:
            break;
    }
    for (uint64_t n = rng.Below(5); n > 0; --n) {
        int group = rng.Chance(70)   ? static_cast<int>(rng.Between(2, 13))
                    : rng.Chance(80) ? static_cast<int>(rng.Between(14, 60))
                                     : static_cast<int>(rng.Between(250, 255));
        slots.insert(group + 2);
    }
    if (slots.count(2) && slots.count(3)) {
        sample.shapes.insert("code groups 0 and 1 together");
    } else if (slots.count(2) || slots.count(3)) {
        sample.shapes.insert("code group 0 or 1 alone");
    }
    if (*slots.rbegin() >= 16) {
        sample.shapes.insert("slot 16 or above");
    }

    // Sizes, and which sub-files carry a barker (type 2, at least 8 bytes).
    std::map<int, uint32_t> sizes;
    std::set<int> carriers;
    int large = scale == Scale::Large
                    ? *std::next(slots.begin(), static_cast<long>(rng.Below(slots.size())))
                    : -1;
    for (int slot : slots) {
        uint32_t size = rng.Chance(25) ? rng.Between(1, 16) : rng.Between(17, 4096);
        if (slot == large) {
            size = rng.Between(1u << 20, 4u << 20);
        } else if (scale == Scale::Medium && rng.Chance(60)) {
            size = rng.Between(4096, 256 * 1024);
        }
        if (slot < 16 && rng.Chance(40)) {
            carriers.insert(slot);
            size = std::max<uint32_t>(size, 8);
        }
        sizes[slot] = size;
    }

    // Addresses: the sub-files in a shuffled order, some back to back, some
    // with gaps that no slot covers; now and then the first one at address 0.
    std::vector<int> order(slots.begin(), slots.end());
    for (size_t i = order.size(); i > 1; --i) {
        std::swap(order[i - 1], order[rng.Below(i)]);
    }
    std::map<int, uint32_t> starts;
    uint64_t cursor =
        rng.Chance(15) ? 0 : rng.Between(1, 0x7FF) * uint64_t{0x100000} + rng.Below(4096);
    for (int slot : order) {
        if (cursor == 0 && sizes[slot] == 1) {
            sizes[slot] = 2;  // start and end both 0 would read as an empty slot
        }
        starts[slot] = static_cast<uint32_t>(cursor);
        cursor += sizes[slot] + (rng.Chance(30) ? 0 : rng.Between(1, 700));
    }
    if (slots.count(2) && slots.count(3) && rng.Chance(35)) {
        // Code group 1 inside or across code group 0's range: the shared
        // block's records land in both images.
        starts[3] = starts[2] + static_cast<uint32_t>(rng.Below(sizes[2]));
        sample.shapes.insert("code groups 0 and 1 overlap");
    }
    std::vector<Range> ranges;
    for (int slot : slots) {
        ranges.push_back({slot, starts[slot], uint64_t{starts[slot]} + sizes[slot] - 1});
        if (starts[slot] == 0) {
            sample.shapes.insert("slot at address 0");
        }
        sample.imageBytes += sizes[slot];
    }
    uint64_t highest = 0;
    for (const Range& r : ranges) {
        highest = std::max(highest, r.last);
    }

    json subfiles = json::array();
    for (int slot : slots) {
        const uint32_t start = starts[slot];
        const uint32_t size = sizes[slot];
        const uint64_t end = uint64_t{start} + size - 1;
        json sub;
        sub["slot"] = static_cast<unsigned>(slot);  // mkshx takes a slot number only unsigned
        sub["start"] = start;
        sub["size"] = size;
        sub["version"] = rng.Below(0x10000);
        const bool barkerCarrier = carriers.count(slot) > 0;
        if (barkerCarrier) {
            sub["type"] = 2;
            sample.shapes.insert("type 2");
            if (rng.Chance(50)) {
                sub["barker"] = HexText(RandomBytes(rng, 8));
            }
            if (rng.Chance(50)) {
                // A table entry unlike the image's first bytes, so the refresh
                // shows in the index's header copy.
                sub["tableEntry"] = HexText(RandomBytes(rng, 8));
                sample.shapes.insert("type 2 with a stale table entry");
            }
        } else {
            sub["type"] = rng.Chance(70) ? 0 : rng.Chance(50) ? 4 : 8;
            if (slot < 16 && rng.Chance(25)) {
                sub["tableEntry"] = HexText(RandomBytes(rng, 8));
                sample.shapes.insert("table entry kept");
            }
        }
        const uint32_t length = size;
        switch (rng.Below(10)) {
            case 0:
                sub["data"] = {{"generate", "counter"}};
                break;
            case 1:
                sub["data"] = {{"generate", "fill"}, {"byte", rng.Below(256)}};
                break;
            case 2:
                sub["data"] = {{"hex", HexText(RandomBytes(
                                           rng, rng.Below(std::min<uint32_t>(length, 64)) + 1))}};
                break;
            default:
                sub["data"] = {{"generate", "random"}, {"seed", rng.Below(1000)}};
                break;
        }

        json holes = json::array();
        if (rng.Chance(8)) {
            holes.push_back({0, length});
            sample.shapes.insert("slot without data records");
        } else if (rng.Chance(45)) {
            for (uint64_t n = rng.Between(1, 4); n > 0; --n) {
                uint32_t offset = static_cast<uint32_t>(rng.Below(length));
                uint32_t room = length - offset;
                uint32_t holeLength =
                    rng.Between(1, std::min<uint32_t>(room, rng.Chance(50) ? 40 : 5000));
                holes.push_back({offset, holeLength});
                if (barkerCarrier && offset < 8) {
                    sample.shapes.insert("barker bytes in a hole");
                }
            }
            sample.shapes.insert("holes");
        }
        if (!holes.empty()) {
            sub["holes"] = holes;
        }

        // Extra records after the data: across the slot's start or end,
        // around the whole slot, over its own data with other bytes, into the
        // other code group of a shared block, or where no slot lies.
        json extras = json::array();
        auto add = [&](uint64_t address, uint64_t count) {
            if (count == 0 || count > kMaxRecord || address + count - 1 > 0xFFFFFFFFull) {
                return;
            }
            extras.push_back({{"address", address}, {"hex", HexText(RandomBytes(rng, count))}});
        };
        for (uint64_t n = rng.Below(scale == Scale::Small ? 6 : 4); n > 0; --n) {
            switch (rng.Below(7)) {
                case 0:  // across the start
                    if (start > 0) {
                        uint64_t before = rng.Between(1, std::min<uint32_t>(start, 120));
                        add(start - before, before + rng.Between(1, 120));
                    }
                    break;
                case 1: {  // across the end
                    uint64_t inside = rng.Between(1, std::min<uint32_t>(length, 120));
                    add(end + 1 - inside, inside + rng.Between(1, 120));
                    break;
                }
                case 2:  // around the whole slot
                    if (start > 0 && length + 2 <= kMaxRecord) {
                        uint64_t before =
                            rng.Between(1, std::min<uint32_t>(start, kMaxRecord - length - 1));
                        uint64_t after =
                            rng.Between(1, static_cast<uint32_t>(kMaxRecord - length - before));
                        add(start - before, before + length + after);
                    }
                    break;
                case 3: {  // over its own data
                    uint64_t offset = rng.Below(length);
                    add(start + offset, rng.Between(1, static_cast<uint32_t>(std::min<uint64_t>(
                                                           length - offset, kMaxRecord))));
                    break;
                }
                case 4:  // above every slot, or at the very top of the address space
                    if (rng.Chance(50)) {
                        add(highest + 1 + rng.Below(5000), rng.Between(1, kMaxRecord));
                    } else {
                        uint64_t count = rng.Between(1, kMaxRecord);
                        add(0x100000000ull - count, count);
                    }
                    break;
                case 5: {  // into the other code group of the shared block
                    int other = slot == 2 ? 3 : slot == 3 ? 2 : -1;
                    if (other >= 0 && slots.count(other)) {
                        uint64_t at = starts[other] + rng.Below(sizes[other]);
                        add(at, rng.Between(1, kMaxRecord));
                    }
                    break;
                }
                default:  // low in the address space, in a slot or not
                    add(rng.Below(4) == 0 ? 0 : rng.Below(0x1000), rng.Between(1, kMaxRecord));
                    break;
            }
        }
        if (!extras.empty()) {
            sub["extraRecords"] = extras;
        }
        subfiles.push_back(sub);
    }
    m["subfiles"] = subfiles;

    // What the extra records do relative to every slot, from the final layout.
    for (const json& sub : subfiles) {
        if (!sub.contains("extraRecords")) {
            continue;
        }
        for (const json& extra : sub["extraRecords"]) {
            uint64_t first = extra["address"].get<uint64_t>();
            uint64_t last = first + extra["hex"].get<std::string>().size() / 2 - 1;
            bool anySlot = false;
            for (const Range& r : ranges) {
                if (last < r.first || first > r.last) {
                    continue;
                }
                anySlot = true;
                if (first < r.first && last > r.last) {
                    sample.shapes.insert("record around a whole slot");
                } else if (first < r.first) {
                    sample.shapes.insert("record across a slot's start");
                } else if (last > r.last) {
                    sample.shapes.insert("record across a slot's end");
                } else {
                    sample.shapes.insert("record over data");
                }
            }
            if (!anySlot) {
                sample.shapes.insert("record outside every slot");
            }
            if (last == 0xFFFFFFFFull) {
                sample.shapes.insert("record at the top of the address space");
            }
        }
    }
    if (scale == Scale::Large) {
        sample.shapes.insert("megabytes");
    }
    if (std::any_of(sizes.begin(), sizes.end(), [](const auto& s) { return s.second <= 4; })) {
        sample.shapes.insert("image of a few bytes");
    }

    // The base drops every ".shx", case-sensitively.
    static const char* names[] = {"fw.shx", "Release 7.shx", "a.shxb.shx", "UP.SHX", "x.shx.shx"};
    sample.fileName = names[seed % 5];
    return sample;
}

// The path with every ".shx" removed, left to right.
std::string Base(const std::string& path) {
    std::string base;
    for (size_t at = 0; at < path.size();) {
        if (path.compare(at, 4, ".shx") == 0) {
            at += 4;
        } else {
            base += path[at++];
        }
    }
    return base;
}

std::string ImageName(const std::string& path, int slot) {
    return Base(path) + (slot == 0 ? std::string("RAMDLD") : "CG" + std::to_string(slot - 2)) +
           ".smg";
}

using testsupport::Le16;
using testsupport::Le32;
using testsupport::Sum16;

// Empty when equal, else where and how the bytes first differ.
std::string Difference(const Bytes& actual, const Bytes& expected) {
    if (actual == expected) {
        return {};
    }
    std::ostringstream out;
    if (actual.size() != expected.size()) {
        out << "size " << actual.size() << ", expected " << expected.size() << "; ";
    }
    size_t n = std::min(actual.size(), expected.size());
    size_t at = 0;
    while (at < n && actual[at] == expected[at]) {
        ++at;
    }
    size_t differing = 0;
    for (size_t i = at; i < n; ++i) {
        differing += actual[i] != expected[i];
    }
    if (at < n) {
        out << "first difference at offset " << at << " (0x" << std::hex << int{actual[at]}
            << " instead of 0x" << int{expected[at]} << std::dec << "), " << differing
            << " bytes differ";
    }
    return out.str();
}

Bytes ReadBytes(const std::string& file) {
    return testsupport::ReadBytesOrFail(file);
}

bool OnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        if (!dir.empty() && access((dir + "/" + program).c_str(), X_OK) == 0) {
            return true;
        }
    }
    return false;
}

std::string Hex(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

// The body's S0..S7 blocks as S-record text, one string per block, each line
// cut to its own record (the final S7 carries the checksum marker after it).
std::vector<std::string> SplitBlocks(const Bytes& superfile, std::string& problem) {
    std::vector<std::string> blocks;
    std::string_view body(reinterpret_cast<const char*>(superfile.data()) + kHeaderSize,
                          superfile.size() - kHeaderSize);
    bool inBlock = false;
    while (!body.empty()) {
        size_t end = body.find('\n');
        std::string_view line = body.substr(0, end);
        body.remove_prefix(end == std::string_view::npos ? body.size() : end + 1);
        while (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.size() < 4 || line[0] != 'S') {
            problem = "unexpected body line \"" + std::string(line) + "\"";
            return {};
        }
        size_t length = 4 + 2 * std::stoul(std::string(line.substr(2, 2)), nullptr, 16);
        if (line.size() < length) {
            problem = "short record \"" + std::string(line) + "\"";
            return {};
        }
        line = line.substr(0, length);
        switch (line[1]) {
            case '0':
                if (inBlock) {
                    problem = "S0 inside a block";
                    return {};
                }
                blocks.emplace_back();
                inBlock = true;
                break;
            case '3':
            case '7':
                if (!inBlock) {
                    problem = "record outside a block";
                    return {};
                }
                inBlock = line[1] == '3';
                break;
            default:
                problem = "unexpected record type in \"" + std::string(line) + "\"";
                return {};
        }
        blocks.back().append(line).append("\n");
    }
    if (inBlock) {
        problem = "last block without S7";
    }
    return blocks;
}

class ConversionCrossCheck : public testsupport::ModuleTest,
                             public testing::WithParamInterface<int> {
  protected:
    // srec_cat's image of one slot: the block's records cut to [start, end],
    // moved to offset 0 and filled with 0xFF; later records win where they
    // overlap. srec_cat (1.64) cannot take a range ending at 2^32, so the
    // generated slots end below 0xFFFFFFFF.
    Bytes SrecCatImage(const std::string& blockFile, uint32_t start, uint32_t end,
                       const std::string& out) {
        uint64_t length = uint64_t{end} - start + 1;
        std::string errors = scratch.File("srec_cat.err");
        std::string command = "srec_cat -disable-sequence-warnings -multiple '" + blockFile +
                              "' -crop " + Hex(start) + " " + Hex(uint64_t{end} + 1) +
                              " -offset -" + Hex(start) + " -fill 0xFF 0 " + Hex(length) + " -o '" +
                              out + "' -binary 2> '" + errors + "'";
        int status = std::system(command.c_str());
        EXPECT_EQ(status, 0) << command << "\n" << testsupport::ReadText(errors);
        if (status != 0) {
            return {};
        }
        return ReadBytes(out);
    }

    // Runs the conversion by the object or by the export; true when it says
    // the images were up to date.
    bool Convert(const std::string& path, bool byExport, const std::vector<int>& presentSlots) {
        testing::internal::CaptureStdout();
        bool upToDate = false;
        if (byExport) {
            std::vector<std::vector<char>> buffers(presentSlots.size() + 2,
                                                   std::vector<char>(512, 'x'));
            std::vector<char*> entries;
            for (auto& buffer : buffers) {
                entries.push_back(buffer.data());
            }
            OrxTextArray images{entries.data(), static_cast<int>(entries.size()), 512};
            int flag = -1;
            int result = ConvertSuperfile(path.c_str(), &flag, &images);
            std::string output = testing::internal::GetCapturedStdout();
            EXPECT_EQ(result, ORX_RESULT_OK) << output;
            EXPECT_TRUE(flag == 0 || flag == 1) << flag;
            for (size_t i = 0; i < presentSlots.size(); ++i) {
                EXPECT_EQ(std::string(entries[i]), ImageName(path, presentSlots[i]))
                    << "entry " << i;
            }
            EXPECT_EQ(std::string(entries[presentSlots.size()]), "");
            EXPECT_EQ(std::string(entries[presentSlots.size() + 1]), "");
            upToDate = flag == 1;
        } else {
            CFlashFileIO reader(nullptr, path);
            int result = reader.PrepareImages();
            std::string output = testing::internal::GetCapturedStdout();
            EXPECT_EQ(result, 1) << output;
            upToDate = reader.ImagesUpToDate();
        }
        return upToDate;
    }

    // The index as its layout says it must be after converting this superfile.
    void CheckIndex(const std::string& path, const Bytes& superfile, const json& manifest,
                    const std::map<int, Bytes>& images, uint16_t storedChecksum) {
        Bytes index = ReadBytes(Base(path) + ".hmg");
        ASSERT_EQ(index.size(), kIndexSize);
        EXPECT_EQ(Le16(&index[0]), 1) << "index version";
        EXPECT_EQ(Le16(&index[4]), storedChecksum) << "superfile checksum";
        EXPECT_EQ(Le16(&index[2]),
                  static_cast<uint16_t>(Sum16(&index[6], kHeaderSize) +
                                        Sum16(&index[kEntryTable], kIndexSize - kEntryTable)))
            << "index checksum";

        // Header copy: the superfile's header, with the barker table entries
        // of present type-2 sub-files replaced by their images' first bytes.
        Bytes header(superfile.begin(), superfile.begin() + kHeaderSize);
        std::map<int, uint16_t> types;
        for (const json& sub : manifest["subfiles"]) {
            int slot = sub["slot"].get<int>();
            types[slot] = sub.value("type", 0);
            if (types[slot] == 2 && slot < 16) {
                std::copy_n(images.at(slot).begin(), 8, header.begin() + kBarkerTable + 8 * slot);
            }
        }
        Bytes headerCopy(index.begin() + 6, index.begin() + 6 + kHeaderSize);
        EXPECT_EQ(Difference(headerCopy, header), "") << "header copy";

        for (int slot = 0; slot < 258; ++slot) {
            SCOPED_TRACE("index entry " + std::to_string(slot));
            const uint8_t* entry = &index[kEntryTable + kEntrySize * static_cast<size_t>(slot)];
            auto image = images.find(slot);
            EXPECT_EQ(entry[266], 0);
            EXPECT_EQ(entry[267], 0);
            if (image == images.end()) {
                EXPECT_EQ(Le32(entry + 268), 0u) << "present";
                EXPECT_EQ(Le16(entry + 256), 0) << "sum";
                continue;
            }
            EXPECT_EQ(Le32(entry + 268), 1u) << "present";
            std::string name(reinterpret_cast<const char*>(entry), 256);
            EXPECT_EQ(name, ImageName(path, slot) +
                                std::string(256 - ImageName(path, slot).size(), '\0'));
            EXPECT_EQ(Le16(entry + 256), Sum16(image->second.data(), image->second.size()))
                << "sum";
            // The record's barker: the image's first bytes for a barker
            // carrier, else a code group's table entry; nothing is fixed for
            // other slots.
            Bytes barker(entry + 258, entry + 266);
            if (types[slot] == 2) {
                EXPECT_EQ(barker, Bytes(image->second.begin(), image->second.begin() + 8))
                    << "barker";
            } else if (slot >= 2 && slot < 16) {
                EXPECT_EQ(barker, Bytes(header.begin() + kBarkerTable + 8 * slot,
                                        header.begin() + kBarkerTable + 8 * slot + 8))
                    << "barker";
            }
        }
    }
};

TEST_P(ConversionCrossCheck, ImagesMatchSrecCatAndMkshxAndIndexMatchesLayout) {
    const int seed = GetParam();
    Sample sample = Generate(seed);
    SCOPED_TRACE("seed " + std::to_string(seed) + ": " + sample.manifest.dump());
    const std::string path = scratch.File(sample.fileName);
    mkshx::BuiltSuperfile built = WriteShx(sample.manifest, path);
    ASSERT_TRUE(built.hasChecksum);
    const Bytes superfile = ReadBytes(path);

    std::vector<int> slots;
    for (const json& sub : sample.manifest["subfiles"]) {
        slots.push_back(sub["slot"].get<int>());
    }
    std::sort(slots.begin(), slots.end());

    // Even seeds convert through the object, odd ones through the export.
    const bool byExport = seed % 2 == 1;
    EXPECT_FALSE(Convert(path, byExport, slots)) << "a new superfile counted as up to date";
    EXPECT_EQ(Log1(), "") << "a valid superfile converted with errors";

    std::map<int, Bytes> converted;
    for (int slot : slots) {
        SCOPED_TRACE("slot " + std::to_string(slot));
        ASSERT_TRUE(std::filesystem::is_regular_file(ImageName(path, slot)));
        converted[slot] = ReadBytes(ImageName(path, slot));
        ASSERT_TRUE(built.images.count(slot));
        EXPECT_EQ(Difference(converted[slot], built.images.at(slot)), "") << "against mkshx";
    }
    std::set<std::string> imageFiles;
    for (const auto& file : std::filesystem::directory_iterator(scratch.Path())) {
        if (file.path().extension() == ".smg") {
            imageFiles.insert(file.path().string());
        }
    }
    std::set<std::string> expectedFiles;
    for (int slot : slots) {
        expectedFiles.insert(ImageName(path, slot));
    }
    EXPECT_EQ(imageFiles, expectedFiles) << "image files beside the superfile";

    CheckIndex(path, superfile, sample.manifest, converted, built.storedChecksum);

    // The independent half: srec_cat on the very block of each slot.
    if (OnPath("srec_cat")) {
        std::string problem;
        std::vector<std::string> blocks = SplitBlocks(superfile, problem);
        ASSERT_EQ(problem, "");
        // One block per present slot in slot order, but code group 0's block
        // also carries code group 1.
        std::map<int, size_t> blockOf;
        size_t next = 0;
        for (int slot : slots) {
            blockOf[slot] = slot == 3 && blockOf.count(2) ? blockOf[2] : next++;
        }
        ASSERT_EQ(blocks.size(), next);
        for (size_t i = 0; i < blocks.size(); ++i) {
            testsupport::WriteText(scratch.File("block" + std::to_string(i) + ".srec"), blocks[i]);
        }
        for (const json& sub : sample.manifest["subfiles"]) {
            int slot = sub["slot"].get<int>();
            SCOPED_TRACE("slot " + std::to_string(slot) + " against srec_cat");
            uint32_t start = sub["start"].get<uint32_t>();
            uint32_t end = start + sub["size"].get<uint32_t>() - 1;
            Bytes reference =
                SrecCatImage(scratch.File("block" + std::to_string(blockOf[slot]) + ".srec"), start,
                             end, scratch.File("reference.bin"));
            EXPECT_EQ(Difference(converted[slot], reference), "");
        }
    }

    // Converting again finds everything up to date and leaves it as it was.
    const Bytes index = ReadBytes(Base(path) + ".hmg");
    EXPECT_TRUE(Convert(path, !byExport, slots)) << "an unchanged superfile converted again";
    EXPECT_EQ(ReadBytes(Base(path) + ".hmg"), index);
    for (int slot : slots) {
        EXPECT_EQ(ReadBytes(ImageName(path, slot)), converted[slot]) << "slot " << slot;
    }

    if (!OnPath("srec_cat")) {
        GTEST_SKIP() << "srec_cat (package srecord) is not installed: compared with mkshx only";
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, ConversionCrossCheck, testing::Range(0, kSeeds));

// The corpus is only as good as the shapes it holds: each must turn up in
// several manifests, and the sizes must reach from bytes to megabytes.
TEST(ConversionCrossCheckCorpus, HoldsEveryShapeSeveralTimes) {
    std::map<std::string, int> counts;
    uint64_t smallest = UINT64_MAX;
    uint64_t largest = 0;
    for (int seed = 0; seed < kSeeds; ++seed) {
        Sample sample = Generate(seed);
        for (const std::string& shape : sample.shapes) {
            ++counts[shape];
        }
        smallest = std::min(smallest, sample.imageBytes);
        largest = std::max(largest, sample.imageBytes);
        // Every manifest builds, and no slot ends at 0xFFFFFFFF (see SrecCatImage).
        mkshx::Manifest manifest;
        ASSERT_NO_THROW(manifest = mkshx::ParseManifest(sample.manifest)) << "seed " << seed;
        for (const auto& sub : manifest.subfiles) {
            EXPECT_LT(sub.end, 0xFFFFFFFFu) << "seed " << seed;
        }
    }
    for (const char* shape : {"tiny records",
                              "longest records",
                              "code groups 0 and 1 together",
                              "code group 0 or 1 alone",
                              "code groups 0 and 1 overlap",
                              "slot 16 or above",
                              "slot at address 0",
                              "type 2",
                              "type 2 with a stale table entry",
                              "table entry kept",
                              "barker bytes in a hole",
                              "holes",
                              "slot without data records",
                              "record around a whole slot",
                              "record across a slot's start",
                              "record across a slot's end",
                              "record over data",
                              "record outside every slot",
                              "record at the top of the address space",
                              "megabytes",
                              "image of a few bytes"}) {
        EXPECT_GE(counts[shape], 4) << shape;
    }
    EXPECT_LE(smallest, 64u);
    EXPECT_GE(largest, 1u << 20);
}

}  // namespace
