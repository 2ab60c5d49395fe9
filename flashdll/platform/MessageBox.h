// The one service through which the module shows message boxes. The dialog
// installs a windowed handler, the command-line host keeps the console handler,
// tests install a recording handler that answers from a script.
#pragma once

#include <functional>
#include <string>

namespace platform {

enum class BoxIcon { None, Stop, Question, Information, Warning };
enum class BoxButtons { Ok, OkCancel, YesNo, RetryCancel };
enum class BoxAnswer { Ok, Cancel, Yes, No, Retry };

struct BoxRequest {
    std::string text;
    std::string caption = "ORX_FP_Flash";
    BoxIcon icon = BoxIcon::None;
    BoxButtons buttons = BoxButtons::Ok;
    bool systemModal = false;
};

using BoxHandler = std::function<BoxAnswer(const BoxRequest&)>;

// Shows the box through the installed handler and returns the answer; blocks
// the calling thread until the handler answers.
BoxAnswer ShowMessageBox(const BoxRequest& request);

// Shorthands for the boxes the module shows most.
BoxAnswer ShowStopBox(const std::string& text, bool systemModal = true);
BoxAnswer ShowQuestionBox(const std::string& text, BoxButtons buttons = BoxButtons::YesNo);

// Installs a handler for the whole process; an empty handler restores the
// console handler. Returns the previous handler (empty when it was the console).
BoxHandler SetMessageBoxHandler(BoxHandler handler);

// The console handler: writes the box to standard error; on a terminal it asks
// for the answer, otherwise it takes the safe default (OK, No, Cancel) and says so.
BoxAnswer ConsoleMessageBox(const BoxRequest& request);

// The answer a box gets when nobody can be asked.
BoxAnswer DefaultAnswer(BoxButtons buttons);

}  // namespace platform
