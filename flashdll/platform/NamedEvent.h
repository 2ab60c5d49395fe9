// Process-wide named auto-reset events: every opener of a name shares one
// event; a Set wakes one waiter (or the next wait) and resets itself.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

namespace platform {

class NamedEvent {
  public:
    explicit NamedEvent(bool signalled) : signalled(signalled) {}
    // True when the event was set within the time; the event is then reset.
    bool Wait(int milliseconds);
    void Set();

  private:
    std::mutex lock;
    std::condition_variable wake;
    bool signalled;
};

// Opens the event of that name, creating it (signalled or not) when no one
// holds it yet.
std::shared_ptr<NamedEvent> OpenNamedEvent(const std::string& name, bool initiallySignalled);

}  // namespace platform
