#include "platform/NamedEvent.h"

#include <chrono>
#include <map>

namespace platform {

bool NamedEvent::Wait(int milliseconds) {
    std::unique_lock guard(lock);
    if (!wake.wait_for(guard, std::chrono::milliseconds(milliseconds), [&] { return signalled; })) {
        return false;
    }
    signalled = false;
    return true;
}

void NamedEvent::Set() {
    std::lock_guard guard(lock);
    signalled = true;
    wake.notify_one();
}

std::shared_ptr<NamedEvent> OpenNamedEvent(const std::string& name, bool initiallySignalled) {
    static std::mutex tableLock;
    static std::map<std::string, std::weak_ptr<NamedEvent>> table;
    std::lock_guard guard(tableLock);
    std::shared_ptr<NamedEvent> event = table[name].lock();
    if (!event) {
        event = std::make_shared<NamedEvent>(initiallySignalled);
        table[name] = event;
    }
    return event;
}

}  // namespace platform
