// The journal: entries appended as changes happen. Each entry is u8 kind,
// u32 body size, the body and the CRC-16 of everything before it in the
// entry. Bodies: flash (u32 address, the bytes now held), erase (u32 start,
// u32 end inclusive), settings (the bytes), marks (as in the snapshot).
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>

#include "StateFile.h"
#include "FlashDevApi.h"

namespace phonesim {

namespace {

enum EntryKind : uint8_t { kFlash = 1, kErase = 2, kSettings = 3, kMarks = 4 };

constexpr size_t kEntryHead = 5;  // kind and body size
// Flash changes go out in pieces no larger than this; no body is larger
// than the settings data may be.
constexpr size_t kFlashPiece = 64 * 1024;
constexpr size_t kMaxBody = size_t{16} << 20;

bool WriteAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        ssize_t wrote = ::write(fd, data, size);
        if (wrote < 0 && errno == EINTR) {
            continue;
        }
        if (wrote <= 0) {
            return false;
        }
        data += wrote;
        size -= static_cast<size_t>(wrote);
    }
    return true;
}

// Applies one entry; false when it does not fit the phone.
bool ApplyEntry(PhoneCore& core, uint8_t kind, const uint8_t* body, size_t size) {
    statefile::Reader in(body, size);
    switch (kind) {
        case kFlash: {
            uint32_t address = in.U32();
            size_t count = in.Left();
            const uint8_t* bytes = in.Take(count);
            if (in.Failed() || count == 0 || !core.flash.Contains(address, count)) {
                return false;
            }
            core.flash.Write(address, bytes, count);
            return true;
        }
        case kErase: {
            uint32_t start = in.U32();
            uint32_t end = in.U32();
            uint64_t length = uint64_t{end} - start + 1;
            if (in.Failed() || in.Left() != 0 || end < start ||
                !core.flash.Contains(start, length)) {
                return false;
            }
            core.flash.Erase(start, length);
            return true;
        }
        case kSettings:
            core.settings.assign(body, body + size);
            return true;
        case kMarks: {
            statefile::Marks marks;
            if (!statefile::ReadMarks(in, marks) || in.Left() != 0) {
                return false;
            }
            statefile::ApplyMarks(core, marks);
            return true;
        }
        default:
            return false;
    }
}

}  // namespace

namespace statefile {

bool ReplayJournal(PhoneCore& core, const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    bool replayed = false;
    std::vector<uint8_t> entry;
    for (;;) {
        entry.resize(kEntryHead);
        if (!in.read(reinterpret_cast<char*>(entry.data()), kEntryHead)) {
            break;  // the end, or an incomplete head
        }
        Reader head(entry.data() + 1, 4);
        uint32_t size = head.U32();
        if (size > kMaxBody) {
            break;
        }
        entry.resize(kEntryHead + size + 2);
        if (!in.read(reinterpret_cast<char*>(entry.data() + kEntryHead), size + 2)) {
            break;  // cut short: the process died while writing it
        }
        uint16_t crc =
            static_cast<uint16_t>(entry[kEntryHead + size] | entry[kEntryHead + size + 1] << 8);
        if (orxproto::Crc16(entry.data(), kEntryHead + size) != crc ||
            !ApplyEntry(core, entry[0], entry.data() + kEntryHead, size)) {
            break;
        }
        replayed = true;
    }
    return replayed;
}

}  // namespace statefile

StateJournal::StateJournal(const PhoneCore& core, std::filesystem::path path)
    : core(core), snapshot(std::move(path)) {
    fd = ::open(JournalPath(snapshot).c_str(),
                O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0644);
}

StateJournal::~StateJournal() {
    if (fd >= 0) {
        ::close(fd);
    }
}

bool StateJournal::Compact() {
    if (!SaveState(core, snapshot)) {
        return false;
    }
    // Entries left behind by a failure here are replayed over the new
    // snapshot harmlessly: each one sets bytes to what they now hold.
    return fd < 0 || ::ftruncate(fd, 0) == 0;
}

void StateJournal::Append(uint8_t kind, const std::vector<uint8_t>& body) {
    if (fd < 0) {
        return;
    }
    orxproto::PayloadWriter entry;
    entry.U8(kind);
    entry.U32(static_cast<uint32_t>(body.size()));
    entry.Bytes(body.data(), body.size());
    entry.U16(orxproto::Crc16(entry.bytes.data(), entry.bytes.size()));
    // One write: a process that dies leaves the entry whole or not at all;
    // a machine that dies may leave it cut short, which replay drops.
    WriteAll(fd, entry.bytes.data(), entry.bytes.size());
}

void StateJournal::FlashChanged(uint32_t address, uint64_t length) {
    for (uint64_t done = 0; done < length;) {
        size_t piece = static_cast<size_t>(std::min<uint64_t>(kFlashPiece, length - done));
        auto at = static_cast<uint32_t>(address + done);
        orxproto::PayloadWriter body;
        body.U32(at);
        body.bytes.resize(4 + piece);
        core.flash.Read(at, body.bytes.data() + 4, piece);
        Append(kFlash, body.bytes);
        done += piece;
    }
}

void StateJournal::FlashErased(uint32_t address, uint64_t length) {
    if (length == 0) {
        return;
    }
    orxproto::PayloadWriter body;
    body.U32(address);
    body.U32(static_cast<uint32_t>(address + length - 1));
    Append(kErase, body.bytes);
}

void StateJournal::SettingsChanged() {
    Append(kSettings, core.settings);
}

void StateJournal::MarksChanged() {
    orxproto::PayloadWriter body;
    statefile::WriteMarks(core, body);
    Append(kMarks, body.bytes);
}

}  // namespace phonesim
