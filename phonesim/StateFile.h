// A phone's lasting state in files, so separate processes see the same
// phone: mode, flash pages, settings data, line rate, code group 0's mark and
// the barkers programming put in place. A snapshot holds the state at one
// moment; a journal beside it (the snapshot's name + ".journal") gets every
// change as it happens, so a process that dies mid-flash leaves the phone as
// far as it got. Compacting writes a new snapshot and empties the journal.
#pragma once

#include <filesystem>
#include <map>

#include "FrameCodec.h"
#include "PhoneCore.h"

namespace phonesim {

// Replaces the core's lasting state with the snapshot's, then replays the
// journal over it; nothing happens for files that do not exist. Throws
// ProfileError for a damaged snapshot. The journal is untrusted: replay stops
// at its first incomplete or damaged entry. Returns whether the journal held
// any change (then the caller compacts before appending more).
bool LoadState(PhoneCore& core, const std::filesystem::path& path);
// Writes a new snapshot and renames it into place; false when that fails.
bool SaveState(const PhoneCore& core, const std::filesystem::path& path);
std::filesystem::path JournalPath(const std::filesystem::path& snapshot);

// Appends each change of one core to the journal: O(change) per change, one
// write() each (no fsync: a dying process loses nothing already written).
class StateJournal final : public LastingChanges {
  public:
    StateJournal(const PhoneCore& core, std::filesystem::path snapshot);
    ~StateJournal() override;
    StateJournal(const StateJournal&) = delete;
    StateJournal& operator=(const StateJournal&) = delete;

    // A new snapshot, then an empty journal. False when the snapshot fails.
    bool Compact();

    void FlashChanged(uint32_t address, uint64_t length) override;
    void FlashErased(uint32_t address, uint64_t length) override;
    void SettingsChanged() override;
    void MarksChanged() override;

  private:
    void Append(uint8_t kind, const std::vector<uint8_t>& body);

    const PhoneCore& core;
    const std::filesystem::path snapshot;
    int fd = -1;
};

namespace statefile {

// Little-endian fields from untrusted bytes: a read past the end fails (and
// yields zeros or null) and so does every read after it.
class Reader {
  public:
    Reader(const uint8_t* data, size_t size) : data(data), size(size) {}
    const uint8_t* Take(size_t count);
    uint8_t U8();
    uint32_t U32();
    size_t Left() const { return size - offset; }
    bool Failed() const { return failed; }

  private:
    const uint8_t* data;
    size_t size;
    size_t offset = 0;
    bool failed = false;
};

// Mode, code group 0's mark, line rate and programmed barkers, as both files
// carry them.
struct Marks {
    Mode mode = Mode::Flash;
    bool codeGroup0Unmarked = false;
    uint32_t lineRate = 0;
    std::map<int, Bytes8> barkers;
};

void WriteMarks(const PhoneCore& core, orxproto::PayloadWriter& out);
// False when the fields are short or out of range.
bool ReadMarks(Reader& in, Marks& marks);
void ApplyMarks(PhoneCore& core, const Marks& marks);
// Replays a journal's entries; stops at the first that is incomplete or damaged.
bool ReplayJournal(PhoneCore& core, const std::filesystem::path& path);

}  // namespace statefile

}  // namespace phonesim
