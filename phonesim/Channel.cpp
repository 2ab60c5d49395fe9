#include "Channel.h"

#include <algorithm>
#include <thread>

namespace phonesim {

void Channel::Deliver(const uint8_t* data, size_t size) {
    {
        std::lock_guard guard(lock);
        if (cut || closed) {
            return;
        }
        outbound.insert(outbound.end(), data, data + size);
    }
    arrived.notify_all();
}

void Channel::Cut() {
    {
        std::lock_guard guard(lock);
        cut = true;
    }
    arrived.notify_all();
}

long Channel::Read(uint8_t* out, size_t capacity, uint32_t timeoutMs) {
    std::unique_lock guard(lock);
    if (closed) {
        return -1;
    }
    // A zero time-out only looks: no timed wait, which costs a futex round trip.
    if (timeoutMs > 0) {
        arrived.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                         [&] { return !outbound.empty() || cut || closed; });
    }
    if (closed || (outbound.empty() && cut)) {
        return -1;
    }
    size_t count = std::min(capacity, outbound.size());
    std::copy(outbound.begin(), outbound.begin() + static_cast<long>(count), out);
    outbound.erase(outbound.begin(), outbound.begin() + static_cast<long>(count));
    guard.unlock();
    Pace(count);
    return static_cast<long>(count);
}

void Channel::Close() {
    {
        std::lock_guard guard(lock);
        closed = true;
        outbound.clear();
    }
    arrived.notify_all();
}

bool Channel::IsUsable() const {
    std::lock_guard guard(lock);
    return !cut && !closed;
}

void Channel::Pace(size_t bytes) {
    if (bytesPerSecond == 0 || bytes == 0) {
        return;
    }
    using namespace std::chrono;
    steady_clock::time_point until;
    {
        std::lock_guard guard(paceLock);
        auto now = steady_clock::now();
        // A small lag behind schedule is made up; a long idle spell is not banked.
        busyUntil = std::max(busyUntil, now - milliseconds(2));
        busyUntil += nanoseconds(bytes * 1000000000ull / bytesPerSecond);
        until = busyUntil;
    }
    std::this_thread::sleep_until(until);
}

}  // namespace phonesim
