// TIntegerList: 32-bit signed integers in insertion order. Adding never sorts and never refuses a
// duplicate; only Sort orders the entries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

namespace tessel {

class TIntegerList {
 public:
  TIntegerList() = default;
  TIntegerList(std::initializer_list<int32_t> values) : items_(values) {}

  void Add(int32_t value) { items_.push_back(value); }
  // Index of the first entry equal to `value`, or -1.
  int32_t IndexOf(int32_t value) const;
  // Removes the entry and closes the gap; raises EListError for an index outside 0..Count-1.
  void Delete(int32_t index);
  void Clear() { items_.clear(); }
  // Ascending, in place.
  void Sort();

  // Raises EListError for an index outside 0..Count-1.
  int32_t Items(int32_t index) const;
  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  bool Contains(int32_t value) const { return IndexOf(value) >= 0; }

  // Read access without a range check, for loops over 0..Count-1.
  int32_t operator[](int32_t index) const { return items_[static_cast<size_t>(index)]; }
  const std::vector<int32_t>& Values() const { return items_; }
  void Assign(std::vector<int32_t> values) { items_ = std::move(values); }

  friend bool operator==(const TIntegerList&, const TIntegerList&) = default;

 private:
  std::vector<int32_t> items_;
};

}  // namespace tessel
