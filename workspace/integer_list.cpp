#include "workspace/integer_list.h"

#include <algorithm>
#include <string>

#include "workspace/errors.h"

namespace tessel {

namespace {

[[noreturn]] void RaiseIndexError(int32_t index) {
  throw EListError("List index out of bounds (" + std::to_string(index) + ")");
}

}  // namespace

int32_t TIntegerList::IndexOf(int32_t value) const {
  const auto it = std::find(items_.begin(), items_.end(), value);
  return it == items_.end() ? -1 : static_cast<int32_t>(it - items_.begin());
}

void TIntegerList::Delete(int32_t index) {
  if (index < 0 || index >= Count()) RaiseIndexError(index);
  items_.erase(items_.begin() + index);
}

void TIntegerList::Sort() {
  std::sort(items_.begin(), items_.end());
}

int32_t TIntegerList::Items(int32_t index) const {
  if (index < 0 || index >= Count()) RaiseIndexError(index);
  return items_[static_cast<size_t>(index)];
}

}  // namespace tessel
