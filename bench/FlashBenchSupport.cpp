#include "FlashBenchSupport.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <memory>
#include <mutex>

#include "Mkshx.h"
#include "ORX.h"
#include "ORX_FP_Flash.h"
#include "OrxHost.h"

namespace flashbench {

namespace {

using Clock = std::chrono::steady_clock;

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

int64_t ThreadCpuNs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return int64_t{now.tv_sec} * 1000000000 + now.tv_nsec;
}

struct Meter {
    std::atomic<uint64_t> sent{0};
    std::atomic<uint64_t> received{0};
    std::atomic<uint64_t> writes{0};
    std::atomic<uint64_t> links{0};
    std::atomic<int64_t> cpuNs{0};
    std::atomic<int64_t> firstOpenNs{0};
    std::atomic<int64_t> lastActivityNs{0};

    void Touch() {
        int64_t now = NowNs();
        int64_t seen = lastActivityNs.load(std::memory_order_relaxed);
        while (seen < now && !lastActivityNs.compare_exchange_weak(seen, now)) {
        }
    }
};

std::mutex metersLock;
std::map<uint16_t, std::shared_ptr<Meter>> meters;

std::shared_ptr<Meter> MeterFor(uint16_t deviceId) {
    std::lock_guard guard(metersLock);
    std::shared_ptr<Meter>& meter = meters[deviceId];
    if (!meter) {
        meter = std::make_shared<Meter>();
    }
    return meter;
}

// Counts what crosses one link and the CPU time Write takes on the calling
// thread: the phone decodes and answers a request inside Write, so that time
// is the simulator's.
class MeteredLink final : public ORXDeviceLink {
  public:
    MeteredLink(std::unique_ptr<ORXDeviceLink> inner, std::shared_ptr<Meter> meter)
        : inner(std::move(inner)), meter(std::move(meter)) {}

    bool Write(const uint8_t* data, size_t size) override {
        int64_t before = ThreadCpuNs();
        bool written = inner->Write(data, size);
        meter->cpuNs += ThreadCpuNs() - before;
        meter->sent += size;
        meter->writes += 1;
        meter->Touch();
        return written;
    }

    // Not timed: reading only copies an answer the phone queued in Write, and
    // a clock reading costs about as much.
    long Read(uint8_t* out, size_t capacity, uint32_t timeoutMs) override {
        long got = inner->Read(out, capacity, timeoutMs);
        if (got > 0) {
            meter->received += static_cast<uint64_t>(got);
            meter->Touch();
        }
        return got;
    }

    void Close() override { inner->Close(); }

  private:
    std::unique_ptr<ORXDeviceLink> inner;
    std::shared_ptr<Meter> meter;
};

LinkTotals TotalsOf(const Meter& meter) {
    LinkTotals totals;
    totals.sent = meter.sent.load();
    totals.received = meter.received.load();
    totals.writes = meter.writes.load();
    totals.links = meter.links.load();
    totals.simulatorCpuSeconds = static_cast<double>(meter.cpuNs.load()) / 1e9;
    totals.firstOpen = Clock::time_point(std::chrono::nanoseconds(meter.firstOpenNs.load()));
    totals.lastActivity = Clock::time_point(std::chrono::nanoseconds(meter.lastActivityNs.load()));
    return totals;
}

ORXOpenDeviceLinkFunction HostOpenDeviceLink() {
    static ORXOpenDeviceLinkFunction host =
        reinterpret_cast<ORXOpenDeviceLinkFunction>(dlsym(RTLD_NEXT, "ORXOpenDeviceLink"));
    return host;
}

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

}  // namespace

void ResetLinkMeters() {
    std::lock_guard guard(metersLock);
    meters.clear();
}

LinkTotals LinkTotalsOf(uint16_t deviceId) {
    return TotalsOf(*MeterFor(deviceId));
}

LinkTotals AllLinkTotals() {
    std::lock_guard guard(metersLock);
    LinkTotals all;
    bool first = true;
    for (const auto& [id, meter] : meters) {
        LinkTotals one = TotalsOf(*meter);
        all.sent += one.sent;
        all.received += one.received;
        all.writes += one.writes;
        all.links += one.links;
        all.simulatorCpuSeconds += one.simulatorCpuSeconds;
        if (first || one.firstOpen < all.firstOpen) {
            all.firstOpen = one.firstOpen;
        }
        all.lastActivity = std::max(all.lastActivity, one.lastActivity);
        first = false;
    }
    return all;
}

Layout LayoutFor(uint64_t imageBytes) {
    Layout layout;
    layout.cg0Size = static_cast<uint32_t>(imageBytes / 32);
    layout.cg1Start = layout.cg0Start + layout.cg0Size;
    layout.cg1Size = static_cast<uint32_t>(imageBytes - layout.cg0Size);
    return layout;
}

