#include "ModuleHost.h"

#include <dlfcn.h>

#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "ORX_FP_Flash.h"
#include "OrxHost.h"

namespace campaign {

namespace {

// Keeps each device's error reports until its attempt takes them.
class ErrorCollector : public orxhost::DisplaySink {
  public:
    void OnDisplay(const orxhost::DisplayEvent& event) override {
        if (event.kind != orxhost::DisplayEvent::Kind::Error || !event.perDevice) {
            return;
        }
        std::lock_guard guard(lock);
        errors[event.deviceId].push_back(event.text);
    }
    std::vector<std::string> Take(uint16_t deviceId) {
        std::lock_guard guard(lock);
        std::vector<std::string> taken;
        taken.swap(errors[deviceId]);
        return taken;
    }

  private:
    std::mutex lock;
    std::map<uint16_t, std::vector<std::string>> errors;
};

std::shared_ptr<ErrorCollector>& Collector() {
    static std::shared_ptr<ErrorCollector> collector = std::make_shared<ErrorCollector>();
    return collector;
}

}  // namespace

ModuleHost::ModuleHost() {
    orxhost::SetDisplaySink(Collector());
    // The module only needs the host library's instance handle to be set.
    void* hostLibrary = dlopen("ORX.so", RTLD_NOW | RTLD_NOLOAD);
    static int fallback = 0;
    opened = UTCInit(hostLibrary != nullptr ? hostLibrary : &fallback) == 0 &&
             UTCOpen(0, nullptr, 0, 0, 0, 0, nullptr) == 0;
    if (hostLibrary != nullptr) {
        dlclose(hostLibrary);
    }
}

ModuleHost::~ModuleHost() = default;

Attempt ModuleHost::Flash(const std::string& superfile, uint16_t deviceId,
                          std::chrono::milliseconds bound) {
    Attempt attempt;
    Collector()->Take(deviceId);
    auto started = std::chrono::steady_clock::now();
    auto result = std::make_shared<std::promise<int>>();
    std::future<int> done = result->get_future();
    std::thread job([result, superfile, deviceId] {
        OrxFlashDeviceArgs args{superfile.c_str(), deviceId};
        result->set_value(FlashDevice(2, &args));
    });
    if (done.wait_for(bound) == std::future_status::ready) {
        job.join();
        attempt.result = done.get();
    } else {
        job.detach();  // it keeps its own copies of what it uses
        attempt.hung = true;
    }
    attempt.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    attempt.errors = Collector()->Take(deviceId);
    return attempt;
}

void ModuleHost::Close() {
    if (opened) {
        UTCClose();
        opened = false;
    }
    orxhost::SetDisplaySink(nullptr);
}

}  // namespace campaign
