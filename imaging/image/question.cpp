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

TQuestionAnswer AskQuestion(const std::string& caption, const std::string& text, TQuestionButtons buttons) {
  TQuestionHandler handler;
  {
    std::lock_guard<std::mutex> lock(gQuestionMutex);
    handler = gQuestionHandler;
  }
  if (!handler) return TQuestionAnswer::OK;
  return handler(caption, text, buttons);
}

}  // namespace pg
