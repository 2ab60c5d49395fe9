// Small types the simulated phone shows to tests: its write log.
#pragma once

#include <cstdint>

namespace phonesim {

// One change the phone made, in order.
struct WriteEvent {
    enum class Kind {
        Program,   // flash programmed
        RamWrite,  // RAM written (RAM downloader packets and tail)
        RamStart,  // a RAM downloader started at address; detail: single-file flag
        Erase,     // detail: erase type
        SettingsSave,
        SettingsErase,
        SettingsRestore,
        ReinsertBarker,
        Restart,
        PowerDown,
        PowerLoss,  // address/length: the packet cut short, if any
        Refused,    // a request a real phone refuses; detail: the error code
    };
    Kind kind = Kind::Program;
    uint32_t address = 0;
    uint32_t length = 0;
    uint32_t detail = 0;
    uint8_t command = 0;  // Refused: the protocol command refused
};

}  // namespace phonesim
