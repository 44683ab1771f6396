#include "workspace/split_editor.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

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
  selected_ = {};
  slices_.Clear();
  slicesGrid_ = grid_;
  selectedSlice_.reset();
}

TGridSnapshot TSplitEditor::Snapshot() const {
  FollowGrid();
  return {grid_.HorizontalSplits.Values(), grid_.VerticalSplits.Values(), slices_};
}

void TSplitEditor::Restore(const TGridSnapshot& snapshot) {
  grid_.HorizontalSplits.Assign(snapshot.Horizontal);
  grid_.VerticalSplits.Assign(snapshot.Vertical);
  slices_ = snapshot.Slices;
  slicesGrid_ = grid_;
  if (selectedSlice_ && !TSortedGrid(grid_).Contains(*selectedSlice_)) selectedSlice_.reset();
}

void TSplitEditor::FollowGrid() const {
  if (drag_ != TDragState::None || slicesGrid_ == grid_) return;
  const TCellMap map(slicesGrid_, grid_);
  slices_.Follow(map);
  if (selectedSlice_) selectedSlice_ = map.Map(*selectedSlice_);
  slicesGrid_ = grid_;
}

// ---- Slices -------------------------------------------------------------------------------------

const TSliceTable& TSplitEditor::Slices() const {
  FollowGrid();
  return slices_;
}

bool TSplitEditor::SetSliceProperties(const TSliceKey& key, const TSliceProperties& properties) {
  if (drag_ != TDragState::None || !TSortedGrid(grid_).Contains(key)) return false;
  const TGridSnapshot before = Snapshot();
  if (slices_.Get(key) == properties) return false;
  slices_.Set(key, properties);
  // Typing into a field changes the slice at every key; all of it is one step.
  if (history_.Serial() != sliceSerial_ || !(key == editedSlice_) || !history_.CanUndo())
    Record(before, step::kSliceProperties);
  sliceSerial_ = history_.Serial();
  editedSlice_ = key;
  return true;
}

bool TSplitEditor::SetSlices(const TSliceTable& slices, const std::string& label) {
  if (drag_ != TDragState::None) return false;
  const TGridSnapshot before = Snapshot();
  if (slices_ == slices) return false;
  slices_ = slices;
  Record(before, label);
  return true;
}

void TSplitEditor::LoadState(const TSplitGrid& grid, const TSliceTable& slices) {
  EndDrag();
  grid_ = grid;
  slices_ = slices;
  slicesGrid_ = grid_;
  selected_ = {};
  selectedSlice_.reset();
  history_.Clear();
}

std::optional<TSliceKey> TSplitEditor::SelectedSlice() const {
  FollowGrid();
  return selectedSlice_;
}

void TSplitEditor::SelectSlice(std::optional<TSliceKey> key) {
  FollowGrid();
  selectedSlice_ = key && TSortedGrid(grid_).Contains(*key) ? key : std::nullopt;
}

bool TSplitEditor::SelectSliceAt(int32_t x, int32_t y) {
  const std::optional<TSliceKey> before = SelectedSlice();
  selectedSlice_ = TSortedGrid(grid_).SliceAt(x, y);
  return selectedSlice_ != before;
}

void TSplitEditor::Record(const TGridSnapshot& before, const std::string& label) {
  history_.Record(before, label);
}

TIntegerList* TSplitEditor::ListOf(TSplitKind kind) {
  switch (kind) {
    case TSplitKind::Horizontal:
      return &grid_.HorizontalSplits;
    case TSplitKind::Vertical:
      return &grid_.VerticalSplits;
    case TSplitKind::None:
      break;
  }
  return nullptr;
}

bool TSplitEditor::Edit(const std::function<void(TSplitGrid&)>& edit, const std::string& label) {
  TGridSnapshot before = Snapshot();
  edit(grid_);
  if (Snapshot() == before) return false;
  Record(before, label);
  return true;
}

bool TSplitEditor::RecordStep(const std::string& label, std::shared_ptr<THistoryPayload> payload) {
  if (drag_ != TDragState::None) return false;
  history_.Record(Snapshot(), label, std::move(payload));
  return true;
}

bool TSplitEditor::ClearSplits() {
  return Edit([this](TSplitGrid& grid) { grid.ResetGrid(width_, height_); }, step::kClearSplits);
}

bool TSplitEditor::AddByNumber(TSplitKind kind, int32_t value) {
  if (kind == TSplitKind::Horizontal) {
    return Edit([&](TSplitGrid& grid) { grid.AddHorizontalByNumber(value, height_); }, step::kAddLine);
  }
  if (kind == TSplitKind::Vertical) {
    return Edit([&](TSplitGrid& grid) { grid.AddVerticalByNumber(value, width_); }, step::kAddLine);
  }
  return false;
}

