// What the flashing module calls in the host tool's services library (ORX.so).
//
// Conventions: every function returns 0 on success and a non-zero failure code
// otherwise; the module reports that code without interpreting it, except 71
// from ORXGetInterfaceHandle (the device lacks the interface). A device number is
// the unsigned 16-bit number under which the host lists a phone. Thread handles
// and interface handles are opaque pointers the module only passes back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#if defined(__GNUC__)
#define ORX_HOST_API __attribute__((visibility("default")))
#else
#define ORX_HOST_API
#endif

using ORXThreadHandle = void*;
using ORXInterfaceHandle = void*;

// The growable array of 16-bit device numbers that the device-list functions
// fill. The caller creates it empty and owns it.
class ORXDeviceArray {
public:
    void Add(uint16_t deviceId) { items.push_back(deviceId); }
    size_t GetSize() const { return items.size(); }
    uint16_t GetAt(size_t index) const { return items.at(index); }
    void RemoveAll() { items.clear(); }

private:
    std::vector<uint16_t> items;
};

// A byte stream to one interface of one phone, handed out by ORXOpenDeviceLink
// to the flash device library, which owns it (deletes it; the destructor
// closes). One thread uses a link at a time; Close may come from any thread.
class ORXDeviceLink {
  public:
    virtual ~ORXDeviceLink() = default;
    // Sends all `size` bytes; false when the link is cut or closed.
    virtual bool Write(const uint8_t* data, size_t size) = 0;
    // Waits up to timeoutMs for bytes and copies at most `capacity` of them into
    // `out`: the count, 0 when none came in time, -1 when the link is cut or closed.
    virtual long Read(uint8_t* out, size_t capacity, uint32_t timeoutMs) = 0;
    // Ends the link; later calls fail. Safe to call more than once.
    virtual void Close() = 0;
};

// Code that ORXGetInterfaceHandle answers when the device lacks the interface.
inline constexpr int kOrxNoSuchInterface = 71;
// Room for the replies of ORXSendCommand.
inline constexpr size_t kOrxCommandBufferSize = 256;

extern "C" {

ORX_HOST_API int ORXDisplayStatus(ORXThreadHandle thread, const char* text);
ORX_HOST_API int ORXDisplayStatusEx(uint16_t deviceId, ORXThreadHandle thread, const char* text);
ORX_HOST_API int ORXDisplayError(ORXThreadHandle thread, const char* text);
ORX_HOST_API int ORXDisplayErrorEx(uint16_t deviceId, ORXThreadHandle thread, const char* text);
ORX_HOST_API int ORXDisplayProgress(ORXThreadHandle thread, int progress);
ORX_HOST_API int ORXDisplayProgressEx(uint16_t deviceId, ORXThreadHandle thread, int progress);

// Fill an empty array with every connected device / only the selected ones.
ORX_HOST_API int ORXGetDeviceList(ORXDeviceArray* devices);
ORX_HOST_API int ORXGetSelectedDeviceList(ORXDeviceArray* devices);

// Write the handle of the named interface of a device; 71 when it has none.
ORX_HOST_API int ORXGetInterfaceHandle(uint16_t deviceId, const char* interfaceName,
                                       ORXInterfaceHandle* handle);
// Write the string descriptor naming the device type into text (textSize bytes,
// always NUL-terminated when textSize > 0).
ORX_HOST_API int ORXGetStringDescriptor(uint16_t deviceId, ORXInterfaceHandle handle, int index,
                                        int zero, char* text, size_t textSize);
ORX_HOST_API int ORXSetBaudRate(uint32_t baudRate, uint16_t deviceId);
ORX_HOST_API int ORXRefreshConnections(void);

// Test-command interface. serial is 1 for device numbers 1000 to 1031.
ORX_HOST_API int ORXTestCmdInit(uint16_t deviceId, int serial);
// reply and data each hold kOrxCommandBufferSize bytes; value is 0 on entry.
ORX_HOST_API int ORXSendCommand(uint16_t deviceId, ORXInterfaceHandle handle, const char* command,
                                uint8_t* reply, int one, uint8_t* data, uint32_t* value,
                                uint16_t replyDeviceId);

// Registers a window message by name: every caller of the same name gets the
// same identifier for the life of the process, from 0xC000 to 0xFFFF (a Qt
// host uses it as a custom event type); 0 for a null or empty name or when
// the range is used up.
ORX_HOST_API unsigned ORXRegisterWindowMessage(const char* name);

// Device link for the flash device library: on 0, *link holds a new link to the
// interface that `handle` names on the device (the caller owns it); non-zero:
// no such device, a stale or foreign handle, or an interface without a link.
ORX_HOST_API int ORXOpenDeviceLink(uint16_t deviceId, ORXInterfaceHandle handle,
                                   ORXDeviceLink** link);
// The signature the device library looks up by name.
using ORXOpenDeviceLinkFunction = int (*)(uint16_t, ORXInterfaceHandle, ORXDeviceLink**);

}  // extern "C"
