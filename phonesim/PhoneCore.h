// The phone's state and how it carries out protocol commands, without locks
// or links: Phone (Phone.h) serialises access and moves the bytes.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
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

// What lives in RAM and is lost with power or a restart.
struct Session {
    bool ramDownloaderRunning = false;
    std::optional<uint32_t> ramLoadBase;  // lowest address of the RAM downloader loaded
    bool singleFile = false;
    UpgradeStep upgrade = UpgradeStep::None;
    std::optional<std::vector<uint8_t>> savedSettings;
};

class PhoneCore {
  public:
    explicit PhoneCore(Profile profile);

    // Carries out one request. keepBytes, for a packet hit by a power loss,
    // limits how many of its data bytes reach the flash.
    Answer Handle(uint8_t command, const std::vector<uint8_t>& payload,
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

  private:
    bool MayWrite() const { return session.ramDownloaderRunning || profile.directProgramming; }
    bool IsUnsupported(uint8_t command) const;
    void InstallFirmware();

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
