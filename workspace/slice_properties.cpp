#include "workspace/slice_properties.h"

#include <algorithm>
#include <utility>

namespace tessel {

namespace {

std::vector<int32_t> Sorted(const TIntegerList& list) {
  std::vector<int32_t> values = list.Values();
  std::sort(values.begin(), values.end());
  return values;
}

TIntegerList SortedList(const TIntegerList& list) {
  TIntegerList sorted;
  sorted.Assign(Sorted(list));
  return sorted;
}

// The column (row) of a sorted list that holds position p, from 1; 0 when none does.
int32_t Holding(const TIntegerList& sorted, int32_t p) {
  const std::vector<int32_t>& values = sorted.Values();
  const auto index = static_cast<int32_t>(std::upper_bound(values.begin(), values.end(), p) - values.begin());
  return index >= 1 && index < sorted.Count() ? index : 0;
}

// A column's left edge told apart from equal positions before it: (position, how many equal ones
// come first).
std::pair<int32_t, size_t> EdgeKey(const std::vector<int32_t>& sorted, size_t index) {
  const auto first = std::lower_bound(sorted.begin(), sorted.end(), sorted[index]);
  return {sorted[index], index - static_cast<size_t>(first - sorted.begin())};
}

}  // namespace

TSortedGrid::TSortedGrid(const TSplitGrid& grid) {
  grid_.HorizontalSplits = SortedList(grid.HorizontalSplits);
  grid_.VerticalSplits = SortedList(grid.VerticalSplits);
}

std::optional<TSliceKey> TSortedGrid::SliceAt(int32_t x, int32_t y) const {
  const int32_t column = Holding(grid_.VerticalSplits, x);
  const int32_t row = Holding(grid_.HorizontalSplits, y);
  if (column == 0 || row == 0) return std::nullopt;
  return TSliceKey{column, row};
}

std::vector<int32_t> FollowSplits(const std::vector<int32_t>& before, const std::vector<int32_t>& after) {
  const size_t columns = before.size() > 1 ? before.size() - 1 : 0;
  std::vector<int32_t> map(columns, 0);
  if (columns == 0 || after.size() < 2) return map;
  if (before.size() == after.size()) {
    // Lists that differ in one place only: one line moved (or none), without passing another, so
    // every column is still there in the same order.
    size_t differences = 0;
    for (size_t i = 0; i < before.size(); ++i) differences += before[i] != after[i] ? 1 : 0;
    if (differences <= 1) {
      for (size_t i = 0; i < columns; ++i) map[i] = static_cast<int32_t>(i + 1);
      return map;
    }
  }
  // Otherwise a column lives on in the column that starts at its left edge: a split column on its
  // left part, merged columns in the first of them.
  std::map<std::pair<int32_t, size_t>, int32_t> starts;
  for (size_t i = 0; i + 1 < after.size(); ++i) starts[EdgeKey(after, i)] = static_cast<int32_t>(i + 1);
  for (size_t i = 0; i < columns; ++i) {
    const auto it = starts.find(EdgeKey(before, i));
    if (it != starts.end()) map[i] = it->second;
  }
  return map;
}

TCellMap::TCellMap(const TSplitGrid& before, const TSplitGrid& after)
    : columns_(FollowSplits(Sorted(before.VerticalSplits), Sorted(after.VerticalSplits))),
      rows_(FollowSplits(Sorted(before.HorizontalSplits), Sorted(after.HorizontalSplits))) {}

std::optional<TSliceKey> TCellMap::Map(const TSliceKey& key) const {
  if (key.Column < 1 || key.Row < 1 || static_cast<size_t>(key.Column) > columns_.size() ||
      static_cast<size_t>(key.Row) > rows_.size())
    return std::nullopt;
  const int32_t column = columns_[static_cast<size_t>(key.Column - 1)];
  const int32_t row = rows_[static_cast<size_t>(key.Row - 1)];
  if (column == 0 || row == 0) return std::nullopt;
  return TSliceKey{column, row};
}

const TSliceProperties& TSliceTable::Get(const TSliceKey& key) const {
  static const TSliceProperties kNone;
  const auto it = entries_.find(key);
  return it == entries_.end() ? kNone : it->second;
}

void TSliceTable::Set(const TSliceKey& key, const TSliceProperties& properties) {
  if (properties.Empty()) {
    entries_.erase(key);
  } else {
    entries_[key] = properties;
  }
}

void TSliceTable::Follow(const TCellMap& map) {
  std::map<TSliceKey, TSliceProperties> moved;
  for (auto& [key, properties] : entries_) {
    // The map is one to one, so no two entries land on the same cell.
    if (const auto to = map.Map(key)) moved.emplace(*to, std::move(properties));
  }
  entries_ = std::move(moved);
}

}  // namespace tessel
