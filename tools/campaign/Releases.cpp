#include "Releases.h"

#include <algorithm>
#include <cstdio>

#include "SeededRandom.h"

namespace campaign {

namespace {

constexpr uint32_t kFlashStart = 0x10000000;
constexpr uint32_t kFlashSize = 0x00400000;
constexpr uint32_t kRamStart = 0x03FC0000;
constexpr uint32_t kBlock = 8192;

// How a code group's size is drawn.
enum class Length {
    Even,       // a multiple of 8
    Odd,        // not a multiple of 8
    BlockPlus,  // 1 to 7 bytes past a multiple of 8 KiB
    Any,
};

struct GroupShape {
    int codeGroup;
    uint16_t type;
    uint32_t low, high;
    Length length;
    bool erased = false;  // the file's image is 0xFF (apart from a barker)
};

struct Shape {
    const char* name;
    std::vector<GroupShape> groups;
};

// Releases cycle through these, one platform after the other.
const std::vector<Shape>& Shapes() {
    static const std::vector<Shape> shapes = {
        {"full",
         {{0, 2, 16384, 65536, Length::Any},
          {1, 2, 32768, 163840, Length::Any},
          {2, 0, 4096, 16384, Length::Any},
          {4, 2, 8192, 65536, Length::Any}}},
        {"combo",
         {{0, 2, 16384, 49152, Length::Any},
          {1, 2, 32768, 131072, Length::Any},
          {2, 4, 2048, 16384, Length::Any},
          {4, 2, 8192, 32768, Length::Any}}},
        {"language-only", {{4, 2, 8192, 98304, Length::Any}}},
        {"language-and-bootloader",
         {{0, 2, 8192, 40960, Length::Any}, {4, 2, 8192, 65536, Length::Any}}},
        {"small-odd",
         {{0, 2, 8, 40, Length::Odd},
          {1, 2, 8193, 8199, Length::BlockPlus},
          {2, 0, 100, 3000, Length::Odd},
          {5, 8, 65536, 65536, Length::Even, true}}},
        {"combo-odd",
         {{1, 2, 8192, 40960, Length::BlockPlus},
          {2, 4, 100, 9000, Length::Odd},
          {3, 0, 1000, 20000, Length::Odd, true},
          {4, 2, 8192, 24576, Length::Any, true}}},
        {"large",
         {{0, 2, 32768, 65536, Length::Any},
          {1, 2, 524288, 1310720, Length::Odd},
          {2, 0, 16384, 16384, Length::Even},
          {4, 2, 65536, 65536, Length::Even},
          {7, 8, 4096, 16384, Length::Any}}},
    };
    return shapes;
}

// The code groups every phone of the families has, with the example sizes.
struct StandardGroup {
    int codeGroup;
    uint32_t size;
    bool barker;
};
constexpr StandardGroup kStandardGroups[] = {
    {0, 40960, true}, {1, 307200, true}, {2, 16384, false}, {4, 65536, true}};

uint32_t DrawSize(SeededRandom& rng, const GroupShape& shape) {
    uint32_t size = static_cast<uint32_t>(rng.Between(shape.low, shape.high));
    Length length = shape.length;
    if (length == Length::Any) {
        length = rng.Chance(50) ? Length::Even : rng.Chance(50) ? Length::Odd : Length::BlockPlus;
    }
    switch (length) {
        case Length::Even:
            size -= size % 8;
            break;
        case Length::Odd:
            size = size - size % 8 + static_cast<uint32_t>(rng.Between(1, 7));
            break;
        case Length::BlockPlus:
            size = std::max<uint32_t>(size / kBlock, 1) * kBlock +
                   static_cast<uint32_t>(rng.Between(1, 7));
            break;
        case Length::Any:
            break;
    }
    // A barker-carrying code group holds at least its barker.
    return std::max<uint32_t>(size, shape.type == 2 ? 8 : 1);
}

uint8_t DataTypeOf(int codeGroup) {
    switch (codeGroup) {
        case 0:
        case 1:
            return 6;
        case 2:
            return 9;
        case 4:
            return 7;
        default:
            return 5;
    }
}

std::string HexNumber(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

std::string Version(uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", value);
    return text;
}

// Places the code groups one after the other in the flash bank, each on a
// 64 KiB boundary or, now and then, on an 8 KiB one.
void Place(std::vector<GroupPlan>& groups, SeededRandom& rng) {
    std::sort(groups.begin(), groups.end(),
              [](const GroupPlan& a, const GroupPlan& b) { return a.codeGroup < b.codeGroup; });
    uint64_t cursor = kFlashStart;
    for (GroupPlan& group : groups) {
        uint64_t align = rng.Chance(25) ? kBlock : 0x10000;
        cursor = (cursor + align - 1) / align * align;
        group.start = static_cast<uint32_t>(cursor);
        // Room for a tail packet past a very short code group.
        cursor += std::max<uint32_t>(group.size, 8) + 8;
    }
    if (cursor > uint64_t{kFlashStart} + kFlashSize) {
        throw std::logic_error("campaign: a release does not fit the flash bank");
    }
}

nlohmann::json SubfileOf(const GroupPlan& group, const Release& release, bool erased,
                         SeededRandom& rng) {
    nlohmann::json sub = {{"slot", "cg" + std::to_string(group.codeGroup)},
                          {"start", HexNumber(group.start)},
                          {"size", group.size},
                          {"type", group.type},
                          {"version", Version(group.fileVersion)},
                          {"family", release.platform.maType},
                          {"variant", release.platform.chipset}};
    char carried[8];
    std::snprintf(carried, sizeof carried, "%02X0000", group.dataType);
    sub["carried"] = carried;
    if (group.type == 2) {
        std::vector<uint8_t> barker = {0xA5,
                                       0x5A,
                                       0xC3,
                                       0x3C,
                                       static_cast<uint8_t>(group.codeGroup),
                                       static_cast<uint8_t>(release.index),
                                       static_cast<uint8_t>(group.fileVersion >> 8),
                                       static_cast<uint8_t>(group.fileVersion)};
        sub["barker"] = Hex(barker);
    }
    // The phone finds the file's data type and version after the barker;
    // an erased range stays erased apart from a barker.
    sub["descriptor"] = group.size >= 16 && (!erased || group.type == 2);
    if (erased) {
        sub["data"] = {{"generate", "fill"}, {"byte", 0xFF}};
    } else if (rng.Chance(10)) {
        sub["data"] = {{"generate", "counter"}};
    } else {
        sub["data"] = {{"generate", "random"}, {"seed", rng.Next() & 0xFFFFFF}};
        if (group.size > 64 && rng.Chance(20)) {
            uint32_t offset = static_cast<uint32_t>(rng.Between(16, group.size - 32));
            uint32_t length = static_cast<uint32_t>(rng.Between(1, group.size - offset - 1));
            sub["holes"] = nlohmann::json::array({{offset, std::min<uint32_t>(length, 20000)}});
        }
    }
    return sub;
}

// The phones' answer to the settings status request, spread over each
// shape's platforms: mostly ready, and each of the answers that stop or
// change a flash (nothing to keep, incompatible, a refusal carrying either).
SettingsPlan DrawSettings(int index, SeededRandom& rng) {
    static const std::pair<uint32_t, uint32_t> kAnswers[] = {
        {0, 4}, {0, 4}, {0, 4}, {0, 4},          {0, 4},
        {0, 4}, {0, 3}, {0, 2}, {0xE0020024, 4}, {0xE0020024, 3}};
    const int platforms = static_cast<int>(Platforms().size());
    const auto& [code, response] = kAnswers[(index / platforms * 9 + index % platforms) % 10];
    SettingsPlan plan;
    plan.statusCode = code;
    plan.response = response;
    plan.data.resize(rng.Between(16, 256));
    for (uint8_t& b : plan.data) {
        b = static_cast<uint8_t>(rng.Next());
    }
    return plan;
}

}  // namespace

const std::vector<Platform>& Platforms() {
    static const std::vector<Platform> platforms = {
        {"CDMA Dorsk", 1, 1},   {"GSM Brinmar", 2, 1},  {"TDMA Brinmar", 3, 1},
        {"UMTS Quellin", 4, 3}, {"UMTS Tavenor", 4, 6}, {"GSM k.380", 2, 2},
        {"CDMA HBX4205", 5, 4}, {"CDMA HBX4200", 5, 5},
    };
    return platforms;
}

const GroupPlan* Release::Group(int codeGroup) const {
    for (const GroupPlan& group : groups) {
        if (group.codeGroup == codeGroup) {
            return &group;
        }
    }
    return nullptr;
}

bool Release::Carries(int codeGroup) const {
    const GroupPlan* group = Group(codeGroup);
    return group != nullptr && group->inFile;
}

bool Release::Combo() const {
    const GroupPlan* settingsArea = Group(2);
    return settingsArea != nullptr && settingsArea->inFile && settingsArea->type == 4;
}

bool Release::KeepsSettings() const {
    return Combo() && settings.statusCode == 0 && settings.response == 4;
}

size_t Release::ImageBytes() const {
    size_t total = 0;
    for (const auto& [slot, image] : built.images) {
        total += image.size();
    }
    return total;
}

std::string Release::Summary() const {
    std::string text = "m" + std::to_string(index) + " " + shape + " " + platform.name + ":";
    char part[96];
    for (const GroupPlan& group : groups) {
        if (group.inFile) {
            std::snprintf(part, sizeof part, " cg%d(type %u, %u bytes at 0x%08X)", group.codeGroup,
                          group.type, group.size, group.start);
            text += part;
        }
    }
    std::snprintf(part, sizeof part, "; phone settings status 0x%X answer %u%s",
                  settings.statusCode, settings.response,
                  bootloaderOnPhone ? "; code group 0 already on the phone" : "");
    return text + part;
}

Release MakeRelease(uint64_t seed, int index) {
    const std::vector<Platform>& platforms = Platforms();
    const std::vector<Shape>& shapes = Shapes();
    Release release;
    release.index = index;
    release.seed = Mix(seed, static_cast<uint64_t>(index));
    SeededRandom rng(release.seed);
    release.platform = platforms[static_cast<size_t>(index) % platforms.size()];
    const Shape& shape = shapes[(static_cast<size_t>(index) / platforms.size()) % shapes.size()];
    release.shape = shape.name;
    release.settings = DrawSettings(index, rng);

    for (const GroupShape& wanted : shape.groups) {
        GroupPlan group;
        group.codeGroup = wanted.codeGroup;
        group.size = DrawSize(rng, wanted);
        group.inFile = true;
        group.type = wanted.type;
        group.barker = wanted.type == 2;
        release.groups.push_back(group);
    }
    for (const StandardGroup& standard : kStandardGroups) {
        if (release.Group(standard.codeGroup) == nullptr) {
            GroupPlan group;
            group.codeGroup = standard.codeGroup;
            group.size = standard.size;
            group.barker = standard.barker;
            release.groups.push_back(group);
        }
    }
    Place(release.groups, rng);
    for (GroupPlan& group : release.groups) {
        group.dataType = DataTypeOf(group.codeGroup);
        group.phoneVersion = static_cast<uint16_t>(rng.Between(0x0100, 0x0400));
        group.fileVersion = static_cast<uint16_t>(rng.Between(0x0100, 0x0400));
        group.phoneFill = static_cast<uint8_t>(rng.Between(0, 0xFE));
    }
    // A language package mostly follows the application already on the phone.
    if (release.LanguageOnly() && rng.Chance(80)) {
        for (GroupPlan& group : release.groups) {
            if (group.codeGroup == 4) {
                group.fileVersion = group.phoneVersion;
            }
        }
    }
    release.bootloaderOnPhone = release.LanguageOnly() && release.Carries(0) && rng.Chance(50);

    nlohmann::json& manifest = release.manifest;
    manifest = {{"kind", "K380 Superfile"},
                {"date", "Dec 08 2026"},
                {"seed", release.seed & 0xFFFFFFFF},
                {"recordBytes", rng.Chance(60)   ? 32
                                : rng.Chance(50) ? 16
                                                 : 247}};
    uint32_t ramSize = static_cast<uint32_t>(rng.Between(1024, 12288));
    if (rng.Chance(50)) {
        ramSize -= ramSize % 8;
    }
    manifest["subfiles"] = nlohmann::json::array();
    manifest["subfiles"].push_back({{"slot", "ramdld"},
                                    {"start", HexNumber(kRamStart)},
                                    {"size", ramSize},
                                    {"version", "0x0101"},
                                    {"family", release.platform.maType},
                                    {"variant", release.platform.chipset},
                                    {"data", {{"generate", "random"}, {"seed", 1}}}});
    for (size_t i = 0; i < shape.groups.size(); ++i) {
        const GroupPlan* group = release.Group(shape.groups[i].codeGroup);
        bool erasedRange = shape.groups[i].erased || rng.Chance(8);
        manifest["subfiles"].push_back(SubfileOf(*group, release, erasedRange, rng));
    }
    return release;
}

void WriteRelease(Release& release, const std::string& path) {
    release.built = mkshx::BuildSuperfile(mkshx::ParseManifest(release.manifest));
    mkshx::WriteSuperfile(release.built, path, false);
    release.built.bytes.clear();
    release.built.bytes.shrink_to_fit();
    release.superfilePath = path;
}

std::string Hex(const std::vector<uint8_t>& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (uint8_t b : bytes) {
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

}  // namespace campaign
