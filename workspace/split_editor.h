// TSplitEditor: editing the split grid, free of any toolkit. It holds the grid, the size of the
// image the grid lies over (the editing paths check positions against it), the chosen tool, the
// line tools' drag (pick up, rubber band, drop), the selected line, snapping, the slices' properties
// with the selected slice, and the undo history.
// A window turns its mouse, key and menu events into these calls, in image pixels, and redraws
// what they changed.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "workspace/grid_history.h"
#include "workspace/slice_properties.h"
#include "workspace/split_grid.h"

namespace tessel {

// The four split tools and the select tool, in the order of their buttons.
enum class TSplitTool { Vertical, Horizontal, Rectangle, Cross, Select };
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

// The line the keys act on: the one last grabbed or made with a line tool. Kind None when there is
// none.
struct TSelectedLine {
  TSplitKind Kind = TSplitKind::None;
  int32_t Position = -1;
  friend bool operator==(const TSelectedLine&, const TSelectedLine&) = default;
};

// The names of the undo steps, as the Edit menu shows them after "Undo " and "Redo ".
namespace step {
inline constexpr char kAddLine[] = "Add Line";
inline constexpr char kMoveLine[] = "Move Line";
inline constexpr char kDeleteLine[] = "Delete Line";
inline constexpr char kRectangle[] = "Rectangle";
inline constexpr char kCross[] = "Cross";
inline constexpr char kDivide[] = "Divide";
inline constexpr char kClearSplits[] = "Clear Splits";
inline constexpr char kEditGrid[] = "Edit Grid";
inline constexpr char kSliceProperties[] = "Slice Properties";
}  // namespace step

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
  // Runs `edit` on the grid as one step named `label` (loading a grid file, sorting by the
  // export). An edit that throws records nothing; it is expected to leave the grid as it was.
  bool Edit(const std::function<void(TSplitGrid&)>& edit, const std::string& label = step::kEditGrid);
  // Records a step that changed something besides the grid (the picture's colours): `payload`
  // holds what undo and redo exchange. Not while a drag is under way.
  bool RecordStep(const std::string& label, std::shared_ptr<THistoryPayload> payload);
  // "Clear Splits": the grid reset to the image's edges.
  bool ClearSplits();
  // "Add Splitline": a typed position, 0 <= value <= height (horizontal) or width (vertical).
  bool AddByNumber(TSplitKind kind, int32_t value);
  // "Divide": equal columns and rows, positions already present not repeated; `replace` first
  // takes the grid back to the picture's edges.
  bool Divide(int32_t columns, int32_t rows, bool replace = false);
  // The grid Divide would leave, for a preview.
  TSplitGrid DivideResult(int32_t columns, int32_t rows, bool replace) const;
  // Releases on the rulers over image column x (top ruler) or row y (left ruler).
  bool AddFromTopRuler(int32_t x);
  bool AddFromLeftRuler(int32_t y);
  // Not while a drag is under way.
  bool CanUndo() const { return drag_ == TDragState::None && history_.CanUndo(); }
  bool CanRedo() const { return drag_ == TDragState::None && history_.CanRedo(); }
  // The names of the steps undo and redo would take ("Divide"), empty when there is none.
  std::string UndoLabel() const { return history_.UndoLabel(); }
  std::string RedoLabel() const { return history_.RedoLabel(); }
  // A step with a payload calls `exchange` with it, to swap its contents with the present state.
  bool Undo(const std::function<void(THistoryPayload&)>& exchange = {});
  bool Redo(const std::function<void(THistoryPayload&)>& exchange = {});
  const TGridHistory& History() const { return history_; }

  // ---- The selected line ----------------------------------------------------------------------
  // None once the line is no longer on the grid.
  TSelectedLine SelectedLine() const;
  void SelectLine(TSplitKind kind, int32_t position) { selected_ = {kind, position}; }
  void ClearSelectedLine() { selected_ = {}; }
  // Moves the selected line by `delta` pixels, within the picture's edges; onto another line of
  // its kind it merges with it. Moves of one line in a row are one undo step.
  bool MoveSelectedLine(int32_t delta);
  bool DeleteSelectedLine();

