// CFlashDeviceApi: binding to a phone's link and the life of the object.
#include <cstdlib>

#include "DeviceApiImpl.h"
#include "HostLink.h"

static_assert(kFdaErrBadArgument == orxproto::kBadArgument);
static_assert(kFdaErrBadPacket == orxproto::kBadPacket);
static_assert(kFdaErrNoRamDownloader == orxproto::kNoRamDownloader);
static_assert(kFdaErrAddress == orxproto::kAddress);
static_assert(kFdaErrWrongMode == orxproto::kWrongMode);
static_assert(kFdaErrRefused == orxproto::kRefused);
static_assert(kFdaErrBadRequest == orxproto::kBadRequest);
static_assert(kFdaErrNotSupported == orxproto::kNotSupported);

namespace {

constexpr uint32_t kDefaultTimeoutMs = 20000;

uint32_t TimeoutFromEnvironment() {
    const char* text = std::getenv("ORX_DEVAPI_TIMEOUT_MS");
    if (text == nullptr || *text == '\0') {
        return kDefaultTimeoutMs;
    }
    char* end = nullptr;
    unsigned long value = std::strtoul(text, &end, 10);
    if (*end != '\0' || value == 0 || value > 3600000) {
        return kDefaultTimeoutMs;
    }
    return static_cast<uint32_t>(value);
}

}  // namespace

CFlashDeviceApi::Impl::Impl() : client(nullptr, 0), timeoutMs(TimeoutFromEnvironment()) {
    client = devapi::DeviceClient(nullptr, timeoutMs);
}

uint32_t CFlashDeviceApi::Impl::Bind(std::unique_ptr<ORXDeviceLink> newLink) {
    Unbind();
    link = std::move(newLink);
    client = devapi::DeviceClient(link.get(), timeoutMs);
    std::vector<uint8_t> answer;
    return RunExpecting(orxproto::Command::Connect, {}, answer, 1);
}

void CFlashDeviceApi::Impl::Unbind() {
    client = devapi::DeviceClient(nullptr, timeoutMs);
    if (link) {
        link->Close();
        link.reset();
    }
}

uint32_t CFlashDeviceApi::Impl::Run(orxproto::Command command, const std::vector<uint8_t>& request,
                                    std::vector<uint8_t>& answer) {
    return client.Exchange(command, request, answer);
}

uint32_t CFlashDeviceApi::Impl::RunExpecting(orxproto::Command command,
                                             const std::vector<uint8_t>& request,
                                             std::vector<uint8_t>& answer, size_t size) {
    uint32_t code = Run(command, request, answer);
    if (code == 0 && answer.size() != size) {
        return kFdaErrBadFrame;
    }
    return code;
}

CFlashDeviceApi::CFlashDeviceApi() : impl(std::make_unique<Impl>()) {}

CFlashDeviceApi::~CFlashDeviceApi() {
    impl->Unbind();
}

int CFlashDeviceApi::InitFlashDevAPI(void* hostInstance, uint16_t deviceId, void* interfaceHandle,
                                     uint32_t& error) {
    impl->Unbind();
    ORXOpenDeviceLinkFunction open = devapi::FindOpenDeviceLink(hostInstance);
    if (open == nullptr) {
        return devapi::Finish(kFdaErrNoHostLink, error);
    }
    ORXDeviceLink* raw = nullptr;
    int result = open(deviceId, interfaceHandle, &raw);
    std::unique_ptr<ORXDeviceLink> link(raw);
    if (result != 0 || !link) {
        return devapi::Finish(kFdaErrHostRefused, error);
    }
    return devapi::Finish(impl->Bind(std::move(link)), error);
}

int CFlashDeviceApi::InitFlashDevAPIOnLink(ORXDeviceLink* link, uint32_t& error) {
    std::unique_ptr<ORXDeviceLink> owned(link);
    if (!owned) {
        impl->Unbind();
        return devapi::Finish(kFdaErrBadArgument, error);
    }
    return devapi::Finish(impl->Bind(std::move(owned)), error);
}

void CFlashDeviceApi::SetExchangeTimeout(uint32_t milliseconds) {
    impl->timeoutMs = milliseconds;
    impl->client.SetTimeout(milliseconds);
}

uint32_t CFlashDeviceApi::ExchangeTimeout() const {
    return impl->timeoutMs;
}

void CFlashDeviceApi::Close() {
    impl->Unbind();
}
