#include "ModuleSession.h"

#include <QWidget>

int ModuleSession::OpenDialog(QWidget* container, const QRect& rect) {
    if (int result = module.Init(); result != 0) {
        return result;
    }
    initialised = true;
    return module.utcOpen(1, container, rect.left(), rect.top(), rect.right() + 1,
                          rect.bottom() + 1, &dialogThread);
}

void ModuleSession::Resize(const QRect& rect) {
    if (IsOpen() && module.utcResize != nullptr) {
        module.utcResize(rect.left(), rect.top(), rect.right() + 1, rect.bottom() + 1);
    }
}

int ModuleSession::Close() {
    if (!IsOpen()) {
        return 0;
    }
    int result = module.Close();
    if (result != 16) {
        closed = true;
    }
    return result;
}
