// The settings area: code group 2's range plus the phone's settings data.
// Save, erase and restore need a running RAM downloader, as programming does.
#include <algorithm>
#include <cstdio>

#include "FrameCodec.h"
#include "Packets.h"
#include "PhoneCore.h"

namespace phonesim {

namespace {

Answer Status(uint32_t status) {
    return Answer{status};
}

}  // namespace

Answer PhoneCore::SettingsStatus(const std::vector<uint8_t>& payload) {
    if (payload.size() != 4) {
        return Status(orxproto::kBadRequest);
    }
    // The answer rides along with a refusal too: the library reads the
    // response of a failed request (incompatible data, nothing to keep).
    orxproto::PayloadWriter data;
    data.U32(static_cast<uint32_t>(settings.size()));
    data.U32(profile.settings.status.response);
    return Answer{profile.settings.status.code, data.bytes};
}

Answer PhoneCore::SettingsSave() {
    if (!MayWrite()) {
        return Status(orxproto::kNoRamDownloader);
    }
    if (SettingsArea() == nullptr) {
        return Status(orxproto::kNotSupported);
    }
    session.savedSettings = settings;
    session.upgrade = UpgradeStep::Saved;
    log.push_back({WriteEvent::Kind::SettingsSave, 0, static_cast<uint32_t>(settings.size())});
    return Status(0);
}

Answer PhoneCore::SettingsErase() {
    if (!MayWrite()) {
        return Status(orxproto::kNoRamDownloader);
    }
    const CodeGroupSpec* area = SettingsArea();
    if (area == nullptr) {
        return Status(orxproto::kNotSupported);
    }
    EraseFlash(area->range.start, area->range.Size());
    std::fill(settings.begin(), settings.end(), 0xFF);
    SettingsChanged();
    if (session.upgrade == UpgradeStep::Saved) {
        session.upgrade = UpgradeStep::Erased;
    }
    log.push_back({WriteEvent::Kind::SettingsErase, area->range.start,
                   static_cast<uint32_t>(area->range.Size())});
    return Status(0);
}

Answer PhoneCore::SettingsRestore() {
    if (!MayWrite()) {
        return Status(orxproto::kNoRamDownloader);
    }
    if (!session.savedSettings) {
        return Status(orxproto::kRefused);
    }
    settings = *session.savedSettings;
    SettingsChanged();
    session.upgrade =
        session.upgrade == UpgradeStep::Programmed ? UpgradeStep::Done : UpgradeStep::None;
    log.push_back({WriteEvent::Kind::SettingsRestore, 0, static_cast<uint32_t>(settings.size())});
    return Status(0);
}

// Twelve bytes: the area's 16-bit sum in lower-case hexadecimal at byte 0, the
// Sum8 of the settings data at byte 8, each NUL-padded.
Answer PhoneCore::SettingsChecksum() {
    const CodeGroupSpec* area = SettingsArea();
    if (area == nullptr) {
        return Status(orxproto::kNotSupported);
    }
    std::vector<uint8_t> text(orxproto::kSettingsChecksumSize, 0);
    if (profile.settings.checksumAnswer) {
        std::copy(profile.settings.checksumAnswer->begin(), profile.settings.checksumAnswer->end(),
                  text.begin());
        return Answer{0, text};
    }
    char first[8] = {};
    char second[4] = {};
    std::snprintf(first, sizeof first, "%x",
                  unsigned{flash.Sum16(area->range.start, area->range.Size())});
    std::snprintf(second, sizeof second, "%02x", unsigned{Sum8(settings.data(), settings.size())});
    std::copy(first, first + sizeof first, text.begin());
    std::copy(second, second + sizeof second, text.begin() + 8);
    return Answer{0, text};
}

}  // namespace phonesim
