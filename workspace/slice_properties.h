// What a slice carries besides its rectangle: a link, its target frame, an ALT text and an optional
// format of its own. Slices are the cells of the sorted grid, named by column and row from 1, the
// way the export numbers them. When split lines are added, removed or moved, the properties follow
// their cell where that is unambiguous: a cell that is split keeps them on its top-left part, cells
// that are merged keep those of the first (top-left) one, and a cell whose edge moved keeps them.
#pragma once

#include <compare>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "workspace/split_grid.h"

namespace tessel {

struct TSliceProperties {
  std::string Url;     // the link; empty for none
  std::string Target;  // the link's target frame; used only with a link
  std::string Alt;     // the ALT text; empty for none
  std::string Format;  // a slice format's name ("png"); empty: the export's format

  bool Empty() const { return Url.empty() && Target.empty() && Alt.empty() && Format.empty(); }
  friend bool operator==(const TSliceProperties&, const TSliceProperties&) = default;
};

// A cell of the sorted grid: column and row, both from 1.
struct TSliceKey {
  int32_t Column = 0;
  int32_t Row = 0;
  friend auto operator<=>(const TSliceKey&, const TSliceKey&) = default;
};

// The grid with both lists sorted, as the export cuts it and the window numbers its slices.
class TSortedGrid {
 public:
  explicit TSortedGrid(const TSplitGrid& grid);

  int32_t ColumnCount() const { return grid_.ColumnCount(); }
  int32_t RowCount() const { return grid_.RowCount(); }
  bool Contains(const TSliceKey& key) const {
    return key.Column >= 1 && key.Row >= 1 && key.Column <= ColumnCount() && key.Row <= RowCount();
  }
  // The cell of a key that Contains.
  TGridCell Cell(const TSliceKey& key) const { return grid_.Cell(key.Column, key.Row); }
  // The cell holding pixel (x, y); none beside the grid. Cells of width or height 0 hold no pixel.
  std::optional<TSliceKey> SliceAt(int32_t x, int32_t y) const;
  const TSplitGrid& Grid() const { return grid_; }

 private:
  TSplitGrid grid_;
};

// Where each column (or row) of a sorted list of splits went when the list became `after`: entry
// i - 1 is the new number of old column i, or 0 when it is gone. `before` and `after` are sorted.
// One line moved (one position replaced by another, with no other line between them) keeps every
// column; otherwise a column survives where its left (top) edge is still there.
std::vector<int32_t> FollowSplits(const std::vector<int32_t>& before, const std::vector<int32_t>& after);

// Where the cells of a grid went when it changed from `before` to `after` (lists in any order).
class TCellMap {
 public:
  TCellMap(const TSplitGrid& before, const TSplitGrid& after);
  // The cell's key in the changed grid; none when the cell is gone.
  std::optional<TSliceKey> Map(const TSliceKey& key) const;

 private:
  std::vector<int32_t> columns_;
  std::vector<int32_t> rows_;
};

// The properties of the slices that have any, by cell.
class TSliceTable {
 public:
  // The slice's properties; empty ones for a slice that has none.
  const TSliceProperties& Get(const TSliceKey& key) const;
  // Stores `properties`; empty ones remove the entry.
  void Set(const TSliceKey& key, const TSliceProperties& properties);
  void Clear() { entries_.clear(); }
  bool Empty() const { return entries_.empty(); }
  const std::map<TSliceKey, TSliceProperties>& Entries() const { return entries_; }

  // The grid changed: the properties move to the cells they now belong to; those of cells that
  // are gone are dropped.
  void Follow(const TCellMap& map);

  friend bool operator==(const TSliceTable&, const TSliceTable&) = default;

 private:
  std::map<TSliceKey, TSliceProperties> entries_;
};

}  // namespace tessel
