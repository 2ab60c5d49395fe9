#include "ORX_FP_FlashJobContext.h"

#include <atomic>
#include <mutex>

#include "ORX_FP_Flash.h"
#include "ORX_FP_FlashHost.h"
#include "ORX_FP_FlashState.h"
#include "WorkerThread.h"
#include "platform/Console.h"

namespace {

class StandardOutputSink : public IReportSink {
  public:
    void Line(const std::string& text) override { platform::ConsoleWriteLine(text); }
    void Progress(int percent) override { platform::ConsoleWriteProgress(percent); }
};

struct InstalledSink {
    std::mutex lock;
    std::shared_ptr<IReportSink> sink = std::make_shared<StandardOutputSink>();
};

InstalledSink& Installed() {
    static InstalledSink installed;
    return installed;
}

thread_local const JobContext* boundContext = nullptr;

}  // namespace

std::shared_ptr<IReportSink> ConsoleSink() {
    std::lock_guard guard(Installed().lock);
    return Installed().sink;
}

std::shared_ptr<IReportSink> SetConsoleSink(std::shared_ptr<IReportSink> sink) {
    if (!sink) {
        sink = std::make_shared<StandardOutputSink>();
    }
    std::lock_guard guard(Installed().lock);
    std::swap(sink, Installed().sink);
    return sink;
}

bool StopToken::StopRequested() const {
    return worker != nullptr && worker->HasWorker() && worker->Running() == 0;
}

struct JobContext::Shared {
    std::atomic<uint16_t> deviceNumber{0};
    std::shared_ptr<IReportSink> sink = ConsoleSink();
    std::mutex lock;  // guards what follows
    StopToken stop;
    JobOutcome outcome;
    bool failed = false;
};

JobContext::JobContext() : JobContext(ReportRoute::Dialog, 0) {}

JobContext::JobContext(ReportRoute route, uint16_t deviceNumber)
    : route(route), shared(std::make_shared<Shared>()) {
    shared->deviceNumber.store(deviceNumber);
}

JobContext JobContext::WithRoute(ReportRoute other) const {
    JobContext copy = *this;
    copy.route = other;
    return copy;
}

ReportRoute JobContext::RouteWithoutDialog() const {
    return route == ReportRoute::PerDevice ? ReportRoute::PerDevice : ReportRoute::Console;
}

uint16_t JobContext::DeviceNumber() const {
    return shared->deviceNumber.load();
}

void JobContext::SetDeviceNumber(uint16_t deviceNumber) {
    shared->deviceNumber.store(deviceNumber);
}

IReportSink& JobContext::Sink() const {
    return *shared->sink;
}

void JobContext::SetStopToken(StopToken token) {
    std::lock_guard guard(shared->lock);
    shared->stop = token;
}

bool JobContext::StopRequested() const {
    std::lock_guard guard(shared->lock);
    return shared->stop.StopRequested();
}

void JobContext::Status(const std::string& text) const {
    switch (route) {
        case ReportRoute::Dialog:
            HostDisplayStatus(text);
            break;
        case ReportRoute::PerDevice:
            HostDisplayStatusEx(DeviceNumber(), text);
            break;
        case ReportRoute::Console:
            Sink().Line(text);
            break;
    }
}

void JobContext::Error(const std::string& text, const std::string& perDeviceText) const {
    switch (route) {
        case ReportRoute::Dialog:
            HostDisplayError(text);
            break;
        case ReportRoute::PerDevice:
            HostDisplayErrorEx(DeviceNumber(), perDeviceText);
            break;
        case ReportRoute::Console:
            Sink().Line(text);
            break;
    }
}

void JobContext::Progress(int percent) const {
    switch (route) {
        case ReportRoute::Dialog:
            HostDisplayProgress(std::to_string(percent));
            break;
        case ReportRoute::PerDevice:
            HostDisplayProgressEx(DeviceNumber(), std::to_string(percent));
            break;
        case ReportRoute::Console:
            Sink().Progress(percent);
            break;
    }
}

void JobContext::ResetProgress() const {
    switch (route) {
        case ReportRoute::Dialog:
            HostDisplayProgress("0");
            break;
        case ReportRoute::PerDevice:
            HostDisplayProgressEx(DeviceNumber(), "0");
            break;
        case ReportRoute::Console:
            Sink().Line("");
            break;
    }
}

void JobContext::StopProgress() const {
    if (route == ReportRoute::Console) {
        Sink().Progress(0);
    }
    ResetProgress();
}

void JobContext::DialogProgressMarker(const char* value) const {
    if (route == ReportRoute::Dialog) {
        HostDisplayProgress(value);
    }
}

// A job counts as failed until it ends well: one whose worker never ran its
// job has failed.
void JobContext::Begin() {
    std::lock_guard guard(shared->lock);
    shared->outcome = JobOutcome{ORX_RESULT_JOB_FAILED, 0, {}};
    shared->failed = false;
}

void JobContext::NoteFailure(const std::string& reason, uint32_t errorCode) {
    std::lock_guard guard(shared->lock);
    if (!shared->failed) {
        shared->failed = true;
        shared->outcome.errorCode = errorCode;
        shared->outcome.reason = reason;
    }
}

void JobContext::Finish(int code) {
    std::lock_guard guard(shared->lock);
    shared->outcome.code = code;
    if (code == ORX_RESULT_OK) {
        shared->outcome.errorCode = 0;
        shared->outcome.reason.clear();
        shared->failed = false;
    }
}

JobOutcome JobContext::Outcome() const {
    std::lock_guard guard(shared->lock);
    return shared->outcome;
}

JobContext CallerContext() {
    if (boundContext != nullptr) {
        return *boundContext;
    }
    return JobContext(AutomationRoute(), 0);
}

JobContextBinding::JobContextBinding(const JobContext& context) : previous(boundContext) {
    boundContext = &context;
}

JobContextBinding::~JobContextBinding() {
    boundContext = previous;
}
