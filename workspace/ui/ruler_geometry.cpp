#include "workspace/ui/ruler_geometry.h"

namespace tessel {

namespace {

constexpr int32_t kStep = 5;
constexpr int32_t kShortTickStart = 20;
constexpr int32_t kMarkStart = 10;
constexpr int32_t kMajorEvery = 10;

void AddTick(TRulerLayout& layout, bool top, int32_t o, bool major, int64_t value) {
  const int32_t from = major ? 0 : kShortTickStart;
  if (top) {
    layout.Ticks.push_back({o, from, o, kRulerThickness});
  } else {
    layout.Ticks.push_back({from, o, kRulerThickness, o});
  }
  if (!major) return;
  if (top) {
    layout.Labels.push_back({o + 2, 1, std::to_string(value)});
  } else {
    layout.Labels.push_back({1, o + 2, std::to_string(value)});
  }
}

// Picture positions per tick: the smallest of 1, 2, 5, 10, 20, 50, ... that lies at least kStep
// screen pixels wide.
int64_t TickSpacing(const TAxisScale& scale) {
  for (int64_t decade = 1;; decade *= 10) {
    for (int64_t factor : {1, 2, 5}) {
      const int64_t step = decade * factor;
      if (step * scale.Display >= static_cast<int64_t>(kStep) * scale.Image) return step;
    }
  }
}

}  // namespace

TRulerLayout LayoutRuler(TRulerKind kind, int32_t length, int32_t scrollPosition,
                         const std::vector<int32_t>& splits, const TAxisScale& scale) {
  TRulerLayout layout;
  const bool top = kind == TRulerKind::Top;
  const int32_t start = top ? kRulerThickness : 0;
  const bool zoomed = scale.Valid() && !scale.ActualSize();
  if (!zoomed) {
    // Steps are counted from 50 so that the first one is a long tick with a label.
    int32_t count = 50;
    for (int64_t o64 = start; o64 < length; o64 += kStep, ++count) {
      const auto o = static_cast<int32_t>(o64);
      AddTick(layout, top, o, count % kMajorEvery == 0, static_cast<int64_t>(o) - start + scrollPosition);
    }
  } else {
    const int64_t spacing = TickSpacing(scale);
    const int64_t first = scale.PixelAt(scrollPosition);
    // The first tick at or before the view's edge, on a multiple of the spacing.
    int64_t value = (first >= 0 ? first / spacing : (first - spacing + 1) / spacing) * spacing;
    for (;; value += spacing) {
      if (value > INT32_MAX) break;
      const int64_t o =
          static_cast<int64_t>(start) + scale.ToScreen(static_cast<int32_t>(value)) - scrollPosition;
      if (o >= length) break;
      if (o < start) continue;
      AddTick(layout, top, static_cast<int32_t>(o), value % (spacing * kMajorEvery) == 0, value);
    }
  }
  for (size_t i = 1; i < splits.size(); ++i) {
    const int64_t offset = zoomed ? scale.ToScreen(splits[i]) : splits[i];
    const int64_t at64 = offset + start - scrollPosition;
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
