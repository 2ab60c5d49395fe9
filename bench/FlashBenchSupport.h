// What the flashing benchmarks share: a superfile and a matching phone profile
// of a given image size, a meter on every phone link the device library opens
// (bytes each way and the simulator's CPU time), and process figures.
//
// The meter stands in front of the host's ORXOpenDeviceLink: the executable
// defines that service itself and exports it (the device library looks the
// service up by name, and the executable comes first), forwards to the host's
// own, and hands on the host's link wrapped. Nothing in the module changes.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace flashbench {

inline constexpr uint64_t kMiB = 1024 * 1024;

// Totals of every link to one phone (or to all phones) since the last reset.
struct LinkTotals {
    uint64_t sent = 0;      // bytes the device library wrote
    uint64_t received = 0;  // bytes it read back
    uint64_t writes = 0;    // Write calls, one per request frame
    uint64_t links = 0;     // links opened
    // Thread CPU time spent inside the links' Write: the simulated phone
    // decoding and answering requests, and the link itself.
    double simulatorCpuSeconds = 0;
    // Steady-clock instants of the first link opened and the last byte moved.
    std::chrono::steady_clock::time_point firstOpen{};
    std::chrono::steady_clock::time_point lastActivity{};
};

void ResetLinkMeters();
LinkTotals LinkTotalsOf(uint16_t deviceId);
LinkTotals AllLinkTotals();

// The code groups a generated release is made of: code group 0 (the flash
// bootloader, 1/32 of the image data) and code group 1 (the rest), both
// barker carriers, back to back from 0x10000000.
struct Layout {
    uint32_t cg0Start = 0x10000000;
    uint32_t cg0Size = 0;
    uint32_t cg1Start = 0;
    uint32_t cg1Size = 0;
};
Layout LayoutFor(uint64_t imageBytes);

// A K380 release with a RAM downloader and the two code groups, each code
// group carrying its descriptor, versions newer than the phone's firmware.
nlohmann::json ReleaseManifest(uint64_t imageBytes, int seed);

// A GSM k.380 phone in flash mode whose layout holds that release, listed
// under deviceId, its link limited to bytesPerSecond each way.
std::string PhoneProfile(uint16_t deviceId, uint64_t imageBytes, uint64_t bytesPerSecond);

// Builds the release and writes the superfile; returns the built images by slot
// through `images` when it is not null.
void WriteRelease(const std::string& path, uint64_t imageBytes, int seed,
                  std::map<int, std::vector<uint8_t>>* images = nullptr);

// Opens the module without a dialog, as an automation host does.
void OpenModuleHeadless();

// What one reading of the thread CPU clock costs, in seconds; the meter takes
// two per request.
double ThreadClockCost();
// User plus system CPU time of the whole process, in seconds.
double ProcessCpuSeconds();
// A field of /proc/self/status in KiB ("VmHWM", "VmRSS"); -1 when missing.
long StatusKiB(const char* field);

// Starts the kernel's peak-resident figure (VmHWM) afresh from the present
// size; false where the kernel does not offer it.
bool ResetPeakResident();

// The module prints on standard output in some routes; while measured that
// goes to /dev/null.
class QuietStdout {
  public:
    QuietStdout();
    ~QuietStdout();
    QuietStdout(const QuietStdout&) = delete;
    QuietStdout& operator=(const QuietStdout&) = delete;

  private:
    int saved = -1;
};

[[noreturn]] void Fail(const std::string& text);

// Runs measure() in a forked child, so its memory and CPU time are its own,
// and returns what it measured (a plain struct, sent back through a pipe).
template <typename Outcome, typename Measure>
Outcome InChild(Measure measure) {
    int fds[2];
    if (pipe(fds) != 0) {
        Fail("pipe");
    }
    std::fflush(stdout);
    pid_t pid = fork();
    if (pid < 0) {
        Fail("fork");
    }
    if (pid == 0) {
        close(fds[0]);
        Outcome out = measure();
        bool written = write(fds[1], &out, sizeof out) == static_cast<ssize_t>(sizeof out);
        std::fflush(stdout);
        _exit(written ? 0 : 1);
    }
    close(fds[1]);
    Outcome out{};
    ssize_t got = read(fds[0], &out, sizeof out);
    close(fds[0]);
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0 ||
        got != static_cast<ssize_t>(sizeof out)) {
        Fail("a measuring child failed");
    }
    return out;
}

}  // namespace flashbench