TSplitGrid TSplitEditor::DivideResult(int32_t columns, int32_t rows, bool replace) const {
  TSplitGrid result = grid_;
  if (columns < 1 || rows < 1) return result;
  if (replace) result.ResetGrid(width_, height_);
  result.Divide(columns, rows, width_, height_);
  return result;
}

bool TSplitEditor::Divide(int32_t columns, int32_t rows, bool replace) {
  return Edit([&](TSplitGrid& grid) { grid = DivideResult(columns, rows, replace); }, step::kDivide);
}

bool TSplitEditor::AddFromTopRuler(int32_t x) {
  return Edit([&](TSplitGrid& grid) { grid.AddFromTopRuler(x, width_); }, step::kAddLine);
}

bool TSplitEditor::AddFromLeftRuler(int32_t y) {
  return Edit([&](TSplitGrid& grid) { grid.AddFromLeftRuler(y, height_); }, step::kAddLine);
}

bool TSplitEditor::Undo(const std::function<void(THistoryPayload&)>& exchange) {
  if (!CanUndo()) return false;
  const THistoryStep step = history_.Undo(Snapshot());
  Restore(step.Grid);
  if (step.Payload && exchange) exchange(*step.Payload);
  return true;
}

bool TSplitEditor::Redo(const std::function<void(THistoryPayload&)>& exchange) {
  if (!CanRedo()) return false;
  const THistoryStep step = history_.Redo(Snapshot());
  Restore(step.Grid);
  if (step.Payload && exchange) exchange(*step.Payload);
  return true;
}

// ---- The selected line ------------------------------------------------------------------------

TSelectedLine TSplitEditor::SelectedLine() const {
  const TIntegerList* list = selected_.Kind == TSplitKind::Horizontal ? &grid_.HorizontalSplits
                             : selected_.Kind == TSplitKind::Vertical ? &grid_.VerticalSplits
                                                                      : nullptr;
  if (list == nullptr || !list->Contains(selected_.Position)) return {};
  return selected_;
}

bool TSplitEditor::MoveSelectedLine(int32_t delta) {
  const TSelectedLine line = SelectedLine();
  if (line.Kind == TSplitKind::None || drag_ != TDragState::None || delta == 0) return false;
  const int64_t wanted = static_cast<int64_t>(line.Position) + delta;
  const auto target = static_cast<int32_t>(std::clamp<int64_t>(wanted, 0, Extent(line.Kind)));
  if (target == line.Position) return false;
  const TGridSnapshot before = Snapshot();
  TIntegerList* list = ListOf(line.Kind);
  const int32_t index = list->IndexOf(line.Position);
  std::vector<int32_t> values = list->Values();
  if (list->Contains(target)) {
    // Onto another line: the two are one, as when a dragged line is dropped there.
    values.erase(values.begin() + index);
  } else {
    values[static_cast<size_t>(index)] = target;  // keeps its place in the list
  }
  list->Assign(std::move(values));
  selected_.Position = target;
  // Holding an arrow key makes one step of all its moves.
  if (history_.Serial() != moveSerial_ || !(line == movedLine_) || !history_.CanUndo())
    Record(before, step::kMoveLine);
  moveSerial_ = history_.Serial();
  movedLine_ = selected_;
  return true;
}

bool TSplitEditor::DeleteSelectedLine() {
  const TSelectedLine line = SelectedLine();
  if (line.Kind == TSplitKind::None || drag_ != TDragState::None) return false;
  const TGridSnapshot before = Snapshot();
  TIntegerList* list = ListOf(line.Kind);
  list->Delete(list->IndexOf(line.Position));
  selected_ = {};
  Record(before, step::kDeleteLine);
  return true;
}

// ---- Snapping ---------------------------------------------------------------------------------

int32_t TSplitEditor::Snap(TSplitKind kind, int32_t position) const {
  if (!snapping_ || kind == TSplitKind::None) return position;
  const int32_t extent = Extent(kind);
  int64_t best = position;
  int64_t bestDistance = static_cast<int64_t>(snapDistance_) + 1;
  auto consider = [&](int64_t candidate) {
    const int64_t distance = std::llabs(candidate - position);
    if (distance < bestDistance) {
      best = candidate;
      bestDistance = distance;
    }
  };
  // Lines and edges first, so that they win over a step position as near.
  const TIntegerList& list = kind == TSplitKind::Horizontal ? grid_.HorizontalSplits : grid_.VerticalSplits;
  for (int32_t value : list.Values()) consider(value);
  consider(0);
  consider(extent);
  if (snapStep_ > 0) {
    const int64_t below = position >= 0
                              ? position / snapStep_ * snapStep_
                              : -((-static_cast<int64_t>(position) + snapStep_ - 1) / snapStep_) * snapStep_;
    // Only step positions on the picture: past an edge the edge is the nearer one anyway.
    for (int64_t candidate : {below, below + snapStep_}) {
      if (candidate >= 0 && candidate <= extent) consider(candidate);
    }
  }
  return static_cast<int32_t>(best);
}

