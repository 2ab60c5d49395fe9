// The flashing module as a host loads it: dlopen of ORX_FP_Flash.so and its
// exports bound by name.
#pragma once

#include <cstdint>
#include <string>

#include "ORX_FP_Flash.h"

class FlashModule {
  public:
    FlashModule() = default;
    ~FlashModule();
    FlashModule(const FlashModule&) = delete;
    FlashModule& operator=(const FlashModule&) = delete;

    // Loads the module; on failure error says why.
    bool Load(const std::string& path, std::string& error);
    // UTCInit with the host library's instance, then UTCOpen without a dialog.
    // Returns the first non-zero result, or 0.
    int OpenHeadless();

    // The module file beside the running executable.
    static std::string DefaultPath();

    decltype(&UTCInit) utcInit = nullptr;
    decltype(&UTCOpen) utcOpen = nullptr;
    decltype(&GetSuperfileInformation) getSuperfileInformation = nullptr;
    decltype(&ConvertSuperfile) convertSuperfile = nullptr;
    decltype(&GetDeviceInformation) getDeviceInformation = nullptr;

  private:
    void* handle = nullptr;
};
