#include "DisplayPost.h"

#include <QCoreApplication>

#include "WindowMessages.h"

namespace {

QEvent::Type TypeOf(orxhost::DisplayEvent::Kind kind) {
    switch (kind) {
        case orxhost::DisplayEvent::Kind::Error:
            return Messages().displayError;
        case orxhost::DisplayEvent::Kind::Progress:
            return Messages().displayProgress;
        case orxhost::DisplayEvent::Kind::Status:
            break;
    }
    return Messages().displayStatus;
}

}  // namespace

DisplayPostEvent::DisplayPostEvent(const orxhost::DisplayEvent& display)
    : QEvent(TypeOf(display.kind)), display(display) {}

DevicePostEvent::DevicePostEvent(QEvent::Type type, uint16_t deviceId)
    : QEvent(type), deviceId(deviceId) {}

PostingSink::PostingSink(QObject* receiver) : receiver(receiver) {}

void PostingSink::OnDisplay(const orxhost::DisplayEvent& event) {
    std::lock_guard guard(lock);
    if (receiver != nullptr) {
        QCoreApplication::postEvent(receiver, new DisplayPostEvent(event));
    }
}

void PostingSink::Detach() {
    std::lock_guard guard(lock);
    receiver = nullptr;
}