// ---- Pointer ------------------------------------------------------------------------------------

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
      bandPosition_ = DragPosition(y);
      break;
    case TDragState::Vertical:
      bandPosition_ = DragPosition(x);
      break;
  }
}

int32_t TSplitEditor::DragPosition(int32_t pointer) const {
  const TSplitKind kind = drag_ == TDragState::Horizontal ? TSplitKind::Horizontal : TSplitKind::Vertical;
  const int64_t at = static_cast<int64_t>(pointer) + grabOffset_;
  return Snap(kind, static_cast<int32_t>(std::clamp<int64_t>(at, INT32_MIN, INT32_MAX)));
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
  const TSplitHit hit = HitTest(x, y);
  TSplitKind kind = hit.Kind;
  dragPickedUp_ = kind != TSplitKind::None;
  if (!dragPickedUp_) kind = tool_ == TSplitTool::Horizontal ? TSplitKind::Horizontal : TSplitKind::Vertical;
  const int32_t pointer = kind == TSplitKind::Horizontal ? y : x;
  grabOffset_ = 0;
  if (dragPickedUp_) {
    TIntegerList* list = ListOf(kind);
    selected_ = {kind, (*list)[hit.Index]};
    // A line grabbed beside it (within the grab tolerance) keeps its distance to the pointer,
    // so a click leaves it where it was.
    grabOffset_ = static_cast<int64_t>(selected_.Position) - pointer;
    grid_.RemoveAt(*list, hit.Index);
  }
  drag_ = kind == TSplitKind::Horizontal ? TDragState::Horizontal : TDragState::Vertical;
  pointer_ = kind == TSplitKind::Horizontal ? TSplitPointer::UpDown : TSplitPointer::LeftRight;
  bandPosition_ = dragPickedUp_ ? selected_.Position : DragPosition(pointer);
  return true;
}

bool TSplitEditor::PointerRelease(TSplitButton button, int32_t x, int32_t y) {
  if (tool_ == TSplitTool::Cross) {
    // Like the rectangle tool, the cross tool ignores other buttons.
    if (button != TSplitButton::Left) return false;
    const int32_t sx = Snap(TSplitKind::Vertical, x);
    const int32_t sy = Snap(TSplitKind::Horizontal, y);
    return Edit([&](TSplitGrid& grid) { grid.AddCross(sx, sy, width_, height_); }, step::kCross);
  }
  if (tool_ == TSplitTool::Rectangle) return false;
  bool changed = false;
  if (drag_ != TDragState::None) {
    const TSplitKind kind = drag_ == TDragState::Horizontal ? TSplitKind::Horizontal : TSplitKind::Vertical;
    const int32_t at = DragPosition(kind == TSplitKind::Horizontal ? y : x);
    const bool inside = at >= 0 && at <= Extent(kind);
    if (dragPickedUp_ && at == selected_.Position) {
      Restore(dragBefore_);  // a click on a line leaves it where it was, also in its list
    } else if (kind == TSplitKind::Horizontal) {
      grid_.DropHorizontal(at, height_);
    } else {
      grid_.DropVertical(at, width_);
    }
    // The dropped line is the selected one; one dropped past the edge is gone.
    selected_ = inside ? TSelectedLine{kind, at} : TSelectedLine{};
    // Pick-up and drop together are one step.
    if (!(Snapshot() == dragBefore_)) {
      Record(dragBefore_, !dragPickedUp_ ? step::kAddLine : inside ? step::kMoveLine : step::kDeleteLine);
      changed = true;
    }
  }
  EndDrag();
  FollowGrid();
  return changed;
}

bool TSplitEditor::SelectionMade(int32_t left, int32_t top, int32_t width, int32_t height, bool clicked) {
  if (tool_ == TSplitTool::Rectangle && !clicked && !(width == 1 && height == 1)) {
    Edit([&](TSplitGrid& grid) { grid.AddRectangle(left, top, width, height, width_, height_); },
         step::kRectangle);
  }
  return tool_ == TSplitTool::Rectangle || tool_ == TSplitTool::Cross;
}

void TSplitEditor::EndDrag() {
  drag_ = TDragState::None;
  bandPosition_ = -1;
  pointer_ = TSplitPointer::Arrow;
  dragBefore_ = {};
  dragPickedUp_ = false;
  grabOffset_ = 0;
}

}  // namespace tessel
