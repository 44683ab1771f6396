// Undo and redo of edits: each step records the two split lists (and the slices' properties) as
// they stood before it, the name
// the Edit menu shows for it ("Divide", "Move Line") and, for an edit of something besides the
// grid (the picture's colours), what the step exchanges. Plain C++, so that the step rules are
// checked without a window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "workspace/slice_properties.h"

namespace tessel {

struct TGridSnapshot {
  std::vector<int32_t> Horizontal;
  std::vector<int32_t> Vertical;
  // The slices' properties as they belong to this grid.
  TSliceTable Slices = {};
  bool operator==(const TGridSnapshot&) const = default;
};

// What a step keeps besides the grid. Undo and redo hand it to whoever made it, who exchanges its
// contents with the present state, so one object serves both directions.
class THistoryPayload {
 public:
  virtual ~THistoryPayload() = default;
  // Memory it holds, counted against the history's budget.
  virtual size_t Bytes() const = 0;
};

struct THistoryStep {
  TGridSnapshot Grid;
  std::string Label;
  std::shared_ptr<THistoryPayload> Payload;
};

class TGridHistory {
 public:
  // 256 MiB: three steps of a 6000 x 4000 true-colour picture.
  static constexpr size_t kDefaultPayloadBudget = size_t{256} << 20;

  // At most `limit` steps back; payloads together at most `payloadBudget` bytes, except that the
  // newest step always stays (older steps are forgotten to make room).
  explicit TGridHistory(size_t limit = 200, size_t payloadBudget = kDefaultPayloadBudget)
      : limit_(limit), payloadBudget_(payloadBudget) {}

  // Records `before` as the state an Undo returns to, and forgets what could be redone.
  void Record(const TGridSnapshot& before, std::string label = {},
              std::shared_ptr<THistoryPayload> payload = {});
  // Drops the last record (an edit that turned out to change nothing).
  void DropLast();
  bool CanUndo() const { return !undo_.empty(); }
  bool CanRedo() const { return !redo_.empty(); }
  // The names of the steps Undo and Redo would take (empty when there is none).
  std::string UndoLabel() const { return undo_.empty() ? std::string() : undo_.back().Label; }
  std::string RedoLabel() const { return redo_.empty() ? std::string() : redo_.back().Label; }
  // Returns the step to take back; `current` becomes the redo step. Only when CanUndo.
  THistoryStep Undo(const TGridSnapshot& current);
  // Returns the step to take again; `current` becomes the undo step. Only when CanRedo.
  THistoryStep Redo(const TGridSnapshot& current);
  void Clear();
  // Bytes held by the payloads of both directions.
  size_t PayloadBytes() const;
  // Changes with every record, undo, redo and clear: tells whether anything happened in between.
  uint64_t Serial() const { return serial_; }

 private:
  size_t limit_;
  size_t payloadBudget_;
  std::vector<THistoryStep> undo_;
  std::vector<THistoryStep> redo_;
  uint64_t serial_ = 0;
};

}  // namespace tessel
