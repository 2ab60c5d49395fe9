// The exported device services: interfaces, string descriptors, line rate,
// refresh, test commands and device links. Each counts its call and answers an
// injected failure when one is pending; behind a device number without a
// phone, every interface is missing (71) and every other service unavailable.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>

#include "OrxState.h"

namespace {

using orxhost::kOrxBadArgument;
using orxhost::kOrxBadHandle;
using orxhost::kOrxNoLink;
using orxhost::kOrxNotAvailable;
using orxhost::kOrxNotInitialised;
using orxhost::detail::EnterCall;
using orxhost::detail::State;

constexpr uint32_t kLineRates[] = {9600, 19200, 38400, 57600, 115200};

// True when the handle names this device's interface as it is now.
bool IsCurrent(const orxhost::detail::InterfaceRecord* record, uint16_t deviceId,
               const phonesim::Phone& phone) {
    return record != nullptr && record->deviceId == deviceId && record->epoch == phone.Epoch() &&
           phone.HasInterface(record->name);
}

// A device link that counts the bytes the host sends through it.
class CountingLink : public ORXDeviceLink {
  public:
    CountingLink(std::unique_ptr<ORXDeviceLink> inner,
                 std::shared_ptr<std::atomic<uint64_t>> counter)
        : inner(std::move(inner)), counter(std::move(counter)) {}
    bool Write(const uint8_t* data, size_t size) override {
        bool written = inner->Write(data, size);
        if (written) {
            counter->fetch_add(size, std::memory_order_relaxed);
        }
        return written;
    }
    long Read(uint8_t* out, size_t capacity, uint32_t timeoutMs) override {
        return inner->Read(out, capacity, timeoutMs);
    }
    void Close() override { inner->Close(); }

  private:
    std::unique_ptr<ORXDeviceLink> inner;
    std::shared_ptr<std::atomic<uint64_t>> counter;
};

void CopyText(const std::string& text, char* out, size_t size) {
    size_t count = std::min(text.size(), size - 1);
    std::memcpy(out, text.data(), count);
    out[count] = '\0';
}

}  // namespace

