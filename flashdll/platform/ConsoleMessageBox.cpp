// Message boxes on a terminal. Boxes go to standard error so that standard
// output stays the module's report channel; without a terminal to ask, the box
// takes its safe default answer, so a script or CI run never hangs.
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <mutex>
#include <string>

#include "platform/MessageBox.h"

namespace platform {
namespace {

std::mutex consoleBoxLock;

const char* IconWord(BoxIcon icon) {
    switch (icon) {
        case BoxIcon::Stop:
            return "error";
        case BoxIcon::Question:
            return "question";
        case BoxIcon::Information:
            return "information";
        case BoxIcon::Warning:
            return "warning";
        case BoxIcon::None:
            break;
    }
    return "message";
}

const char* Choices(BoxButtons buttons) {
    switch (buttons) {
        case BoxButtons::Ok:
            return "[Enter = OK]";
        case BoxButtons::OkCancel:
            return "[o = OK, c = Cancel]";
        case BoxButtons::YesNo:
            return "[y = Yes, n = No]";
        case BoxButtons::RetryCancel:
            return "[r = Retry, c = Cancel]";
    }
    return "";
}

const char* AnswerWord(BoxAnswer answer) {
    switch (answer) {
        case BoxAnswer::Ok:
            return "OK";
        case BoxAnswer::Cancel:
            return "Cancel";
        case BoxAnswer::Yes:
            return "Yes";
        case BoxAnswer::No:
            return "No";
        case BoxAnswer::Retry:
            return "Retry";
    }
    return "";
}

// Maps a typed reply onto the box's buttons; false when it names none of them.
bool ParseReply(BoxButtons buttons, char reply, BoxAnswer& answer) {
    reply = static_cast<char>(std::tolower(static_cast<unsigned char>(reply)));
    switch (buttons) {
        case BoxButtons::Ok:
            answer = BoxAnswer::Ok;
            return true;
        case BoxButtons::OkCancel:
            answer = reply == 'o' ? BoxAnswer::Ok : BoxAnswer::Cancel;
            return reply == 'o' || reply == 'c';
        case BoxButtons::YesNo:
            answer = reply == 'y' ? BoxAnswer::Yes : BoxAnswer::No;
            return reply == 'y' || reply == 'n';
        case BoxButtons::RetryCancel:
            answer = reply == 'r' ? BoxAnswer::Retry : BoxAnswer::Cancel;
            return reply == 'r' || reply == 'c';
    }
    return false;
}

}  // namespace

BoxAnswer ConsoleMessageBox(const BoxRequest& request) {
    std::lock_guard guard(consoleBoxLock);
    std::fprintf(stderr, "%s: %s: %s\n", request.caption.c_str(), IconWord(request.icon),
                 request.text.c_str());
    const bool canAsk = isatty(STDIN_FILENO) && isatty(STDERR_FILENO);
    if (!canAsk) {
        BoxAnswer answer = DefaultAnswer(request.buttons);
        if (request.buttons != BoxButtons::Ok) {
            std::fprintf(stderr, "(no terminal to ask: answering %s)\n", AnswerWord(answer));
        }
        return answer;
    }
    for (;;) {
        std::fprintf(stderr, "%s ", Choices(request.buttons));
        std::fflush(stderr);
        char line[64];
        if (std::fgets(line, sizeof line, stdin) == nullptr) {
            return DefaultAnswer(request.buttons);
        }
        BoxAnswer answer;
        if (ParseReply(request.buttons, line[0], answer)) {
            return answer;
        }
    }
}

}  // namespace platform
