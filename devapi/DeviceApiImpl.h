// The state behind CFlashDeviceApi: the owned link and its protocol driver.
#pragma once

#include <memory>
#include <vector>

#include "DeviceClient.h"
#include "FlashDevApi.h"

// Internal: not part of the library's exported surface.
struct __attribute__((visibility("hidden"))) CFlashDeviceApi::Impl {
    Impl();

    // Takes the link, drops the previous one, and checks that the phone answers.
    uint32_t Bind(std::unique_ptr<ORXDeviceLink> newLink);
    void Unbind();
    uint32_t Run(orxproto::Command command, const std::vector<uint8_t>& request,
                 std::vector<uint8_t>& answer);
    // Run, then insist on an answer of exactly `size` data bytes.
    uint32_t RunExpecting(orxproto::Command command, const std::vector<uint8_t>& request,
                          std::vector<uint8_t>& answer, size_t size);

    std::unique_ptr<ORXDeviceLink> link;
    devapi::DeviceClient client;
    uint32_t timeoutMs;
};

namespace devapi {

// The method's result: 1 and error 0 on success, else 0 and the code.
inline int Finish(uint32_t code, uint32_t& error) {
    error = code;
    return code == 0 ? 1 : 0;
}

}  // namespace devapi
