// The seven window messages the module registers with the host at load, so
// that their identifiers agree with the host's. The module never sends or
// handles them.
#pragma once

#include <array>
#include <string_view>

enum class ModuleMessage {
    DisplayStatus,
    DisplayError,
    DisplayProgress,
    RefreshDeviceList,
    DisplayCoreError,
    DeviceArrival,
    DeviceRemoval,
};

inline constexpr std::array<std::string_view, 7> kModuleMessageNames = {
    "WM_ORX_DISPLAY_STATUS",      "WM_ORX_DISPLAY_ERROR",      "WM_ORX_DISPLAY_PROGRESS",
    "WM_ORX_REFRESH_DEVICE_LIST", "WM_ORX_DISPLAY_CORE_ERROR", "WM_ORX_DEVICE_ARRIVAL",
    "WM_ORX_DEVICE_REMOVAL"};

// The identifier the host gave the message at load (0 if it gave none).
unsigned RegisteredMessage(ModuleMessage message);
