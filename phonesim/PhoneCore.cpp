// The phone's making (firmware and content from the profile), its modes, and
// the dispatch of protocol commands.
#include "PhoneCore.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "FlashDevApi.h"
#include "Protocol.h"

namespace phonesim {

namespace {

// The barker a profile's firmware gets when the layout names no code.
constexpr Bytes8 kDefaultBarker = {'K', 'E', 'S', 'T', 'R', 'O', 'V', 'A'};

}  // namespace

PhoneCore::PhoneCore(Profile given)
    : profile(std::move(given)),
      mode(profile.mode),
      flash(profile.flash),
      ram({profile.ram.range}),
      settings(profile.settings.data),
      lineRate(profile.baudRate) {
    InstallFirmware();
    for (const ContentSpec& content : profile.content) {
        flash.Write(content.address, content.bytes.data(), content.bytes.size());
    }
    NoteInstalledBarkers();
}

// What the profile installed counts as programmed: a barker-carrying code
// group without an expected code is marked by whatever its first 8 bytes hold.
void PhoneCore::NoteInstalledBarkers() {
    for (const CodeGroupSpec& group : profile.layout) {
        if (!group.carriesBarker || group.barker || group.range.Size() < 8) {
            continue;
        }
        Bytes8 held{};
        flash.Read(group.range.start, held.data(), held.size());
        if (std::any_of(held.begin(), held.end(), [](uint8_t b) { return b != 0xFF; })) {
            programmedBarkers[group.number] = held;
        }
    }
}

// A code group of firmware: filled, its descriptor at bytes 8..15, and its
// barker (when it carries one) at bytes 0..7. The fill goes in a page at a
// time: the whole code group made first would take its size again.
void PhoneCore::InstallFirmware() {
    for (const FirmwareSpec& firmware : profile.firmware) {
        const CodeGroupSpec* group = profile.CodeGroup(firmware.codeGroup);
        const uint64_t size = group->range.Size();  // at least 16 (ProfileParts.cpp)
        std::array<uint8_t, FlashMemory::kPageSize> fill;
        fill.fill(firmware.fill);
        for (uint64_t at = 0; at < size; at += fill.size()) {
            flash.Write(static_cast<uint32_t>(group->range.start + at), fill.data(),
                        static_cast<size_t>(std::min<uint64_t>(fill.size(), size - at)));
        }
        const BootloaderSpec boot = profile.bootloader.value_or(BootloaderSpec{});
        uint8_t head[16];
        std::memcpy(head, fill.data(), 8);
        const uint8_t descriptor[8] = {0xFF,
                                       firmware.chipsetType.value_or(boot.chipsetType),
                                       firmware.maType.value_or(boot.maType),
                                       firmware.dataType,
                                       0x00,
                                       0x00,
                                       static_cast<uint8_t>(firmware.version >> 8),
                                       static_cast<uint8_t>(firmware.version)};
        std::memcpy(head + 8, descriptor, 8);
        if (group->carriesBarker) {
            Bytes8 barker = group->barker.value_or(kDefaultBarker);
            if (firmware.barkerWritten) {
                std::copy(barker.begin(), barker.end(), head);
            } else {
                std::fill(head, head + 8, 0xFF);
            }
        }
        flash.Write(group->range.start, head, sizeof head);
    }
}

void PhoneCore::EnterMode(Mode next, bool newSession) {
    mode = next;
    ++epoch;
    if (newSession) {
        session = Session{};
        ram.EraseAll();
        lineRate = profile.baudRate;
    }
    MarksChanged();
}

void PhoneCore::ProgramFlash(uint32_t address, const uint8_t* data, size_t length) {
    if (length == 0) {
        return;  // a power loss before the first byte
    }
    flash.Write(address, data, length);
    if (lasting) {
        lasting->FlashChanged(address, length);
    }
    // A barker counts only when one programming put it there whole.
    bool marksChanged = false;
    const uint64_t end = uint64_t{address} + length;
    for (const CodeGroupSpec& group : profile.layout) {
        const uint32_t at = group.range.start;
        if (!group.carriesBarker || group.barker || end <= at || address >= uint64_t{at} + 8) {
            continue;
        }
        Bytes8 held{};
        flash.Read(at, held.data(), held.size());
        bool whole = address <= at && end >= uint64_t{at} + 8;
        bool erased = std::all_of(held.begin(), held.end(), [](uint8_t b) { return b == 0xFF; });
        if (whole && !erased) {
            programmedBarkers[group.number] = held;
        } else {
            programmedBarkers.erase(group.number);
        }
        marksChanged = true;
    }
    if (marksChanged) {
        MarksChanged();
    }
}

void PhoneCore::EraseFlash(uint32_t address, uint64_t length) {
    flash.Erase(address, length);
    if (lasting) {
        lasting->FlashErased(address, length);
    }
    const uint64_t end = uint64_t{address} + length;
    bool marksChanged = false;
    for (const CodeGroupSpec& group : profile.layout) {
        if (end > group.range.start && address < uint64_t{group.range.start} + 8) {
            marksChanged |= programmedBarkers.erase(group.number) > 0;
        }
    }
    if (marksChanged) {
        MarksChanged();
    }
}

void PhoneCore::SettingsChanged() {
    if (lasting) {
        lasting->SettingsChanged();
    }
}

void PhoneCore::MarksChanged() {
    if (lasting) {
        lasting->MarksChanged();
    }
}

void PhoneCore::NoteRamLoaded(uint32_t address, uint64_t length) {
    std::map<uint64_t, uint64_t>& runs = session.ramLoaded;
    uint64_t start = address;
    uint64_t end = start + length;
    auto next = runs.upper_bound(start);
    if (next != runs.begin() && std::prev(next)->second >= start) {
        auto previous = std::prev(next);
        start = previous->first;
        end = std::max(end, previous->second);
        next = runs.erase(previous);
    }
    while (next != runs.end() && next->first <= end) {
        end = std::max(end, next->second);
        next = runs.erase(next);
    }
    runs[start] = end;
}

bool PhoneCore::CrossesBoundary(uint32_t address, uint64_t length) const {
    const uint32_t block = profile.packetBoundary;
    return block != 0 && length > 0 && address / block != (address + length - 1) / block;
}

bool PhoneCore::IsUnsupported(uint8_t command) const {
    const char* name = orxproto::CommandName(command);
    return std::find(profile.unsupported.begin(), profile.unsupported.end(), name) !=
           profile.unsupported.end();
}

uint32_t PhoneCore::FlashingRefusal(uint8_t command, const std::string& via) const {
    using orxproto::Command;
    switch (static_cast<Command>(command)) {
        case Command::RamDownload:
        case Command::Program:
        case Command::Erase:
        case Command::SettingsStatus:
        case Command::SettingsSave:
        case Command::SettingsErase:
        case Command::SettingsRestore:
        case Command::SettingsChecksum:
        case Command::ReinsertBarker:
            break;
        default:
            return 0;
    }
    auto found = profile.modes.find(mode);
    if (found == profile.modes.end() || found->second.flashing.empty()) {
        return kFdaErrWrongMode;
    }
    const std::vector<std::string>& carriers = found->second.flashing;
    return std::find(carriers.begin(), carriers.end(), via) == carriers.end()
               ? kFdaErrWrongInterface
               : 0;
}

Answer PhoneCore::Refuse(uint32_t code, uint8_t command, uint32_t address, uint64_t length) {
    WriteEvent event{WriteEvent::Kind::Refused, address, static_cast<uint32_t>(length), code};
    event.command = command;
    log.push_back(event);
    return Answer{code};
}

Answer PhoneCore::Handle(uint8_t command, const std::vector<uint8_t>& payload,
                         const std::string& via, std::optional<size_t> keepBytes) {
    using orxproto::Command;
    if (command < orxproto::kFirstCommand || command > orxproto::kLastCommand ||
        IsUnsupported(command)) {
        return {orxproto::kNotSupported};
    }
    if (uint32_t refusal = FlashingRefusal(command, via)) {
        return Refuse(refusal, command);
    }
    bool empty = payload.empty();
    switch (static_cast<Command>(command)) {
        case Command::Connect:
            return empty ? Connect() : Answer{orxproto::kBadRequest};
        case Command::GetInfo:
            return empty ? Answer{0, InfoRecord()} : Answer{orxproto::kBadRequest};
        case Command::GetChecksums:
            return GetChecksums(payload);
        case Command::SetBaudRate:
            return SetBaudRate(payload);
        case Command::RamDownload:
            return RamDownload(payload);
        case Command::RamChecksum:
            return RamChecksum(payload);
        case Command::Program:
            return Program(payload, keepBytes);
        case Command::RangeChecksum:
            return RangeChecksum(payload);
        case Command::Erase:
            return Erase(payload);
        case Command::SettingsStatus:
            return SettingsStatus(payload);
        case Command::SettingsSave:
            return empty ? SettingsSave() : Answer{orxproto::kBadRequest};
        case Command::SettingsErase:
            return empty ? SettingsErase() : Answer{orxproto::kBadRequest};
        case Command::SettingsRestore:
            return empty ? SettingsRestore() : Answer{orxproto::kBadRequest};
        case Command::SettingsChecksum:
            return empty ? SettingsChecksum() : Answer{orxproto::kBadRequest};
        case Command::ReinsertBarker:
            return empty ? ReinsertBarker() : Answer{orxproto::kBadRequest};
        case Command::Restart:
            return empty ? Answer{0, {}, AfterAnswer::Restart} : Answer{orxproto::kBadRequest};
        case Command::PowerDown:
            return empty ? Answer{0, {}, AfterAnswer::PowerDown} : Answer{orxproto::kBadRequest};
    }
    return {orxproto::kNotSupported};
}

}  // namespace phonesim