nlohmann::json ReleaseManifest(uint64_t imageBytes, int seed) {
    const Layout layout = LayoutFor(imageBytes);
    auto codeGroup = [](const char* slot, uint32_t start, uint32_t size, const char* version,
                        const char* barker) {
        return nlohmann::json{{"slot", slot},       {"start", Hex(start)}, {"size", size},
                              {"type", 2},          {"version", version},  {"barker", barker},
                              {"descriptor", true}, {"carried", "060000"}};
    };
    return nlohmann::json{
        {"kind", "K380 Superfile"},
        {"date", "Dec 07 2026"},
        {"seed", seed},
        {"subfiles",
         {{{"slot", "ramdld"}, {"start", "0x03FC0000"}, {"size", 6144}, {"version", "0x0101"}},
          codeGroup("cg0", layout.cg0Start, layout.cg0Size, "0x0210", "A55AC33C10000210"),
          codeGroup("cg1", layout.cg1Start, layout.cg1Size, "0x0357", "A55AC33C10010357")}}};
}

std::string PhoneProfile(uint16_t deviceId, uint64_t imageBytes, uint64_t bytesPerSecond) {
    const Layout layout = LayoutFor(imageBytes);
    nlohmann::json profile = {
        {"deviceId", deviceId},
        {"mode", "flash"},
        {"modes",
         {{"flash", {{"descriptor", "Flash HMQ Vintrel"}, {"interfaces", {"Kestrova_Flash"}}}}}},
        {"bootloader", {{"chipsetType", 2}, {"maType", 2}, {"dataType", 1}, {"version", "0x0105"}}},
        {"flash", {{{"start", Hex(layout.cg0Start)}, {"size", imageBytes}}}},
        {"layout",
         {{{"codeGroup", 0},
           {"start", Hex(layout.cg0Start)},
           {"size", layout.cg0Size},
           {"barker", true}},
          {{"codeGroup", 1},
           {"start", Hex(layout.cg1Start)},
           {"size", layout.cg1Size},
           {"barker", true}}}},
        {"firmware",
         {{{"codeGroup", 0}, {"dataType", 6}, {"version", "0x0200"}, {"fill", "0x11"}},
          {{"codeGroup", 1}, {"dataType", 6}, {"version", "0x0350"}, {"fill", "0x22"}}}},
        {"linkBytesPerSecond", bytesPerSecond}};
    return profile.dump();
}

void WriteRelease(const std::string& path, uint64_t imageBytes, int seed,
                  std::map<int, std::vector<uint8_t>>* images) {
    mkshx::BuiltSuperfile built =
        mkshx::BuildSuperfile(mkshx::ParseManifest(ReleaseManifest(imageBytes, seed)));
    mkshx::WriteSuperfile(built, path, false);
    if (images != nullptr) {
        *images = std::move(built.images);
    }
}

void OpenModuleHeadless() {
    // Any non-null value does: the device library finds the host's services
    // by name when the instance is not a loaded library.
    static int instance = 0;
    if (UTCInit(&instance) != 0 || UTCOpen(0, nullptr, 0, 0, 0, 0, nullptr) != 0) {
        Fail("the module would not open without a dialog");
    }
}

double ThreadClockCost() {
    constexpr int kReadings = 20000;
    const auto start = Clock::now();
    for (int i = 0; i < kReadings; ++i) {
        ThreadCpuNs();
    }
    return std::chrono::duration<double>(Clock::now() - start).count() / kReadings;
}

double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

long StatusKiB(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == std::string(field) + ":") {
            long value = -1;
            status >> value;
            return value;
        }
        status.ignore(1 << 12, '\n');
    }
    return -1;
}

bool ResetPeakResident() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}

QuietStdout::QuietStdout() {
    std::fflush(stdout);
    saved = dup(STDOUT_FILENO);
    int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    dup2(null, STDOUT_FILENO);
    close(null);
}

QuietStdout::~QuietStdout() {
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);
}

void Fail(const std::string& text) {
    std::fprintf(stderr, "flash bench: %s\n", text.c_str());
    std::exit(1);
}

}  // namespace flashbench

// The host's link service with a meter in front of it (see the header).
extern "C" int ORXOpenDeviceLink(uint16_t deviceId, ORXInterfaceHandle handle,
                                 ORXDeviceLink** link) {
    ORXOpenDeviceLinkFunction host = flashbench::HostOpenDeviceLink();
    if (host == nullptr) {
        return orxhost::kOrxNotAvailable;
    }
    int result = host(deviceId, handle, link);
    if (result != 0 || link == nullptr || *link == nullptr) {
        return result;
    }
    auto meter = flashbench::MeterFor(deviceId);
    int64_t expected = 0;
    meter->firstOpenNs.compare_exchange_strong(expected, flashbench::NowNs());
    meter->links += 1;
    *link = new flashbench::MeteredLink(std::unique_ptr<ORXDeviceLink>(*link), std::move(meter));
    return 0;
}
