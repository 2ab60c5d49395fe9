#include "WindowMessages.h"

#include <cstdio>

#include "ORX.h"

namespace {

QEvent::Type Reserve(const char* name) {
    int id = static_cast<int>(ORXRegisterWindowMessage(name));
    int reserved = QEvent::registerEventType(id);
    if (reserved != id) {
        // Another part of the process took the number first: the window still
        // works with the type Qt gave, only its number differs from the host's.
        std::fprintf(stderr, "orxflash-gui: %s is %d, not %d, as a Qt event type\n", name, reserved,
                     id);
    }
    return static_cast<QEvent::Type>(reserved);
}

}  // namespace

const WindowMessages& Messages() {
    static const WindowMessages messages{
        Reserve("WM_ORX_DISPLAY_STATUS"),   Reserve("WM_ORX_DISPLAY_ERROR"),
        Reserve("WM_ORX_DISPLAY_PROGRESS"), Reserve("WM_ORX_DEVICE_ARRIVAL"),
        Reserve("WM_ORX_DEVICE_REMOVAL"),   Reserve("WM_ORX_REFRESH_DEVICE_LIST")};
    return messages;
}
