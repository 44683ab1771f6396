#include "imaging/image/question.h"

#include <mutex>
#include <utility>

namespace pg {

namespace {
std::mutex gQuestionMutex;
TQuestionHandler gQuestionHandler;
}  // namespace

TQuestionHandler SetQuestionHandler(TQuestionHandler handler) {
  std::lock_guard<std::mutex> lock(gQuestionMutex);
  std::swap(gQuestionHandler, handler);
  return handler;
}

TQuestionHandler QuestionHandler() {
  std::lock_guard<std::mutex> lock(gQuestionMutex);
  return gQuestionHandler;
}

TQuestionAnswer AskQuestion(const std::string& caption, const std::string& text, TQuestionButtons buttons) {
  return AskQuestion(QuestionHandler(), caption, text, buttons);
}

TQuestionAnswer AskQuestion(const TQuestionHandler& handler, const std::string& caption,
                            const std::string& text, TQuestionButtons buttons) {
  if (!handler) return TQuestionAnswer::OK;
  return handler(caption, text, buttons);
}

TWarningOutcome HandleWarning(TPGWarningAction action, const TQuestionHandler& handler,
                              const std::string& caption, const std::string& text) {
  switch (action) {
    case pgwaIgnore:
      return TWarningOutcome::Continue;
    case pgwaOKBox:
      AskQuestion(handler, caption, text, TQuestionButtons::OK);
      return TWarningOutcome::Continue;
    case pgwaOKCancelBox:
      return AskQuestion(handler, caption, text, TQuestionButtons::OKCancel) == TQuestionAnswer::OK
                 ? TWarningOutcome::Continue
                 : TWarningOutcome::Cancelled;
    case pgwaRaise:
      break;
  }
  return TWarningOutcome::Raise;
}

}  // namespace pg