  // ---- Slices ---------------------------------------------------------------------------------
  // Link, target, ALT text and format of the slices, by cell of the sorted grid. They follow their
  // cells through every change of the grid, however it was made (see TCellMap).
  const TSliceTable& Slices() const;
  // Sets one slice's properties as an undo step; changes of one slice in a row (typing) are one
  // step. Returns whether anything changed.
  bool SetSliceProperties(const TSliceKey& key, const TSliceProperties& properties);
  // Replaces every slice's properties as one undo step named `label` (the answers of the export's
  // questions).
  bool SetSlices(const TSliceTable& slices, const std::string& label = step::kSliceProperties);
  // A grid and its slices as the start of the history (a project just opened); nothing to undo.
  void LoadState(const TSplitGrid& grid, const TSliceTable& slices);
  // The slice the select tool chose; none when there is none. It follows its cell too.
  std::optional<TSliceKey> SelectedSlice() const;
  void SelectSlice(std::optional<TSliceKey> key);
  // The select tool's click on pixel (x, y): the slice there becomes the selected one (none beside
  // the grid). Returns whether the selection changed.
  bool SelectSliceAt(int32_t x, int32_t y);

  // ---- Snapping -------------------------------------------------------------------------------
  // While on, a line dragged or placed with the cross tool lands on the nearest other line of its
  // kind, picture edge or multiple of the snap step within the snap distance.
  bool Snapping() const { return snapping_; }
  void SetSnapping(bool on) { snapping_ = on; }
  // 0: no step.
  int32_t SnapStep() const { return snapStep_; }
  void SetSnapStep(int32_t pixels) { snapStep_ = pixels < 0 ? 0 : pixels; }
  // Image pixels.
  int32_t SnapDistance() const { return snapDistance_; }
  void SetSnapDistance(int32_t pixels) { snapDistance_ = pixels < 0 ? 0 : pixels; }
  // Where a line of `kind` placed at `position` lands.
  int32_t Snap(TSplitKind kind, int32_t position) const;

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
  // The view finished a selection rectangle. The rectangle tool adds its four edges, unless the
  // rectangle came from a click (`clicked`: the pointer hardly moved, or a 1 x 1 rectangle), which
  // would only make slices one pixel wide. Returns whether the tool wants the rectangle removed
  // from the view (rectangle and cross tool).
  bool SelectionMade(int32_t left, int32_t top, int32_t width, int32_t height, bool clicked = false);

 private:
  TGridSnapshot Snapshot() const;
  // Moves the slices' properties and the selected slice along to the grid as it is now. Not during
  // a drag: its pick-up and drop together are one change (a move keeps every cell).
  void FollowGrid() const;
  void Restore(const TGridSnapshot& snapshot);
  void EndDrag();
  // Where the dragged line is with the pointer at `pointer` (x or y), snapped.
  int32_t DragPosition(int32_t pointer) const;
  void Record(const TGridSnapshot& before, const std::string& label);
  TIntegerList* ListOf(TSplitKind kind);
  int32_t Extent(TSplitKind kind) const { return kind == TSplitKind::Horizontal ? height_ : width_; }

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
  TSelectedLine selected_;
  bool dragPickedUp_ = false;
  int64_t grabOffset_ = 0;  // line position minus pointer position of a grabbed line
  // The history's serial after the last key move, so that the next one joins its step.
  uint64_t moveSerial_ = 0;
  TSelectedLine movedLine_;
  bool snapping_ = false;
  int32_t snapStep_ = 0;
  int32_t snapDistance_ = 0;
  // The slices' properties and the grid they were last brought in line with; both catch up with
  // the grid when looked at, so every path that changes the grid is followed.
  mutable TSliceTable slices_;
  mutable TSplitGrid slicesGrid_;
  mutable std::optional<TSliceKey> selectedSlice_;
  // The history's serial after the last change of a slice's properties, and which slice it was.
  uint64_t sliceSerial_ = 0;
  TSliceKey editedSlice_;
};

}  // namespace tessel
