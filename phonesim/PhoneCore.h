// The phone's state and how it carries out protocol commands, without locks
// or links: Phone (Phone.h) serialises access and moves the bytes.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "FlashMemory.h"
#include "PhoneTypes.h"
#include "Profile.h"

namespace phonesim {

// What a command leaves the phone to do once its answer is on its way.
enum class AfterAnswer { Nothing, Restart, PowerDown };

struct Answer {
    Answer(uint32_t status = 0, std::vector<uint8_t> data = {},
           AfterAnswer after = AfterAnswer::Nothing)
        : status(status), data(std::move(data)), after(after) {}

    uint32_t status = 0;
    std::vector<uint8_t> data;
    AfterAnswer after = AfterAnswer::Nothing;
};

// The steps of a settings upgrade in one session: save, erase, program the
// settings area, restore. Only the full run spares the settings at the next
// full erase.
enum class UpgradeStep { None, Saved, Erased, Programmed, Done };

// Told of each change to what the phone keeps between processes, as it
// happens; the state file's journal listens.
class LastingChanges {
  public:
    virtual ~LastingChanges() = default;
    // The flash range now holds new bytes (read them from the core).
    virtual void FlashChanged(uint32_t address, uint64_t length) = 0;
    virtual void FlashErased(uint32_t address, uint64_t length) = 0;
    virtual void SettingsChanged() = 0;
    // Mode, line rate, code group 0's mark or a programmed barker.
    virtual void MarksChanged() = 0;
};

// What lives in RAM and is lost with power or a restart.
struct Session {
    bool ramDownloaderRunning = false;
    // Runs of RAM the RAM downloader was loaded into: start -> end (exclusive).
    std::map<uint64_t, uint64_t> ramLoaded;
    bool singleFile = false;
    UpgradeStep upgrade = UpgradeStep::None;
    std::optional<std::vector<uint8_t>> savedSettings;
};

class PhoneCore {
  public:
    explicit PhoneCore(Profile profile);

    // Carries out one request that came over the interface `via`. keepBytes,
    // for a packet hit by a power loss, limits how many of its data bytes
    // reach the flash.
    Answer Handle(uint8_t command, const std::vector<uint8_t>& payload, const std::string& via,
                  std::optional<size_t> keepBytes = std::nullopt);

    std::vector<uint8_t> InfoRecord() const;
    std::vector<uint8_t> ChecksumRecord() const;
    // Whether the phone shows code group n's descriptor (marked valid).
    bool DescriptorShown(const CodeGroupSpec& group) const;

    // Re-enumeration: a new mode, a new epoch; a restart or power cycle also
    // clears the session.
    void EnterMode(Mode mode, bool newSession);

    Profile profile;
    Mode mode;
    uint64_t epoch = 1;
    FlashMemory flash;
    FlashMemory ram;
    std::vector<uint8_t> settings;
    bool codeGroup0Unmarked = false;  // after a language-package erase, until reinsert
    uint32_t lineRate;                // serial: the phone's side of the line
    Session session;
    std::vector<WriteEvent> log;
    // Barker-carrying code groups without a barker in the profile: the code
    // the last programming put whole into their first 8 bytes.
    std::map<int, Bytes8> programmedBarkers;
    LastingChanges* lasting = nullptr;  // none: nothing outlives the process

  private:
    bool MayWrite() const { return session.ramDownloaderRunning || profile.directProgramming; }
    bool IsUnsupported(uint8_t command) const;
    void InstallFirmware();
    void NoteInstalledBarkers();
    // 0, or why the command cannot come over `via` in this mode.
    uint32_t FlashingRefusal(uint8_t command, const std::string& via) const;
    Answer Refuse(uint32_t code, uint8_t command, uint32_t address = 0, uint64_t length = 0);
    bool CrossesBoundary(uint32_t address, uint64_t length) const;
    // Flash changes, told to `lasting`.
    void ProgramFlash(uint32_t address, const uint8_t* data, size_t length);
    void EraseFlash(uint32_t address, uint64_t length);
    void SettingsChanged();
    void MarksChanged();
    void NoteRamLoaded(uint32_t address, uint64_t length);

    Answer Connect();
    Answer GetChecksums(const std::vector<uint8_t>& payload);
    Answer SetBaudRate(const std::vector<uint8_t>& payload);
    Answer RamDownload(const std::vector<uint8_t>& payload);
    Answer RamChecksum(const std::vector<uint8_t>& payload);
    Answer Program(const std::vector<uint8_t>& payload, std::optional<size_t> keepBytes);
    Answer RangeChecksum(const std::vector<uint8_t>& payload);
    Answer Erase(const std::vector<uint8_t>& payload);
    Answer ReinsertBarker();
    // Settings area (PhoneSettings.cpp).
    Answer SettingsStatus(const std::vector<uint8_t>& payload);
    Answer SettingsSave();
    Answer SettingsErase();
    Answer SettingsRestore();
    Answer SettingsChecksum();
    const CodeGroupSpec* SettingsArea() const { return profile.CodeGroup(2); }
};

}  // namespace phonesim
