// The simulated phone (Subscriber Unit): made from a profile, it shows itself
// to the host in its present mode (string descriptor, interfaces), answers
// the device library's protocol over links it hands out, fails on demand,
// and lets tests look at what its flash, RAM and settings data hold.
// Every method is safe to call from any thread.
#pragma once

#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Faults.h"
#include "ORX.h"
#include "PhoneTypes.h"
#include "Profile.h"

namespace phonesim {

class Channel;
class PhoneCore;
class StateJournal;

// The host's test-command interface; it carries commands, never a link.
inline constexpr char kTestCommandInterface[] = "Kestrova_Test_Command";

// Results of TestCommand besides 0.
inline constexpr int kTestCommandRefused = 2;  // not in a mode that takes it
inline constexpr int kTestCommandUnknown = 3;

class Phone : public std::enable_shared_from_this<Phone> {
  public:
    // Throws ProfileError, also for a state file that cannot be read.
    static std::shared_ptr<Phone> Create(Profile profile);
    static std::shared_ptr<Phone> FromJson(const std::string& text,
                                           const std::filesystem::path& baseDir = ".");
    static std::shared_ptr<Phone> FromFile(const std::filesystem::path& path);
    // The phone as its profile's state file keeps it, to look at only: it
    // never writes the state file.
    static std::shared_ptr<Phone> Observe(const std::filesystem::path& path);
    ~Phone();
    Phone(const Phone&) = delete;
    Phone& operator=(const Phone&) = delete;

    // How the host sees it.
    uint16_t DeviceId() const;
    bool IsSerial() const;
    Mode CurrentMode() const;
    bool IsPowered() const { return CurrentMode() != Mode::Off; }
    std::optional<std::string> Descriptor() const;  // none: no descriptor in this mode
    std::vector<std::string> Interfaces() const;
    bool HasInterface(const std::string& name) const;
    // Changes whenever the phone re-enumerates (new mode, power cycle); links
    // and interface handles of an older epoch are dead.
    uint64_t Epoch() const;

    // A link to an interface of the present mode; null when the phone is off,
    // lacks the interface, or the interface is the test-command one.
    std::unique_ptr<ORXDeviceLink> OpenLink(const std::string& interfaceName);
    // A command through the test-command interface: 0 and a reply text, or a
    // refusal code. "SUSPEND" moves a phone in normal operation to flash mode.
    int TestCommand(const std::string& command, std::string& reply);
    // The host's side of a serial line; bytes cross only when both sides agree.
    void SetHostLineRate(uint32_t rate);
    uint32_t LineRate() const;

    // Control.
    void PowerOn();
    void PowerOff();
    void CutLinks();
    void AddFault(const FaultOrder& fault);
    void ClearFaults();

    // Inspection and set-up.
    std::vector<uint8_t> ReadFlash(uint32_t address, size_t length) const;
    std::vector<uint8_t> ReadRam(uint32_t address, size_t length) const;
    // Memory the simulated flash takes (its written pages), for benchmarks
    // that tell the phone's memory from the host's.
    uint64_t FlashBytesHeld() const;
    // Bytes put in as they are, as damage would: a barker so written does not
    // mark its code group.
    void WriteFlash(uint32_t address, const std::vector<uint8_t>& bytes);
    std::vector<uint8_t> SettingsData() const;
    std::vector<WriteEvent> WriteLog() const;
    void ClearWriteLog();
    // Protocol requests received over every link so far, damaged ones included:
    // what a fault on "any" counts (test commands aside).
    uint64_t RequestCount() const;
    bool RamDownloaderRunning() const;
    std::vector<uint8_t> InfoRecord() const;
    std::vector<uint8_t> ChecksumRecord() const;
    const Profile& GetProfile() const { return profile; }
    // Writes the state file's snapshot now and empties its journal (also done
    // when a link closes, on a restart or power change, and on destruction;
    // between those, every change goes into the journal as it happens).
    // False when it cannot be written.
    bool SaveState() const;

    // For the link (PhoneLink.cpp): bytes from the host; false when the link
    // is cut on the way.
    bool Receive(Channel& channel, const uint8_t* data, size_t size);
    void LinkClosed();

  private:
    static std::shared_ptr<Phone> Create(Profile profile, bool keepState);
    explicit Phone(Profile profile);
    void ProcessFrames(Channel& channel, bool& cutNow);
    void Reenumerate(Mode mode, bool newSession);
    bool SaveStateLocked() const;

    const Profile profile;  // as loaded; never changes
    mutable std::mutex lock;
    std::unique_ptr<PhoneCore> core;
    std::unique_ptr<StateJournal> journal;  // none: no state file, or only looked at
    FaultBook faults;
    uint64_t requests = 0;
    uint32_t hostLineRate;
    std::vector<std::weak_ptr<Channel>> channels;
};

}  // namespace phonesim
