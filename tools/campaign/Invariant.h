// The one promise every run is held to: a phone reported flashed holds the
// file. Its code groups read back as the file's images (barkers included),
// its checksum record agrees, and its settings data are the ones it had when
// the file keeps them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Phone.h"
#include "Releases.h"

namespace campaign {

// What differs between the phone and the release; empty when the phone holds
// it. keptSettings: the settings data the phone must still hold, or null.
std::vector<std::string> CheckFlashed(const phonesim::Phone& phone, const Release& release,
                                      const std::vector<uint8_t>* keptSettings);

// A fingerprint of what a flash can change: every code group of the phone's
// layout and its settings data.
uint64_t PhoneStateHash(const phonesim::Phone& phone);

}  // namespace campaign
