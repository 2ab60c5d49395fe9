// The phone's facade: making it, how the host sees it, control and inspection.
#include "Phone.h"

#include <algorithm>

#include "Channel.h"
#include "PhoneCore.h"
#include "StateFile.h"

namespace phonesim {

Phone::Phone(Profile given)
    : profile(given),
      core(std::make_unique<PhoneCore>(std::move(given))),
      hostLineRate(profile.baudRate) {
    for (const FaultOrder& fault : profile.faults) {
        faults.Arm(fault);
    }
}

std::shared_ptr<Phone> Phone::Create(Profile profile) {
    return Create(std::move(profile), true);
}

std::shared_ptr<Phone> Phone::Create(Profile profile, bool keepState) {
    std::shared_ptr<Phone> phone(new Phone(std::move(profile)));
    const std::string& path = phone->profile.stateFile;
    if (path.empty()) {
        return phone;
    }
    bool journalled = LoadState(*phone->core, path);
    if (keepState) {
        phone->journal = std::make_unique<StateJournal>(*phone->core, path);
        // Compacted at once: new entries never follow a damaged tail.
        if (journalled) {
            phone->journal->Compact();
        }
        phone->core->lasting = phone->journal.get();
    }
    return phone;
}

std::shared_ptr<Phone> Phone::Observe(const std::filesystem::path& path) {
    return Create(LoadProfile(path), false);
}

std::shared_ptr<Phone> Phone::FromJson(const std::string& text,
                                       const std::filesystem::path& baseDir) {
    return Create(ParseProfile(text, baseDir));
}

std::shared_ptr<Phone> Phone::FromFile(const std::filesystem::path& path) {
    return Create(LoadProfile(path));
}

Phone::~Phone() {
    SaveStateLocked();
}

uint16_t Phone::DeviceId() const {
    return profile.deviceId;
}

bool Phone::IsSerial() const {
    return profile.IsSerial();
}

Mode Phone::CurrentMode() const {
    std::lock_guard guard(lock);
    return core->mode;
}

std::optional<std::string> Phone::Descriptor() const {
    std::lock_guard guard(lock);
    auto found = profile.modes.find(core->mode);
    return found == profile.modes.end() ? std::nullopt : found->second.descriptor;
}

std::vector<std::string> Phone::Interfaces() const {
    std::lock_guard guard(lock);
    auto found = profile.modes.find(core->mode);
    return found == profile.modes.end() ? std::vector<std::string>{} : found->second.interfaces;
}

bool Phone::HasInterface(const std::string& name) const {
    std::vector<std::string> offered = Interfaces();
    return std::find(offered.begin(), offered.end(), name) != offered.end();
}

uint64_t Phone::Epoch() const {
    std::lock_guard guard(lock);
    return core->epoch;
}

int Phone::TestCommand(const std::string& command, std::string& reply) {
    reply.clear();
    std::lock_guard guard(lock);
    auto mode = profile.modes.find(core->mode);
    bool offered = mode != profile.modes.end() &&
                   std::count(mode->second.interfaces.begin(), mode->second.interfaces.end(),
                              kTestCommandInterface) > 0;
    if (core->mode == Mode::Off || !offered) {
        return kTestCommandRefused;
    }
    if (std::optional<FaultOrder> fault = faults.Strike(command, false)) {
        if (fault->action == FaultAction::Refuse) {
            return static_cast<int>(fault->code);
        }
    }
    if (command != "SUSPEND") {
        return kTestCommandUnknown;
    }
    if (core->mode != Mode::Os || !profile.modes.count(Mode::Flash)) {
        return kTestCommandRefused;
    }
    Reenumerate(Mode::Flash, true);
    reply = "OK";
    return 0;
}

void Phone::SetHostLineRate(uint32_t rate) {
    std::lock_guard guard(lock);
    hostLineRate = rate;
}

uint32_t Phone::LineRate() const {
    std::lock_guard guard(lock);
    return core->lineRate;
}

void Phone::Reenumerate(Mode mode, bool newSession) {
    core->EnterMode(mode, newSession);
    for (const auto& weak : channels) {
        if (auto channel = weak.lock()) {
            channel->Cut();
        }
    }
    channels.clear();
    SaveStateLocked();
}

void Phone::PowerOn() {
    std::lock_guard guard(lock);
    if (core->mode == Mode::Off) {
        hostLineRate = profile.baudRate;
        Reenumerate(profile.restartMode, true);
    }
}

void Phone::PowerOff() {
    std::lock_guard guard(lock);
    if (core->mode != Mode::Off) {
        core->log.push_back({WriteEvent::Kind::PowerLoss});
        Reenumerate(Mode::Off, true);
    }
}

void Phone::CutLinks() {
    std::lock_guard guard(lock);
    for (const auto& weak : channels) {
        if (auto channel = weak.lock()) {
            channel->Cut();
        }
    }
    channels.clear();
}

void Phone::AddFault(const FaultOrder& fault) {
    std::lock_guard guard(lock);
    faults.Arm(fault);
}

void Phone::ClearFaults() {
    std::lock_guard guard(lock);
    faults.Clear();
}

std::vector<uint8_t> Phone::ReadFlash(uint32_t address, size_t length) const {
    std::lock_guard guard(lock);
    return core->flash.Read(address, length);
}

uint64_t Phone::FlashBytesHeld() const {
    std::lock_guard guard(lock);
    return core->flash.BytesHeld();
}

std::vector<uint8_t> Phone::ReadRam(uint32_t address, size_t length) const {
    std::lock_guard guard(lock);
    return core->ram.Read(address, length);
}

void Phone::WriteFlash(uint32_t address, const std::vector<uint8_t>& bytes) {
    std::lock_guard guard(lock);
    core->flash.Write(address, bytes.data(), bytes.size());
    if (core->lasting) {
        core->lasting->FlashChanged(address, bytes.size());
    }
}

std::vector<uint8_t> Phone::SettingsData() const {
    std::lock_guard guard(lock);
    return core->settings;
}

std::vector<WriteEvent> Phone::WriteLog() const {
    std::lock_guard guard(lock);
    return core->log;
}

uint64_t Phone::RequestCount() const {
    std::lock_guard guard(lock);
    return requests;
}

void Phone::ClearWriteLog() {
    std::lock_guard guard(lock);
    core->log.clear();
}

bool Phone::RamDownloaderRunning() const {
    std::lock_guard guard(lock);
    return core->session.ramDownloaderRunning;
}

std::vector<uint8_t> Phone::InfoRecord() const {
    std::lock_guard guard(lock);
    return core->InfoRecord();
}

std::vector<uint8_t> Phone::ChecksumRecord() const {
    std::lock_guard guard(lock);
    return core->ChecksumRecord();
}

bool Phone::SaveState() const {
    std::lock_guard guard(lock);
    return SaveStateLocked();
}

bool Phone::SaveStateLocked() const {
    return !journal || journal->Compact();
}

void Phone::LinkClosed() {
    std::lock_guard guard(lock);
    SaveStateLocked();
}

}  // namespace phonesim
