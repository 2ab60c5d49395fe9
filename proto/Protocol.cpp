#include "Protocol.h"

#include <cstring>
#include <iterator>

namespace orxproto {

namespace {

constexpr const char* kCommandNames[] = {
    "Connect",         "GetInfo",          "GetChecksums",   "SetBaudRate",
    "RamDownload",     "RamChecksum",      "Program",        "RangeChecksum",
    "Erase",           "SettingsStatus",   "SettingsSave",   "SettingsErase",
    "SettingsRestore", "SettingsChecksum", "ReinsertBarker", "Restart",
    "PowerDown",
};
static_assert(std::size(kCommandNames) == kLastCommand - kFirstCommand + 1);

}  // namespace

const char* CommandName(uint8_t command) {
    if (command < kFirstCommand || command > kLastCommand) {
        return "?";
    }
    return kCommandNames[command - kFirstCommand];
}

bool CommandByName(const char* name, Command& command) {
    if (name == nullptr) {
        return false;
    }
    for (uint8_t c = kFirstCommand; c <= kLastCommand; ++c) {
        if (std::strcmp(kCommandNames[c - kFirstCommand], name) == 0) {
            command = static_cast<Command>(c);
            return true;
        }
    }
    return false;
}

}  // namespace orxproto
