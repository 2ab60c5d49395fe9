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

    // Loads the module; on failure error says why. The host protocol's start-up
    // and the information exports must be there; the others are bound when
    // present and left null otherwise (check with Has before a call).
    bool Load(const std::string& path, std::string& error);
    // UTCInit with the host library's instance, then UTCOpen without a dialog.
    // Returns the first non-zero result, or 0.
    int OpenHeadless();
    // UTCInit with the host library's instance only.
    int Init();
    // UTCClose, when the module has it; 0 otherwise.
    int Close();
    // Asks every running job to stop, when the module can (StopJobs).
    void StopJobsIfAble();

    // True when the export was bound; otherwise says so on standard error.
    template <typename Function>
    static bool Has(Function function, const char* name) {
        if (function == nullptr) {
            SayMissing(name);
            return false;
        }
        return true;
    }

    // The module file beside the running executable.
    static std::string DefaultPath();

    decltype(&UTCInit) utcInit = nullptr;
    decltype(&UTCOpen) utcOpen = nullptr;
    decltype(&UTCClose) utcClose = nullptr;
    decltype(&UTCResize) utcResize = nullptr;
    decltype(&UTCGetVersion) utcGetVersion = nullptr;
    decltype(&UTCSpecific) utcSpecific = nullptr;
    decltype(&GetSuperfileInformation) getSuperfileInformation = nullptr;
    decltype(&ConvertSuperfile) convertSuperfile = nullptr;
    decltype(&GetDeviceInformation) getDeviceInformation = nullptr;
    decltype(&FlashDevice) flashDevice = nullptr;
    decltype(&Flash) flash = nullptr;
    decltype(&VerifyDevice) verifyDevice = nullptr;
    decltype(&StopJobs) stopJobs = nullptr;
    decltype(&GetDevicePlatform) getDevicePlatform = nullptr;
    decltype(&GetFailureReason) getFailureReason = nullptr;

  private:
    static void SayMissing(const char* name);
    void* handle = nullptr;
};
