// Calls of other threads carried out on the dialog's (GUI) thread, as a
// cross-thread window message would be: the caller blocks until the GUI
// thread has done the work. Once released, a waiting caller is answered at
// once with its fallback and later callers never reach the GUI thread, so a
// worker that is being stopped can always end.
#pragma once

#include <QThread>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class QObject;

class GuiThreadCalls : public std::enable_shared_from_this<GuiThreadCalls> {
  public:
    // context lives on the GUI thread; work is posted to it.
    explicit GuiThreadCalls(QObject* context);

    bool OnGuiThread() const { return QThread::currentThread() == guiThread; }

    // work's result, or fallback when the calls were released before the GUI
    // thread had done it. On the GUI thread work runs at once.
    template <typename R>
    R Call(std::function<R()> work, R fallback) {
        if (OnGuiThread()) {
            return work();
        }
        auto answer = std::make_shared<R>(std::move(fallback));
        Await([work = std::move(work), answer](const Deliver& deliver) {
            R value = work();
            deliver([&] { *answer = std::move(value); });
        });
        return *answer;
    }
    void Run(std::function<void()> work) {
        Call<bool>(
            [work = std::move(work)] {
                work();
                return true;
            },
            false);
    }

    // GUI thread: answers every waiting caller and refuses every later one.
    void Release();
    bool Released() const;

  private:
    struct Ticket {
        bool done = false;
        bool cancelled = false;
    };
    // Stores a result, under the lock, only while its caller still waits.
    using Deliver = std::function<void(const std::function<void()>&)>;
    using Job = std::function<void(const Deliver&)>;

    void Await(Job job);
    void Execute(const std::shared_ptr<Ticket>& ticket, const Job& job);

    QObject* context;
    QThread* guiThread;
    mutable std::mutex lock;
    std::condition_variable answered;
    std::vector<std::shared_ptr<Ticket>> waiting;
    bool released = false;
};
