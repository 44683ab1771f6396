// Undo and redo of grid edits: each editing step records the two split lists as they stood before
// it. Plain C++, so that the step rules are checked without a window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tessel {

struct TGridSnapshot {
  std::vector<int32_t> Horizontal;
  std::vector<int32_t> Vertical;
  bool operator==(const TGridSnapshot&) const = default;
};

class TGridHistory {
 public:
  explicit TGridHistory(size_t limit = 200) : limit_(limit) {}

  // Records `before` as the state an Undo returns to, and forgets what could be redone.
  void Record(const TGridSnapshot& before);
  // Drops the last record (an edit that turned out to change nothing).
  void DropLast();
  bool CanUndo() const { return !undo_.empty(); }
  bool CanRedo() const { return !redo_.empty(); }
  // Returns the state to restore; `current` becomes the redo step. Only when CanUndo.
  TGridSnapshot Undo(const TGridSnapshot& current);
  // Returns the state to restore; `current` becomes the undo step. Only when CanRedo.
  TGridSnapshot Redo(const TGridSnapshot& current);
  void Clear();

 private:
  size_t limit_;
  std::vector<TGridSnapshot> undo_;
  std::vector<TGridSnapshot> redo_;
};

}  // namespace tessel
