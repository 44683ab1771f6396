#include "workspace/grid_history.h"

#include <utility>

namespace tessel {

void TGridHistory::Record(const TGridSnapshot& before) {
  undo_.push_back(before);
  if (undo_.size() > limit_) undo_.erase(undo_.begin());
  redo_.clear();
}

void TGridHistory::DropLast() {
  if (!undo_.empty()) undo_.pop_back();
}

TGridSnapshot TGridHistory::Undo(const TGridSnapshot& current) {
  TGridSnapshot previous = std::move(undo_.back());
  undo_.pop_back();
  redo_.push_back(current);
  return previous;
}

TGridSnapshot TGridHistory::Redo(const TGridSnapshot& current) {
  TGridSnapshot next = std::move(redo_.back());
  redo_.pop_back();
  undo_.push_back(current);
  return next;
}

void TGridHistory::Clear() {
  undo_.clear();
  redo_.clear();
}

}  // namespace tessel
