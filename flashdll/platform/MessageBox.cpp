#include "platform/MessageBox.h"

#include <mutex>

namespace platform {
namespace {

std::mutex handlerLock;
BoxHandler& InstalledHandler() {
    static BoxHandler handler;
    return handler;
}

}  // namespace

BoxAnswer ShowMessageBox(const BoxRequest& request) {
    BoxHandler handler;
    {
        std::lock_guard guard(handlerLock);
        handler = InstalledHandler();
    }
    return handler ? handler(request) : ConsoleMessageBox(request);
}

BoxAnswer ShowStopBox(const std::string& text, bool systemModal) {
    return ShowMessageBox({text, "ORX_FP_Flash", BoxIcon::Stop, BoxButtons::Ok, systemModal});
}

BoxAnswer ShowQuestionBox(const std::string& text, BoxButtons buttons) {
    return ShowMessageBox({text, "ORX_FP_Flash", BoxIcon::Question, buttons, true});
}

BoxHandler SetMessageBoxHandler(BoxHandler handler) {
    std::lock_guard guard(handlerLock);
    std::swap(InstalledHandler(), handler);
    return handler;
}

BoxAnswer DefaultAnswer(BoxButtons buttons) {
    switch (buttons) {
        case BoxButtons::Ok:
            return BoxAnswer::Ok;
        case BoxButtons::YesNo:
            return BoxAnswer::No;
        case BoxButtons::OkCancel:
        case BoxButtons::RetryCancel:
            return BoxAnswer::Cancel;
    }
    return BoxAnswer::Cancel;
}

}  // namespace platform
