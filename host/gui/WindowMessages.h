// The host's registered window messages as Qt event types: each id that
// ORXRegisterWindowMessage hands out for a name is reserved once per process
// with QEvent::registerEventType, so the window's events carry the same numbers
// the module registered at load.
#pragma once

#include <QEvent>

struct WindowMessages {
    QEvent::Type displayStatus;
    QEvent::Type displayError;
    QEvent::Type displayProgress;
    QEvent::Type deviceArrival;
    QEvent::Type deviceRemoval;
    QEvent::Type refreshDeviceList;
};

// Registers the names on first use; the same types afterwards.
const WindowMessages& Messages();
