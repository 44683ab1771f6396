#include "workspace/split_editor.h"

namespace tessel {

void TSplitEditor::SetImageSize(int32_t width, int32_t height) {
  width_ = width;
  height_ = height;
}

void TSplitEditor::NewImage(int32_t width, int32_t height) {
  SetImageSize(width, height);
  EndDrag();
  grid_.ResetGrid(width, height);
  history_.Clear();
}

TGridSnapshot TSplitEditor::Snapshot() const {
  return {grid_.HorizontalSplits.Values(), grid_.VerticalSplits.Values()};
}

void TSplitEditor::Restore(const TGridSnapshot& snapshot) {
  grid_.HorizontalSplits.Assign(snapshot.Horizontal);
  grid_.VerticalSplits.Assign(snapshot.Vertical);
}

bool TSplitEditor::Edit(const std::function<void(TSplitGrid&)>& edit) {
  TGridSnapshot before = Snapshot();
  edit(grid_);
  if (Snapshot() == before) return false;
  history_.Record(std::move(before));
  return true;
}

bool TSplitEditor::ClearSplits() {
  return Edit([this](TSplitGrid& grid) { grid.ResetGrid(width_, height_); });
}

bool TSplitEditor::AddByNumber(TSplitKind kind, int32_t value) {
  if (kind == TSplitKind::Horizontal) {
    return Edit([&](TSplitGrid& grid) { grid.AddHorizontalByNumber(value, height_); });
  }
  if (kind == TSplitKind::Vertical) {
    return Edit([&](TSplitGrid& grid) { grid.AddVerticalByNumber(value, width_); });
  }
  return false;
}

bool TSplitEditor::Divide(int32_t columns, int32_t rows) {
  return Edit([&](TSplitGrid& grid) { grid.Divide(columns, rows, width_, height_); });
}

bool TSplitEditor::AddFromTopRuler(int32_t x) {
  return Edit([&](TSplitGrid& grid) { grid.AddFromTopRuler(x, width_); });
}

bool TSplitEditor::AddFromLeftRuler(int32_t y) {
  return Edit([&](TSplitGrid& grid) { grid.AddFromLeftRuler(y, height_); });
}

bool TSplitEditor::Undo() {
  if (!CanUndo()) return false;
  Restore(history_.Undo(Snapshot()));
  return true;
}

bool TSplitEditor::Redo() {
  if (!CanRedo()) return false;
  Restore(history_.Redo(Snapshot()));
  return true;
}

TRubberBand TSplitEditor::RubberBand() const {
  switch (drag_) {
    case TDragState::Horizontal:
      return {TSplitKind::Horizontal, bandPosition_};
    case TDragState::Vertical:
      return {TSplitKind::Vertical, bandPosition_};
    case TDragState::None:
      break;
  }
  return {};
}

void TSplitEditor::PointerMove(int32_t x, int32_t y) {
  if (!LineTool()) {
    pointer_ = TSplitPointer::Arrow;
    return;
  }
  switch (drag_) {
    case TDragState::None:
      switch (HitTest(x, y).Kind) {
        case TSplitKind::Horizontal:
          pointer_ = TSplitPointer::UpDown;
          break;
        case TSplitKind::Vertical:
          pointer_ = TSplitPointer::LeftRight;
          break;
        case TSplitKind::None:
          pointer_ = TSplitPointer::Arrow;
          break;
      }
      break;
    case TDragState::Horizontal:
      bandPosition_ = y;
      break;
    case TDragState::Vertical:
      bandPosition_ = x;
      break;
  }
}

void TSplitEditor::PointerAway() {
  if (drag_ == TDragState::None) pointer_ = TSplitPointer::Arrow;
}

bool TSplitEditor::PointerPress(TSplitButton button, int32_t x, int32_t y) {
  if (!LineTool()) return false;
  if (button == TSplitButton::Right) {
    tool_ = tool_ == TSplitTool::Horizontal ? TSplitTool::Vertical : TSplitTool::Horizontal;
    return false;
  }
  if (button != TSplitButton::Left || drag_ != TDragState::None) return false;
  dragBefore_ = Snapshot();
  // The split under the pointer is taken off the grid; the drop puts it back where it lands.
  TSplitKind kind = grid_.PickUp(x, y, tolerance_).Kind;
  if (kind == TSplitKind::None) {
    kind = tool_ == TSplitTool::Horizontal ? TSplitKind::Horizontal : TSplitKind::Vertical;
  }
  if (kind == TSplitKind::Horizontal) {
    drag_ = TDragState::Horizontal;
    pointer_ = TSplitPointer::UpDown;
    bandPosition_ = y;
  } else {
    drag_ = TDragState::Vertical;
    pointer_ = TSplitPointer::LeftRight;
    bandPosition_ = x;
  }
  return true;
}

bool TSplitEditor::PointerRelease(TSplitButton button, int32_t x, int32_t y) {
  if (tool_ == TSplitTool::Cross) {
    // Like the rectangle tool, the cross tool ignores other buttons.
    if (button != TSplitButton::Left) return false;
    return Edit([&](TSplitGrid& grid) { grid.AddCross(x, y, width_, height_); });
  }
  if (tool_ == TSplitTool::Rectangle) return false;
  bool changed = false;
  if (drag_ != TDragState::None) {
    if (drag_ == TDragState::Horizontal) {
      grid_.DropHorizontal(y, height_);
    } else {
      grid_.DropVertical(x, width_);
    }
    // Pick-up and drop together are one step.
    if (!(Snapshot() == dragBefore_)) {
      history_.Record(dragBefore_);
      changed = true;
    }
  }
  EndDrag();
  return changed;
}

bool TSplitEditor::SelectionMade(int32_t left, int32_t top, int32_t width, int32_t height) {
  if (tool_ == TSplitTool::Rectangle) {
    Edit([&](TSplitGrid& grid) { grid.AddRectangle(left, top, width, height, width_, height_); });
  }
  return tool_ == TSplitTool::Rectangle || tool_ == TSplitTool::Cross;
}

void TSplitEditor::EndDrag() {
  drag_ = TDragState::None;
  bandPosition_ = -1;
  pointer_ = TSplitPointer::Arrow;
  dragBefore_ = {};
}

}  // namespace tessel
