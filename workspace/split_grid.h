// TSplitGrid: the horizontal (y) and vertical (x) split positions laid over the open image, in
// image pixels. A position p is the boundary between pixel p-1 and pixel p, so 0..W and 0..H are
// valid, both ends included; the image edges are ordinary entries. The lists are kept in the order
// the positions were added; only SortSplits (run by the export) orders them.
#pragma once

#include <cstdint>
#include <functional>

#include "workspace/integer_list.h"

namespace tessel {

// One cell of the grid: column c and row r counted from 1, Number counted from 1 in enumeration
// order (rows outer, columns inner).
struct TGridCell {
  int32_t Column = 0;
  int32_t Row = 0;
  int64_t Number = 0;
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Width = 0;
  int32_t Height = 0;

  friend bool operator==(const TGridCell&, const TGridCell&) = default;
};

enum class TSplitKind { None, Horizontal, Vertical };

// A split under the pointer: its list and its index there.
struct TSplitHit {
  TSplitKind Kind = TSplitKind::None;
  int32_t Index = -1;
};

class TSplitGrid {
 public:
  TIntegerList HorizontalSplits;  // y positions
  TIntegerList VerticalSplits;    // x positions

  // Both lists cleared (vertical first), then [0, width] and [0, height].
  void ResetGrid(int32_t width, int32_t height);
  void Clear();

  // Plain appends; the editing paths below apply their own range and duplicate rules.
  void AddHorizontal(int32_t y) { HorizontalSplits.Add(y); }
  void AddVertical(int32_t x) { VerticalSplits.Add(x); }
  int32_t FindHorizontal(int32_t y) const { return HorizontalSplits.IndexOf(y); }
  int32_t FindVertical(int32_t x) const { return VerticalSplits.IndexOf(x); }
  void RemoveAt(TIntegerList& list, int32_t index) { list.Delete(index); }
  // Vertical list first, then horizontal; the order stays.
  void SortSplits();

  // ---- Cells ----------------------------------------------------------------------------------
  // Columns and rows in the lists' current order (an export sorts first). A list with fewer than
  // two entries gives none; equal neighbours give a column or row of size 0.
  int32_t ColumnCount() const { return VerticalSplits.Count() > 1 ? VerticalSplits.Count() - 1 : 0; }
  int32_t RowCount() const { return HorizontalSplits.Count() > 1 ? HorizontalSplits.Count() - 1 : 0; }
  int64_t CellCount() const { return static_cast<int64_t>(ColumnCount()) * RowCount(); }
  // Cell (column, row), both from 1; no range check beyond the lists' own.
  TGridCell Cell(int32_t column, int32_t row) const;
  // The index-th cell of the enumeration (0-based), rows outer and columns inner.
  TGridCell CellAt(int64_t index) const;
  // Calls `visit` for every cell, rows outer, columns inner.
  void ForEachCell(const std::function<void(const TGridCell&)>& visit) const;

  // ---- Editing paths: each takes the image size and applies its own range and duplicate rule.
  // Each returns true when something was added.
  // Menu "Add Splitline": 0 <= value <= height (or width); duplicates allowed.
  bool AddHorizontalByNumber(int32_t y, int32_t height);
  bool AddVerticalByNumber(int32_t x, int32_t width);
  // Rectangle tool: left, top, left + width, top + height, in that order, when the rectangle lies
  // inside the image; duplicates allowed.
  bool AddRectangle(int32_t left, int32_t top, int32_t width, int32_t height, int32_t imageWidth,
                    int32_t imageHeight);
  // Cross tool release: y to the horizontal list, then x to the vertical list, only when the
  // point lies inside 0..width x 0..height; duplicates allowed.
  bool AddCross(int32_t x, int32_t y, int32_t imageWidth, int32_t imageHeight);
  // Line tool drop: added only inside 0..height (or width) and only when not yet present, so a
  // line dropped onto another merges with it and one dropped past the edge is gone.
  bool DropHorizontal(int32_t y, int32_t height);
  bool DropVertical(int32_t x, int32_t width);
  // Release on the top ruler over image column x: a vertical split when 1 <= x <= width (the
  // ruler never adds one at the left edge).
  bool AddFromTopRuler(int32_t x, int32_t width);
  // Release on the left ruler over image row y: a horizontal split when 0 <= y <= height.
  bool AddFromLeftRuler(int32_t y, int32_t height);
  // "Divide": columns - 1 vertical splits at i * width / columns and rows - 1 horizontal ones at
  // j * height / rows (integer division), each added only when not present yet. Nothing for a
  // count below 1. True when something was added.
  bool Divide(int32_t columns, int32_t rows, int32_t width, int32_t height);

  // ---- Line tools -----------------------------------------------------------------------------
  // The split under the pointer: a split is under it when it lies at most `tolerance` pixels away
  // (0: exactly there); of several, the nearest, with the horizontal list (compared with y) before
  // the vertical one (compared with x) and the first in list order among equally near ones.
  TSplitHit HitTest(int32_t x, int32_t y, int32_t tolerance = 0) const;
  // Index of the horizontal (vertical) split nearest to y (x) within `tolerance`, or -1.
  int32_t NearestHorizontal(int32_t y, int32_t tolerance = 0) const;
  int32_t NearestVertical(int32_t x, int32_t tolerance = 0) const;
  // Removes the split HitTest finds, if any, and tells which list it came from; the drop later
  // adds it back with DropHorizontal/DropVertical.
  TSplitHit PickUp(int32_t x, int32_t y, int32_t tolerance = 0);

  friend bool operator==(const TSplitGrid&, const TSplitGrid&) = default;
};

}  // namespace tessel
