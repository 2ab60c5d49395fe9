// One open link between the host and a phone: the bytes on their way to the
// host, the phone's buffer of request bytes, and the cut and close states.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace phonesim {

class Channel {
  public:
    Channel(std::string interfaceName, uint64_t bytesPerSecond)
        : interfaceName(std::move(interfaceName)), bytesPerSecond(bytesPerSecond) {}

    // The phone's side.
    void Deliver(const uint8_t* data, size_t size);
    // No more bytes either way; what was delivered can still be read.
    void Cut();

    // The host's side.
    long Read(uint8_t* out, size_t capacity, uint32_t timeoutMs);
    void Close();
    bool IsUsable() const;
    // Holds the caller back so the link carries no more than its rate.
    void Pace(size_t bytes);

    // Request bytes not yet formed into a frame; guarded by the phone's lock.
    std::vector<uint8_t> inbound;
    // The phone's interface the link was opened to.
    const std::string interfaceName;

  private:
    mutable std::mutex lock;
    std::condition_variable arrived;
    std::deque<uint8_t> outbound;
    bool cut = false;
    bool closed = false;

    const uint64_t bytesPerSecond;
    std::mutex paceLock;
    std::chrono::steady_clock::time_point busyUntil{};
};

}  // namespace phonesim