extern "C" {

int ORXGetInterfaceHandle(uint16_t deviceId, const char* interfaceName,
                          ORXInterfaceHandle* handle) {
    if (int code = EnterCall(__func__)) {
        return code;
    }
    if (handle != nullptr) {
        *handle = nullptr;
    }
    auto& state = State();
    std::lock_guard guard(state.lock);
    auto phone = PhoneOf(state, deviceId);
    if (!phone || interfaceName == nullptr || !phone->HasInterface(interfaceName)) {
        return kOrxNoSuchInterface;
    }
    if (handle != nullptr) {
        *handle = HandleFor(state, deviceId, interfaceName, phone->Epoch());
    }
    return 0;
}

int ORXGetStringDescriptor(uint16_t deviceId, ORXInterfaceHandle handle, int index, int, char* text,
                           size_t textSize) {
    if (text != nullptr && textSize > 0) {
        text[0] = '\0';
    }
    if (int code = EnterCall(__func__)) {
        return code;
    }
    if (text == nullptr || textSize == 0 || index != 1) {
        return kOrxBadArgument;
    }
    auto& state = State();
    std::lock_guard guard(state.lock);
    auto phone = PhoneOf(state, deviceId);
    if (!phone) {
        return kOrxNotAvailable;
    }
    if (!IsCurrent(RecordOf(state, handle), deviceId, *phone)) {
        return kOrxBadHandle;
    }
    std::optional<std::string> descriptor = phone->Descriptor();
    if (!descriptor) {
        return kOrxNotAvailable;  // serial phones carry none
    }
    CopyText(*descriptor, text, textSize);
    return 0;
}

int ORXSetBaudRate(uint32_t baudRate, uint16_t deviceId) {
    if (int code = EnterCall(__func__)) {
        return code;
    }
    auto& state = State();
    std::lock_guard guard(state.lock);
    auto phone = PhoneOf(state, deviceId);
    if (!phone) {
        return kOrxNotAvailable;
    }
    if (std::find(std::begin(kLineRates), std::end(kLineRates), baudRate) == std::end(kLineRates)) {
        return kOrxBadArgument;
    }
    state.lineRates[deviceId] = baudRate;
    phone->SetHostLineRate(baudRate);
    return 0;
}

// Re-enumeration: phones that are off leave the list, phones that are on
// (again) join it.
int ORXRefreshConnections(void) {
    if (int code = EnterCall(__func__)) {
        return code;
    }
    auto& state = State();
    std::lock_guard guard(state.lock);
    for (auto& [key, attached] : state.phones) {
        // Lambdas cannot capture a structured binding in C++20 on every compiler.
        const auto deviceId = key;
        bool listed = std::any_of(state.devices.begin(), state.devices.end(),
                                  [&](const auto& d) { return d.deviceId == deviceId; });
        if (!attached.phone->IsPowered()) {
            std::erase_if(state.devices, [&](const auto& d) { return d.deviceId == deviceId; });
        } else if (!listed) {
            ListDevice(state, {deviceId, true});
        }
    }
    return 0;
}

int ORXTestCmdInit(uint16_t deviceId, int serial) {
    if (int code = EnterCall(__func__)) {
        return code;
    }
    auto& state = State();
    std::lock_guard guard(state.lock);
    auto found = state.phones.find(deviceId);
    if (found == state.phones.end()) {
        return kOrxNotAvailable;
    }
    if ((serial != 0) != found->second.phone->IsSerial()) {
        return kOrxBadArgument;
    }
    found->second.testCommandsReady = true;
    return 0;
}

int ORXSendCommand(uint16_t deviceId, ORXInterfaceHandle handle, const char* command,
                   uint8_t* reply, int, uint8_t* data, uint32_t* value, uint16_t) {
    if (reply != nullptr) {
        std::memset(reply, 0, kOrxCommandBufferSize);
    }
    if (data != nullptr) {
        std::memset(data, 0, kOrxCommandBufferSize);
    }
    if (int code = EnterCall(__func__)) {
        return code;
    }
    if (command == nullptr) {
        return kOrxBadArgument;
    }
    auto& state = State();
    std::lock_guard guard(state.lock);
    auto found = state.phones.find(deviceId);
    if (found == state.phones.end()) {
        return kOrxNotAvailable;
    }
    if (!found->second.testCommandsReady) {
        return kOrxNotInitialised;
    }
    const auto* record = RecordOf(state, handle);
    phonesim::Phone& phone = *found->second.phone;
    if (!IsCurrent(record, deviceId, phone) || record->name != phonesim::kTestCommandInterface) {
        return kOrxBadHandle;
    }
    std::string answer;
    int result = phone.TestCommand(command, answer);
    if (reply != nullptr) {
        CopyText(answer, reinterpret_cast<char*>(reply), kOrxCommandBufferSize);
    }
    if (value != nullptr) {
        *value = 0;
    }
    return result;
}

int ORXOpenDeviceLink(uint16_t deviceId, ORXInterfaceHandle handle, ORXDeviceLink** link) {
    if (link != nullptr) {
        *link = nullptr;
    }
    if (int code = EnterCall(__func__)) {
        return code;
    }
    if (link == nullptr) {
        return kOrxBadArgument;
    }
    auto& state = State();
    std::lock_guard guard(state.lock);
    auto phone = PhoneOf(state, deviceId);
    if (!phone) {
        return kOrxNotAvailable;
    }
    const auto* record = RecordOf(state, handle);
    if (!IsCurrent(record, deviceId, *phone)) {
        return kOrxBadHandle;
    }
    std::unique_ptr<ORXDeviceLink> opened = phone->OpenLink(record->name);
    if (!opened) {
        return kOrxNoLink;
    }
    *link = new CountingLink(std::move(opened), BytesSentCounter(state, deviceId));
    return 0;
}

}  // extern "C"
