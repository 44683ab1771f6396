#include "workspace/split_grid.h"

#include <cstdlib>

namespace tessel {

namespace {

bool InRange(int32_t value, int32_t low, int32_t high) {
  return value >= low && value <= high;
}

// The entry nearest to `value` within `tolerance`, the first of equally near ones; -1 if none.
int32_t Nearest(const TIntegerList& list, int32_t value, int32_t tolerance) {
  if (tolerance <= 0) return list.IndexOf(value);
  int32_t best = -1;
  int64_t bestDistance = 0;
  for (int32_t i = 0; i < list.Count(); ++i) {
    const int64_t distance = std::llabs(static_cast<int64_t>(list[i]) - value);
    if (distance <= tolerance && (best < 0 || distance < bestDistance)) {
      best = i;
      bestDistance = distance;
    }
  }
  return best;
}

// Adds position i * size / count for i = 1 .. count - 1 unless present; true when one was added.
bool AddEqualParts(TIntegerList& list, int32_t count, int32_t size) {
  bool added = false;
  for (int32_t i = 1; i < count; ++i) {
    const auto at = static_cast<int32_t>(static_cast<int64_t>(i) * size / count);
    if (list.Contains(at)) continue;
    list.Add(at);
    added = true;
  }
  return added;
}

}  // namespace

void TSplitGrid::ResetGrid(int32_t width, int32_t height) {
  Clear();
  VerticalSplits.Add(0);
  VerticalSplits.Add(width);
  HorizontalSplits.Add(0);
  HorizontalSplits.Add(height);
}

void TSplitGrid::Clear() {
  VerticalSplits.Clear();
  HorizontalSplits.Clear();
}

void TSplitGrid::SortSplits() {
  VerticalSplits.Sort();
  HorizontalSplits.Sort();
}

TGridCell TSplitGrid::Cell(int32_t column, int32_t row) const {
  TGridCell cell;
  cell.Column = column;
  cell.Row = row;
  cell.Number = static_cast<int64_t>(row - 1) * ColumnCount() + column;
  cell.Left = VerticalSplits[column - 1];
  cell.Top = HorizontalSplits[row - 1];
  // 64-bit differences: positions from a grid file may be negative, and the lists need not be sorted.
  cell.Width = static_cast<int32_t>(static_cast<int64_t>(VerticalSplits[column]) - cell.Left);
  cell.Height = static_cast<int32_t>(static_cast<int64_t>(HorizontalSplits[row]) - cell.Top);
  return cell;
}

TGridCell TSplitGrid::CellAt(int64_t index) const {
  const int32_t columns = ColumnCount();
  return Cell(static_cast<int32_t>(index % columns) + 1, static_cast<int32_t>(index / columns) + 1);
}

void TSplitGrid::ForEachCell(const std::function<void(const TGridCell&)>& visit) const {
  const int32_t rows = RowCount();
  const int32_t columns = ColumnCount();
  for (int32_t r = 1; r <= rows; ++r) {
    for (int32_t c = 1; c <= columns; ++c) visit(Cell(c, r));
  }
}

bool TSplitGrid::AddHorizontalByNumber(int32_t y, int32_t height) {
  if (!InRange(y, 0, height)) return false;
  HorizontalSplits.Add(y);
  return true;
}

bool TSplitGrid::AddVerticalByNumber(int32_t x, int32_t width) {
  if (!InRange(x, 0, width)) return false;
  VerticalSplits.Add(x);
  return true;
}

bool TSplitGrid::AddRectangle(int32_t left, int32_t top, int32_t width, int32_t height, int32_t imageWidth,
                              int32_t imageHeight) {
  const int64_t right = static_cast<int64_t>(left) + width;
  const int64_t bottom = static_cast<int64_t>(top) + height;
  if (left < 0 || top < 0 || width < 0 || height < 0 || right > imageWidth || bottom > imageHeight)
    return false;
  VerticalSplits.Add(left);
  HorizontalSplits.Add(top);
  VerticalSplits.Add(static_cast<int32_t>(right));
  HorizontalSplits.Add(static_cast<int32_t>(bottom));
  return true;
}

bool TSplitGrid::AddCross(int32_t x, int32_t y, int32_t imageWidth, int32_t imageHeight) {
  if (!InRange(x, 0, imageWidth) || !InRange(y, 0, imageHeight)) return false;
  HorizontalSplits.Add(y);
  VerticalSplits.Add(x);
  return true;
}

bool TSplitGrid::DropHorizontal(int32_t y, int32_t height) {
  if (!InRange(y, 0, height) || HorizontalSplits.Contains(y)) return false;
  HorizontalSplits.Add(y);
  return true;
}

bool TSplitGrid::DropVertical(int32_t x, int32_t width) {
  if (!InRange(x, 0, width) || VerticalSplits.Contains(x)) return false;
  VerticalSplits.Add(x);
  return true;
}

bool TSplitGrid::AddFromTopRuler(int32_t x, int32_t width) {
  if (!InRange(x, 1, width)) return false;
  VerticalSplits.Add(x);
  return true;
}

bool TSplitGrid::AddFromLeftRuler(int32_t y, int32_t height) {
  if (!InRange(y, 0, height)) return false;
  HorizontalSplits.Add(y);
  return true;
}

bool TSplitGrid::Divide(int32_t columns, int32_t rows, int32_t width, int32_t height) {
  if (columns < 1 || rows < 1) return false;
  const bool vertical = AddEqualParts(VerticalSplits, columns, width);
  const bool horizontal = AddEqualParts(HorizontalSplits, rows, height);
  return vertical || horizontal;
}

int32_t TSplitGrid::NearestHorizontal(int32_t y, int32_t tolerance) const {
  return Nearest(HorizontalSplits, y, tolerance);
}

int32_t TSplitGrid::NearestVertical(int32_t x, int32_t tolerance) const {
  return Nearest(VerticalSplits, x, tolerance);
}

TSplitHit TSplitGrid::HitTest(int32_t x, int32_t y, int32_t tolerance) const {
  const int32_t horizontal = NearestHorizontal(y, tolerance);
  const int32_t vertical = NearestVertical(x, tolerance);
  if (horizontal >= 0 && vertical >= 0) {
    // Near a crossing the nearer line is meant; exactly on both, the horizontal one.
    const int64_t dy = std::llabs(static_cast<int64_t>(HorizontalSplits[horizontal]) - y);
    const int64_t dx = std::llabs(static_cast<int64_t>(VerticalSplits[vertical]) - x);
    return dx < dy ? TSplitHit{TSplitKind::Vertical, vertical}
                   : TSplitHit{TSplitKind::Horizontal, horizontal};
  }
  if (horizontal >= 0) return {TSplitKind::Horizontal, horizontal};
  if (vertical >= 0) return {TSplitKind::Vertical, vertical};
  return {};
}

TSplitHit TSplitGrid::PickUp(int32_t x, int32_t y, int32_t tolerance) {
  const TSplitHit hit = HitTest(x, y, tolerance);
  if (hit.Kind == TSplitKind::Horizontal) RemoveAt(HorizontalSplits, hit.Index);
  if (hit.Kind == TSplitKind::Vertical) RemoveAt(VerticalSplits, hit.Index);
  return hit;
}

}  // namespace tessel
