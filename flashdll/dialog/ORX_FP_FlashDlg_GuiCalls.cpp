#include "ORX_FP_FlashDlg_GuiCalls.h"

#include <QMetaObject>
#include <QObject>
#include <algorithm>

GuiThreadCalls::GuiThreadCalls(QObject* context) : context(context), guiThread(context->thread()) {}

void GuiThreadCalls::Await(Job job) {
    std::unique_lock guard(lock);
    if (released) {
        return;
    }
    auto ticket = std::make_shared<Ticket>();
    waiting.push_back(ticket);
    // Posted under the lock: the context cannot be released, and so not
    // destroyed, before the work is queued; a queued call of a destroyed
    // context is dropped by Qt.
    QMetaObject::invokeMethod(
        context,
        [self = shared_from_this(), ticket, job = std::move(job)] { self->Execute(ticket, job); },
        Qt::QueuedConnection);
    answered.wait(guard, [&] { return ticket->done || ticket->cancelled; });
    waiting.erase(std::find(waiting.begin(), waiting.end(), ticket));
}

void GuiThreadCalls::Execute(const std::shared_ptr<Ticket>& ticket, const Job& job) {
    {
        std::lock_guard guard(lock);
        if (ticket->cancelled) {
            return;
        }
    }
    try {
        job([&](const std::function<void()>& store) {
            std::lock_guard guard(lock);
            if (!ticket->cancelled) {
                store();
            }
        });
    } catch (...) {
        // No exception leaves an event handler; the caller gets its fallback.
    }
    std::lock_guard guard(lock);
    ticket->done = true;
    answered.notify_all();
}

void GuiThreadCalls::Release() {
    std::lock_guard guard(lock);
    released = true;
    for (const auto& ticket : waiting) {
        ticket->cancelled = true;
    }
    answered.notify_all();
}

bool GuiThreadCalls::Released() const {
    std::lock_guard guard(lock);
    return released;
}
