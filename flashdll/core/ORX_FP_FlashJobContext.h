// The context an engine job carries from its start: the phone's device number,
// the route its reports take, the sink its console lines go to, its stop
// request and its outcome. Nothing about a running job is read from
// module-wide state, so jobs of Flash, FlashDevice and the dialog never
// redirect each other's reports.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "ORX_FP_FlashOutcome.h"

class CWorkerThread;

// Where a job's reports go: the host's plain displays (the module has its
// dialog), the host's per-device displays (a FlashDevice job), or the console.
enum class ReportRoute { Dialog, PerDevice, Console };

// Receives the console route's output. Implementations are called from any
// job's worker and must be thread-safe.
class IReportSink {
  public:
    virtual ~IReportSink() = default;
    // One line; the sink adds the line end.
    virtual void Line(const std::string& text) = 0;
    // A percentage that stays on its line.
    virtual void Progress(int percent) = 0;
};

// The sink new contexts take: standard output unless another was installed.
std::shared_ptr<IReportSink> ConsoleSink();
// Installs the sink for contexts made from now on (null: standard output);
// returns the previous one. Running jobs keep theirs.
std::shared_ptr<IReportSink> SetConsoleSink(std::shared_ptr<IReportSink> sink);

// A job's stop request as its engine's worker holds it: set once the worker
// runs and was told to stop. An empty token is never set.
class StopToken {
  public:
    StopToken() = default;
    explicit StopToken(const CWorkerThread* worker) : worker(worker) {}
    bool StopRequested() const;

  private:
    const CWorkerThread* worker = nullptr;
};

// A handle on one job's context: copies share the device number, sink, stop
// request and outcome; each copy has its own route, so a reader made for a
// job reports on the job's outcome along the route that fits the reader.
class JobContext {
  public:
    // The dialog's route, device 0: an engine of the dialog before its first
    // phone.
    JobContext();
    JobContext(ReportRoute route, uint16_t deviceNumber);

    ReportRoute Route() const { return route; }
    // The same job on another route.
    JobContext WithRoute(ReportRoute other) const;
    // The route of an object without a dialog in this job: per-device for a
    // FlashDevice job, otherwise the console.
    ReportRoute RouteWithoutDialog() const;

    uint16_t DeviceNumber() const;
    // The dialog's engine serves one phone after another.
    void SetDeviceNumber(uint16_t deviceNumber);
    IReportSink& Sink() const;

    // Set by the engine before its worker starts, cleared when it goes.
    void SetStopToken(StopToken token);
    bool StopRequested() const;

    // The route's status, error and progress displays. Per-device error lines
    // may differ from the others (the engine leaves their phone tag off).
    void Status(const std::string& text) const;
    void Error(const std::string& text) const { Error(text, text); }
    void Error(const std::string& text, const std::string& perDeviceText) const;
    void Progress(int percent) const;
    // Progress back to 0: "0" to the host's displays, a line end on the console.
    void ResetProgress() const;
    // The same after a stop, where the console shows 0% before the line end.
    void StopProgress() const;
    // Markers around long phone operations, shown by the dialog only.
    void DialogProgressMarker(const char* value) const;

    // The job's outcome. The first failure since the job began is its cause;
    // the end sets the code and, on success, clears the cause.
    void Begin();
    void NoteFailure(const std::string& reason, uint32_t errorCode = 0);
    void Finish(int code);
    JobOutcome Outcome() const;

  private:
    struct Shared;
    ReportRoute route;
    std::shared_ptr<Shared> shared;
};

// The context of the caller's thread: the context bound while a job runs on
// its worker, otherwise one for a caller that is no job (see
// AutomationRoute in ORX_FP_FlashState.h).
JobContext CallerContext();

// Binds a job's context to the current thread for the binding's lifetime, so
// that the module's shared services (the error log) report on the job's route.
class JobContextBinding {
  public:
    explicit JobContextBinding(const JobContext& context);
    ~JobContextBinding();
    JobContextBinding(const JobContextBinding&) = delete;
    JobContextBinding& operator=(const JobContextBinding&) = delete;

  private:
    const JobContext* previous;
};
