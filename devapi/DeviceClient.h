// One request, one answer: the protocol driver of the device library. It
// sees only the link (interfaces/ORX.h), so tests drive it with a scripted
// link and the device library with a simulated phone's.
#pragma once

#include <cstdint>
#include <vector>

#include "FrameCodec.h"
#include "ORX.h"

namespace devapi {

class DeviceClient {
  public:
    // The link stays the caller's; it must outlive the client's use of it.
    DeviceClient(ORXDeviceLink* link, uint32_t timeoutMs) : link(link), timeoutMs(timeoutMs) {}

    // Sends the request and waits, at most the time-out, for its answer.
    // Returns 0, or the library's error code, or the status the phone gave;
    // `answer` holds the data that came with the phone's answer, if any.
    uint32_t Exchange(orxproto::Command command, const std::vector<uint8_t>& request,
                      std::vector<uint8_t>& answer);

    void SetTimeout(uint32_t milliseconds) { timeoutMs = milliseconds; }

  private:
    void DropStaleInput();
    uint32_t AwaitAnswer(uint8_t kind, std::vector<uint8_t>& answer);

    ORXDeviceLink* link;
    uint32_t timeoutMs;
    uint8_t sequence = 0;
    std::vector<uint8_t> inbox;  // bytes read but not yet parsed
    std::vector<uint8_t> outbox;
};

}  // namespace devapi
