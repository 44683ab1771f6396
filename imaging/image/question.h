// How the library asks the user something (a save that must reduce colours, a codec or reader
// warning): through the handler a load or save is given, which starts as the process-wide one.
// The GUI installs a message box, the command-line tool its own policy, tests a scripted answer.
// Without a handler every question is answered OK.
#pragma once

#include <functional>
#include <string>

#include "imaging/image/types.h"

namespace pg {

enum class TQuestionButtons { OK, OKCancel };
enum class TQuestionAnswer { OK, Cancel };

using TQuestionHandler = std::function<TQuestionAnswer(const std::string& caption, const std::string& text,
                                                       TQuestionButtons buttons)>;

// Installs `handler` (an empty function removes it) and returns the previous one.
TQuestionHandler SetQuestionHandler(TQuestionHandler handler);

// A copy of the installed process-wide handler.
TQuestionHandler QuestionHandler();

// Shows a warning with the given buttons through the installed handler; OK without one.
TQuestionAnswer AskQuestion(const std::string& caption, const std::string& text, TQuestionButtons buttons);
// The same through `handler`; OK when it is empty.
TQuestionAnswer AskQuestion(const TQuestionHandler& handler, const std::string& caption,
                            const std::string& text, TQuestionButtons buttons);

// What a warning comes to under a warning action: ignored, shown with OK, asked with OK and
// Cancel, or raised.
enum class TWarningOutcome { Continue, Cancelled, Raise };
TWarningOutcome HandleWarning(TPGWarningAction action, const TQuestionHandler& handler,
                              const std::string& caption, const std::string& text);

}  // namespace pg
