#include "workspace/grid_history.h"

#include <utility>

namespace tessel {

namespace {

size_t Bytes(const std::vector<THistoryStep>& steps) {
  size_t total = 0;
  for (const THistoryStep& step : steps) {
    if (step.Payload) total += step.Payload->Bytes();
  }
  return total;
}

}  // namespace

void TGridHistory::Record(const TGridSnapshot& before, std::string label,
                          std::shared_ptr<THistoryPayload> payload) {
  ++serial_;
  redo_.clear();
  undo_.push_back({before, std::move(label), std::move(payload)});
  if (undo_.size() > limit_) undo_.erase(undo_.begin());
  // Steps older than one that cannot be kept are of no use (undo could not get past it), so the
  // oldest go first until the rest fits.
  size_t total = PayloadBytes();
  size_t drop = 0;
  while (total > payloadBudget_ && drop + 1 < undo_.size()) {
    if (undo_[drop].Payload) total -= undo_[drop].Payload->Bytes();
    ++drop;
  }
  undo_.erase(undo_.begin(), undo_.begin() + static_cast<std::ptrdiff_t>(drop));
}

void TGridHistory::DropLast() {
  if (!undo_.empty()) undo_.pop_back();
  ++serial_;
}

THistoryStep TGridHistory::Undo(const TGridSnapshot& current) {
  THistoryStep step = std::move(undo_.back());
  undo_.pop_back();
  redo_.push_back({current, step.Label, step.Payload});
  ++serial_;
  return step;
}

THistoryStep TGridHistory::Redo(const TGridSnapshot& current) {
  THistoryStep step = std::move(redo_.back());
  redo_.pop_back();
  undo_.push_back({current, step.Label, step.Payload});
  ++serial_;
  return step;
}

void TGridHistory::Clear() {
  undo_.clear();
  redo_.clear();
  ++serial_;
}

size_t TGridHistory::PayloadBytes() const {
  return Bytes(undo_) + Bytes(redo_);
}

}  // namespace tessel
