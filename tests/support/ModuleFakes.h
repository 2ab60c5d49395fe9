// Fakes for tests that drive the module's own code: a message-box handler
// that records every box and answers from a script, a recording console sink,
// a recording dialog view, and a fixture base that gives each test a fresh
// module and host.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ErrorLog.h"
#include "FlashView.h"
#include "ORX_FP_FlashJobContext.h"
#include "ORX_FP_FlashOutcome.h"
#include "ORX_FP_FlashState.h"
#include "OrxHost.h"
#include "TestSupport.h"
#include "WorkerThread.h"
#include "platform/MessageBox.h"

namespace testsupport {

// Installed for its lifetime; boxes not scripted get the default answer.
class ScriptedBoxes {
  public:
    ScriptedBoxes() {
        previous = platform::SetMessageBoxHandler([this](const platform::BoxRequest& request) {
            std::lock_guard guard(lock);
            boxes.push_back(request);
            if (answers.empty()) {
                return platform::DefaultAnswer(request.buttons);
            }
            platform::BoxAnswer answer = answers.front();
            answers.pop_front();
            return answer;
        });
    }
    ~ScriptedBoxes() { platform::SetMessageBoxHandler(previous); }

    void Answer(platform::BoxAnswer answer) {
        std::lock_guard guard(lock);
        answers.push_back(answer);
    }
    std::vector<platform::BoxRequest> Boxes() const {
        std::lock_guard guard(lock);
        return boxes;
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const auto& box : Boxes()) {
            texts.push_back(box.text);
        }
        return texts;
    }

  private:
    mutable std::mutex lock;
    std::vector<platform::BoxRequest> boxes;
    std::deque<platform::BoxAnswer> answers;
    platform::BoxHandler previous;
};

// Installed as the console sink for its lifetime: contexts made meanwhile
// send their console lines and progress here instead of standard output.
class RecordingConsole {
  public:
    RecordingConsole() : previous(SetConsoleSink(sink)) {}
    ~RecordingConsole() { SetConsoleSink(previous); }
    RecordingConsole(const RecordingConsole&) = delete;
    RecordingConsole& operator=(const RecordingConsole&) = delete;

    std::vector<std::string> Lines() const { return sink->Lines(); }
    // What standard output would have shown: lines with their ends, progress
    // as "\r<percent>%".
    std::string Output() const { return sink->Output(); }

  private:
    class Sink : public IReportSink {
      public:
        void Line(const std::string& text) override {
            std::lock_guard guard(lock);
            lines.push_back(text);
            output += text + "\n";
        }
        void Progress(int percent) override {
            std::lock_guard guard(lock);
            output += "\r" + std::to_string(percent) + "%";
        }
        std::vector<std::string> Lines() const {
            std::lock_guard guard(lock);
            return lines;
        }
        std::string Output() const {
            std::lock_guard guard(lock);
            return output;
        }

      private:
        mutable std::mutex lock;
        std::vector<std::string> lines;
        std::string output;
    };
    std::shared_ptr<Sink> sink = std::make_shared<Sink>();
    std::shared_ptr<IReportSink> previous;
};

class RecordingView : public IFlashView {
  public:
    std::string GetControlText(int id) override { return texts[id]; }
    void SetControlText(int id, const std::string& text) override { texts[id] = text; }
    void EnableControl(int id, bool enable) override { enabled[id] = enable; }
    void ShowControl(int id, bool show) override { shown[id] = show; }
    void ListReset(int id) override {
        lists[id].clear();
        ++listResets[id];
    }
    void ListAdd(int id, const std::string& line) override { lists[id].push_back(line); }
    void ListSelect(int id, int index) override { selected[id] = index; }
    void CheckRadio(int id, bool checked) override { radios[id] = checked; }
    void Move(int left, int top, int right, int bottom) override {
        moves.push_back({left, top, right, bottom});
    }
    std::string InterfaceName() override { return interfaceName; }
    void SetFlashing(bool value) override { flashing = value; }
    bool HeaderRead() override { return headerRead; }
    int ReadFileHeader() override {
        ++headerReads;
        return headerRead ? 1 : 0;
    }

    std::string interfaceName = "Kestrova_Tavenor_OS";
    bool flashing = false;
    bool headerRead = true;
    int headerReads = 0;

    std::map<int, std::string> texts;
    std::map<int, bool> enabled;
    std::map<int, bool> shown;
    std::map<int, std::vector<std::string>> lists;
    std::map<int, int> listResets;
    std::map<int, int> selected;
    std::map<int, bool> radios;
    std::vector<std::vector<int>> moves;
};

// A fresh scratch directory as the current directory, a fresh host, boxes
// recorded, the error log on, and the module opened without a dialog.
class ModuleTest : public ::testing::Test {
  protected:
    ModuleTest() {
        orxhost::Reset();
        headlessMode.store(1);
        SetAutomationRoute(ReportRoute::Console);
        ClearDeviceOutcomes();
        errorLogEnabled.store(1);
        hostInstance.store(this);
    }
    ~ModuleTest() override {
        orxhost::Reset();
        hostInstance.store(nullptr);
        errorLogEnabled.store(0);
    }

    // The whole of FlashErrorLog1.log, or empty when there is none.
    std::string Log1() const {
        std::error_code ignored;
        return std::filesystem::exists(scratch.File("FlashErrorLog1.log"), ignored)
                   ? ReadText(scratch.File("FlashErrorLog1.log"))
                   : std::string();
    }

    ScratchDir scratch;
    ScriptedBoxes boxes;
};

// A worker that idles until told to stop, so its engine has a thread handle
// the host's displays are addressed with.
class IdleWorker : public CWorkerThread {
  public:
    void Run() override {
        while (Running() == 1) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
};

// ModuleTest with a recording host display and helpers that install the
// dialog's engine or automation jobs; whatever a test installs is stopped and
// removed at its end.
class HostedModuleTest : public ModuleTest {
  protected:
    HostedModuleTest() { orxhost::SetDisplaySink(sink); }
    ~HostedModuleTest() override {
        for (size_t slot : claimed) {
            if (std::unique_ptr<CWorkerThread> job = ReleaseJobSlot(slot)) {
                job->Stop();
            }
        }
        if (std::unique_ptr<CWorkerThread> engine = TakeMainFlashThread()) {
            engine->Stop();
        }
        headlessMode.store(1);
        SetAutomationRoute(ReportRoute::Console);
    }

    static std::unique_ptr<CWorkerThread> Worker(bool started) {
        auto worker = std::make_unique<IdleWorker>();
        if (started) {
            EXPECT_EQ(worker->Start(), 1);
        }
        return worker;
    }
    // The dialog's engine; returns its worker's handle.
    ORXThreadHandle InstallMainEngine(bool started = true) {
        std::unique_ptr<CWorkerThread> engine = Worker(started);
        ORXThreadHandle handle = engine->ThreadHandle();
        SetMainFlashThread(std::move(engine));
        return handle;
    }
    // An automation job in a slot; returns its worker's handle.
    ORXThreadHandle InstallJob(size_t slot, bool started = true) {
        std::unique_ptr<CWorkerThread> job = Worker(started);
        ORXThreadHandle handle = job->ThreadHandle();
        EXPECT_TRUE(ClaimJobSlot(slot, std::move(job)));
        claimed.push_back(slot);
        return handle;
    }

    std::shared_ptr<orxhost::RecordingSink> sink = std::make_shared<orxhost::RecordingSink>();
    std::vector<size_t> claimed;
};

}  // namespace testsupport
