// Layout (little-endian): "ORXPHST1"; u8 mode, u8 code group 0 unmarked,
// u16 0; u32 line rate; u32 settings size and its bytes; u32 page count and,
// per page, u32 page number and its 4,096 bytes.
#include "StateFile.h"

#include <cstring>
#include <fstream>
#include <iterator>

#include "FrameCodec.h"

namespace phonesim {

namespace {

constexpr char kMagic[8] = {'O', 'R', 'X', 'P', 'H', 'S', 'T', '1'};

[[noreturn]] void Damaged(const std::filesystem::path& path, const std::string& what) {
    throw ProfileError("state file " + path.string() + ": " + what);
}

}  // namespace

void LoadState(PhoneCore& core, const std::filesystem::path& path) {
    std::error_code error;
    if (!std::filesystem::exists(path, error)) {
        return;
    }
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    if (!in.good() && !in.eof()) {
        Damaged(path, "cannot be read");
    }
    if (bytes.size() < sizeof kMagic || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0) {
        Damaged(path, "not a phone state file");
    }
    orxproto::PayloadReader reader(bytes.data() + sizeof kMagic, bytes.size() - sizeof kMagic);
    uint8_t mode = reader.U8();
    bool unmarked = reader.U8() != 0;
    reader.U16();
    uint32_t lineRate = reader.U32();
    uint32_t settingsSize = reader.U32();
    if (reader.Failed() || mode > static_cast<uint8_t>(Mode::Os)) {
        Damaged(path, "damaged header");
    }
    std::vector<uint8_t> settings;
    for (uint32_t i = 0; i < settingsSize && !reader.Failed(); ++i) {
        settings.push_back(reader.U8());
    }
    uint32_t pageCount = reader.U32();
    FlashMemory flash(core.flash.Banks());
    for (uint32_t i = 0; i < pageCount && !reader.Failed(); ++i) {
        uint32_t page = reader.U32();
        uint8_t content[FlashMemory::kPageSize];
        for (uint8_t& byte : content) {
            byte = reader.U8();
        }
        if (!reader.Failed()) {
            flash.SetPage(page, content);
        }
    }
    if (reader.Failed() || !reader.AtEnd()) {
        Damaged(path, "truncated or too long");
    }
    core.flash = std::move(flash);
    core.settings = std::move(settings);
    core.codeGroup0Unmarked = unmarked;
    core.lineRate = lineRate;
    // A phone left switched off is switched on again for the next process.
    auto saved = static_cast<Mode>(mode);
    core.mode = saved == Mode::Off ? core.profile.restartMode : saved;
}

bool SaveState(const PhoneCore& core, const std::filesystem::path& path) {
    orxproto::PayloadWriter out;
    out.Bytes(reinterpret_cast<const uint8_t*>(kMagic), sizeof kMagic);
    out.U8(static_cast<uint8_t>(core.mode));
    out.U8(core.codeGroup0Unmarked ? 1 : 0);
    out.U16(0);
    out.U32(core.lineRate);
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
