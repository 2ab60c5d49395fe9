// The snapshot. Layout (little-endian): "ORXPHST2"; the marks (u8 mode, u8
// code group 0 unmarked, u16 0, u32 line rate, u32 barker count and, per
// barker, u32 code group and its 8 bytes); u32 settings size and its bytes;
// u32 page count and, per page, u32 page number and its 4,096 bytes.
#include "StateFile.h"

#include <cstring>
#include <fstream>
#include <iterator>

namespace phonesim {

namespace {

constexpr char kMagic[8] = {'O', 'R', 'X', 'P', 'H', 'S', 'T', '2'};
constexpr uint32_t kMaxBarkers = 256;

[[noreturn]] void Damaged(const std::filesystem::path& path, const std::string& what) {
    throw ProfileError("state file " + path.string() + ": " + what);
}

}  // namespace

namespace statefile {

const uint8_t* Reader::Take(size_t count) {
    if (failed || count > size - offset) {
        failed = true;
        return nullptr;
    }
    const uint8_t* at = data + offset;
    offset += count;
    return at;
}

uint8_t Reader::U8() {
    const uint8_t* at = Take(1);
    return at ? at[0] : 0;
}

uint32_t Reader::U32() {
    const uint8_t* at = Take(4);
    return at ? uint32_t{at[0]} | uint32_t{at[1]} << 8 | uint32_t{at[2]} << 16 |
                    uint32_t{at[3]} << 24
              : 0;
}

void WriteMarks(const PhoneCore& core, orxproto::PayloadWriter& out) {
    out.U8(static_cast<uint8_t>(core.mode));
    out.U8(core.codeGroup0Unmarked ? 1 : 0);
    out.U16(0);
    out.U32(core.lineRate);
    out.U32(static_cast<uint32_t>(core.programmedBarkers.size()));
    for (const auto& [group, barker] : core.programmedBarkers) {
        out.U32(static_cast<uint32_t>(group));
        out.Bytes(barker.data(), barker.size());
    }
}

bool ReadMarks(Reader& in, Marks& marks) {
    uint8_t mode = in.U8();
    marks.codeGroup0Unmarked = in.U8() != 0;
    in.Take(2);
    marks.lineRate = in.U32();
    uint32_t count = in.U32();
    if (in.Failed() || mode > static_cast<uint8_t>(Mode::Os) || count > kMaxBarkers) {
        return false;
    }
    marks.mode = static_cast<Mode>(mode);
    marks.barkers.clear();
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t group = in.U32();
        const uint8_t* bytes = in.Take(8);
        if (bytes == nullptr || group > 255) {
            return false;
        }
        Bytes8& barker = marks.barkers[static_cast<int>(group)];
        std::memcpy(barker.data(), bytes, barker.size());
    }
    return true;
}

void ApplyMarks(PhoneCore& core, const Marks& marks) {
    // A phone left switched off is switched on again for the next process.
    core.mode = marks.mode == Mode::Off ? core.profile.restartMode : marks.mode;
    core.codeGroup0Unmarked = marks.codeGroup0Unmarked;
    core.lineRate = marks.lineRate;
    core.programmedBarkers = marks.barkers;
}

}  // namespace statefile

std::filesystem::path JournalPath(const std::filesystem::path& snapshot) {
    std::filesystem::path journal = snapshot;
    journal += ".journal";
    return journal;
}

bool LoadState(PhoneCore& core, const std::filesystem::path& path) {
    std::error_code error;
    if (std::filesystem::exists(path, error)) {
        std::ifstream in(path, std::ios::binary);
        std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
        if (!in.good() && !in.eof()) {
            Damaged(path, "cannot be read");
        }
        if (bytes.size() < sizeof kMagic || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0) {
            Damaged(path, "not a phone state file");
        }
        statefile::Reader reader(bytes.data() + sizeof kMagic, bytes.size() - sizeof kMagic);
        statefile::Marks marks;
        if (!statefile::ReadMarks(reader, marks)) {
            Damaged(path, "damaged header");
        }
        uint32_t settingsSize = reader.U32();
        const uint8_t* settingsBytes = reader.Take(settingsSize);
        uint32_t pageCount = reader.U32();
        if (reader.Failed() || pageCount > reader.Left() / (4 + FlashMemory::kPageSize)) {
            Damaged(path, "truncated");
        }
        FlashMemory flash(core.flash.Banks());
        for (uint32_t i = 0; i < pageCount; ++i) {
            uint32_t page = reader.U32();
            if (page > UINT32_MAX / FlashMemory::kPageSize) {
                Damaged(path, "a page outside the address space");
            }
            flash.SetPage(page, reader.Take(FlashMemory::kPageSize));
        }
        if (reader.Left() != 0) {
            Damaged(path, "too long");
        }
        std::vector<uint8_t> settings(settingsBytes, settingsBytes + settingsSize);
        core.flash = std::move(flash);
        core.settings = std::move(settings);
        statefile::ApplyMarks(core, marks);
    }
    return statefile::ReplayJournal(core, JournalPath(path));
}

bool SaveState(const PhoneCore& core, const std::filesystem::path& path) {
    orxproto::PayloadWriter out;
    out.Bytes(reinterpret_cast<const uint8_t*>(kMagic), sizeof kMagic);
    statefile::WriteMarks(core, out);
    out.U32(static_cast<uint32_t>(core.settings.size()));
    out.Bytes(core.settings.data(), core.settings.size());
    out.U32(static_cast<uint32_t>(core.flash.Pages().size()));
    for (const auto& [page, content] : core.flash.Pages()) {
        out.U32(page);
        out.Bytes(content.get(), FlashMemory::kPageSize);
    }
    std::filesystem::path temporary = path;
    temporary += ".new";
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(out.bytes.data()),
                   static_cast<std::streamsize>(out.bytes.size()));
        if (!file) {
            return false;
        }
    }
    std::error_code error;
    std::filesystem::rename(temporary, path, error);
    return !error;
}

}  // namespace phonesim
