// The one process-wide way the library asks the user something (a save that must reduce colours,
// a codec or reader warning). The GUI installs a message box, the command-line tool its own policy,
// tests a scripted answer. Without a handler every question is answered OK.
#pragma once

#include <functional>
#include <string>

namespace pg {

enum class TQuestionButtons { OK, OKCancel };
enum class TQuestionAnswer { OK, Cancel };

using TQuestionHandler =
    std::function<TQuestionAnswer(const std::string& caption, const std::string& text, TQuestionButtons buttons)>;

// Installs `handler` (an empty function removes it) and returns the previous one.
TQuestionHandler SetQuestionHandler(TQuestionHandler handler);

// Shows a warning with the given buttons through the installed handler; OK without one.
TQuestionAnswer AskQuestion(const std::string& caption, const std::string& text, TQuestionButtons buttons);

}  // namespace pg
