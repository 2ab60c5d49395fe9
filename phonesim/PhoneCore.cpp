// The phone's making (firmware and content from the profile), its modes, and
// the dispatch of protocol commands.
#include "PhoneCore.h"

#include <algorithm>
#include <cstring>

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
}

// A code group of firmware: filled, its descriptor at bytes 8..15, and its
// barker (when it carries one) at bytes 0..7.
void PhoneCore::InstallFirmware() {
    for (const FirmwareSpec& firmware : profile.firmware) {
        const CodeGroupSpec* group = profile.CodeGroup(firmware.codeGroup);
        std::vector<uint8_t> image(group->range.Size(), firmware.fill);
        const BootloaderSpec boot = profile.bootloader.value_or(BootloaderSpec{});
        uint8_t descriptor[8] = {0xFF,
                                 firmware.chipsetType.value_or(boot.chipsetType),
                                 firmware.maType.value_or(boot.maType),
                                 firmware.dataType,
                                 0x00,
                                 0x00,
                                 static_cast<uint8_t>(firmware.version >> 8),
                                 static_cast<uint8_t>(firmware.version)};
        std::memcpy(image.data() + 8, descriptor, 8);
        if (group->carriesBarker) {
            Bytes8 barker = group->barker.value_or(kDefaultBarker);
            if (firmware.barkerWritten) {
                std::copy(barker.begin(), barker.end(), image.begin());
            } else {
                std::fill(image.begin(), image.begin() + 8, 0xFF);
            }
        }
        flash.Write(group->range.start, image.data(), image.size());
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
}

bool PhoneCore::IsUnsupported(uint8_t command) const {
    const char* name = orxproto::CommandName(command);
    return std::find(profile.unsupported.begin(), profile.unsupported.end(), name) !=
           profile.unsupported.end();
}

Answer PhoneCore::Handle(uint8_t command, const std::vector<uint8_t>& payload,
                         std::optional<size_t> keepBytes) {
    using orxproto::Command;
    if (command < orxproto::kFirstCommand || command > orxproto::kLastCommand ||
        IsUnsupported(command)) {
        return {orxproto::kNotSupported};
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
