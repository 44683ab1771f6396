// TSplitEditor: editing the split grid, free of any toolkit. It holds the grid, the size of the
// image the grid lies over (the editing paths check positions against it), the chosen tool, the
// line tools' drag (pick up, rubber band, drop) and the undo history of grid edits. A window turns
// its mouse, key and menu events into these calls, in image pixels, and redraws what they changed.
#pragma once

#include <cstdint>
#include <functional>

#include "workspace/grid_history.h"
#include "workspace/split_grid.h"

namespace tessel {

// The four split tools, in the order of their buttons.
enum class TSplitTool { Vertical, Horizontal, Rectangle, Cross };
// A line tool drag under way.
enum class TDragState { None, Horizontal, Vertical };
// The pointer the line tools show over the picture.
enum class TSplitPointer { Arrow, UpDown, LeftRight };
// The mouse button of a press or release.
enum class TSplitButton { Left, Right, Middle };

// The line a drag carries, drawn over the picture until the drop: its kind and position (image
// pixels); Kind None while no drag is under way.
struct TRubberBand {
  TSplitKind Kind = TSplitKind::None;
  int32_t Position = -1;
  friend bool operator==(const TRubberBand&, const TRubberBand&) = default;
};

class TSplitEditor {
 public:
  explicit TSplitEditor(size_t historyLimit = 200) : history_(historyLimit) {}

  // ---- The grid and the image it lies over ------------------------------------------------
  const TSplitGrid& Grid() const { return grid_; }
  // Direct access, outside the undo history; edits the user can take back go through Edit.
  TSplitGrid& Grid() { return grid_; }
  int32_t ImageWidth() const { return width_; }
  int32_t ImageHeight() const { return height_; }
  // The picture changed size in place (the grid stays as it is).
  void SetImageSize(int32_t width, int32_t height);
  // A new picture: the grid is reset to its edges, the drag ends and the history is forgotten
  // (edits of another picture do not apply to this one).
  void NewImage(int32_t width, int32_t height);

  // ---- Edits ----------------------------------------------------------------------------------
  // Each is one undo step when it changes the grid, and returns whether it did.
  // Runs `edit` on the grid as one step (loading a grid file, sorting by the export). An edit
  // that throws records nothing; it is expected to leave the grid as it was.
  bool Edit(const std::function<void(TSplitGrid&)>& edit);
  // "Clear Splits": the grid reset to the image's edges.
  bool ClearSplits();
  // "Add Splitline": a typed position, 0 <= value <= height (horizontal) or width (vertical).
  bool AddByNumber(TSplitKind kind, int32_t value);
  // "Divide": equal columns and rows, positions already present not repeated.
  bool Divide(int32_t columns, int32_t rows);
  // Releases on the rulers over image column x (top ruler) or row y (left ruler).
  bool AddFromTopRuler(int32_t x);
  bool AddFromLeftRuler(int32_t y);
  // Not while a drag is under way.
  bool CanUndo() const { return drag_ == TDragState::None && history_.CanUndo(); }
  bool CanRedo() const { return drag_ == TDragState::None && history_.CanRedo(); }
  bool Undo();
  bool Redo();

  // ---- Tools and the pointer over the picture (image pixels) -------------------------------
  TSplitTool Tool() const { return tool_; }
  void SetTool(TSplitTool tool) { tool_ = tool; }
  bool LineTool() const { return tool_ == TSplitTool::Vertical || tool_ == TSplitTool::Horizontal; }
  // How far (image pixels) the pointer may be from a split to grab it; 0, the default, means
  // exactly on it.
  int32_t GrabTolerance() const { return tolerance_; }
  void SetGrabTolerance(int32_t pixels) { tolerance_ = pixels < 0 ? 0 : pixels; }
  // The split under the pointer, within the grab tolerance (horizontal list first).
  TSplitHit HitTest(int32_t x, int32_t y) const { return grid_.HitTest(x, y, tolerance_); }
  TSplitPointer Pointer() const { return pointer_; }
  TDragState DragState() const { return drag_; }
  TRubberBand RubberBand() const;

  // The pointer moved over the picture. Line tools without a drag: the pointer shows whether a
  // split lies under it; during a drag the rubber band follows. Other tools: the arrow.
  void PointerMove(int32_t x, int32_t y);
  // The pointer is where the line tools do nothing (beside the picture, over the rulers): the
  // arrow, unless a drag is under way.
  void PointerAway();
  // A button went down over the picture; only the line tools react. The right button switches
  // between the two line tools; the left one picks up the split under the pointer or starts a
  // new line of the tool's kind. Returns whether a drag started.
  bool PointerPress(TSplitButton button, int32_t x, int32_t y);
  // A button went up over the picture. A drag ends: its line is added at (x, y) unless one is
  // there already or the position lies beyond the picture (then a picked-up line is gone). The
  // cross tool adds both lines at a left release inside the picture. Returns whether the grid
  // changed.
  bool PointerRelease(TSplitButton button, int32_t x, int32_t y);
  // The view finished a selection rectangle. The rectangle tool adds its four edges; returns
  // whether the tool wants the rectangle removed from the view (rectangle and cross tool).
  bool SelectionMade(int32_t left, int32_t top, int32_t width, int32_t height);

 private:
  TGridSnapshot Snapshot() const;
  void Restore(const TGridSnapshot& snapshot);
  void EndDrag();

  TSplitGrid grid_;
  TGridHistory history_;
  int32_t width_ = 0;
  int32_t height_ = 0;
  TSplitTool tool_ = TSplitTool::Vertical;
  TSplitPointer pointer_ = TSplitPointer::Arrow;
  TDragState drag_ = TDragState::None;
  int32_t bandPosition_ = -1;
  int32_t tolerance_ = 0;
  TGridSnapshot dragBefore_;
};

}  // namespace tessel
