// The module's only way to the host's display, device-list and link services.
// Each wrapper finds the worker-thread handle the host expects, calls the host,
// and reports and logs a failure the way the module's opening mode asks. Which
// wrapper a report takes is its job's route (ORX_FP_FlashJobContext.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "ORX.h"

// Rooms callers give for device lists.
inline constexpr size_t kDeviceListRoom = 128;

// The automation job slot of a device number: 1000 to 1031 give 128 to 159,
// every other number itself. Only the low 16 bits count.
size_t DeviceSlot(uint32_t deviceId);

int HostDisplayStatus(const std::string& text);
int HostDisplayStatusEx(uint16_t deviceId, const std::string& text);
int HostDisplayError(const std::string& text);
int HostDisplayErrorEx(uint16_t deviceId, const std::string& text);
// Progress travels as text; its leading decimal number is what the host gets.
int HostDisplayProgress(const std::string& text);
int HostDisplayProgressEx(uint16_t deviceId, const std::string& text);

// Fills ids (room for `room` numbers) with the host's devices: every device in
// headless mode, the selected ones with the dialog. On success count is the
// number copied; a longer host list is cut to the room, and the cut is logged.
// On failure count is unchanged.
int HostGetDeviceList(uint16_t* ids, size_t room, int& count);
int HostGetInterfaceHandle(uint16_t deviceId, const std::string& name, ORXInterfaceHandle& handle);
int HostGetStringDescriptor(uint16_t deviceId, ORXInterfaceHandle interfaceHandle, int index,
                            int zero, std::string& text);
int HostSetBaudRate(uint32_t baudRate, uint16_t deviceId);
int HostRefreshConnections();

// The console route of callers that are no job, through the installed console
// sink: one line, or a progress figure that stays on its line.
void ConsolePrintLine(const std::string& text);
void ConsolePrintProgress(int percent);

// The leading decimal number of a text, 0 when it has none.
int ProgressValue(const std::string& text);
