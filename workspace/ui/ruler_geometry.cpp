#include "workspace/ui/ruler_geometry.h"

namespace tessel {

namespace {

constexpr int32_t kStep = 5;
constexpr int32_t kShortTickStart = 20;
constexpr int32_t kMarkStart = 10;

}  // namespace

TRulerLayout LayoutRuler(TRulerKind kind, int32_t length, int32_t scrollPosition,
                         const std::vector<int32_t>& splits) {
  TRulerLayout layout;
  const bool top = kind == TRulerKind::Top;
  const int32_t start = top ? kRulerThickness : 0;
  // Steps are counted from 50 so that the first one is a long tick with a label.
  int32_t count = 50;
  for (int64_t o64 = start; o64 < length; o64 += kStep, ++count) {
    const auto o = static_cast<int32_t>(o64);
    const bool major = count % 10 == 0;
    const int32_t from = major ? 0 : kShortTickStart;
    if (top) {
      layout.Ticks.push_back({o, from, o, kRulerThickness});
    } else {
      layout.Ticks.push_back({from, o, kRulerThickness, o});
    }
    if (major) {
      const int64_t value = static_cast<int64_t>(o) - start + scrollPosition;
      if (top) {
        layout.Labels.push_back({o + 2, 1, std::to_string(value)});
      } else {
        layout.Labels.push_back({1, o + 2, std::to_string(value)});
      }
    }
  }
  for (size_t i = 1; i < splits.size(); ++i) {
    const int64_t at64 = static_cast<int64_t>(splits[i]) + start - scrollPosition;
    if (at64 < INT32_MIN || at64 > INT32_MAX) continue;
    const auto at = static_cast<int32_t>(at64);
    // A column scrolled off to the left would put its mark into the corner, beside no picture.
    if (top && scrollPosition > 0 && at < start) continue;
    if (top) {
      layout.Marks.push_back({at, kMarkStart, at, kRulerThickness});
    } else {
      layout.Marks.push_back({kMarkStart, at, kRulerThickness, at});
    }
  }
  return layout;
}

}  // namespace tessel
