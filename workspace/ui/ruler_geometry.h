// Geometry of the two rulers beside the source view, free of any toolkit so that it can be checked
// line by line: the ticks, the labels and the red split marks of one ruler.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "workspace/view_zoom.h"

namespace tessel {

// Which ruler: the top one runs along x (its first 25 pixels are the corner), the left one along y.
enum class TRulerKind { Top, Left };

constexpr int32_t kRulerThickness = 25;

// A straight line in ruler pixels, from (X1, Y1) to (X2, Y2).
struct TRulerLine {
  int32_t X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;
  bool operator==(const TRulerLine&) const = default;
};

struct TRulerLabel {
  int32_t X = 0, Y = 0;  // top-left corner of the text
  std::string Text;
  bool operator==(const TRulerLabel&) const = default;
};

struct TRulerLayout {
  std::vector<TRulerLine> Ticks;    // black
  std::vector<TRulerLabel> Labels;  // black
  std::vector<TRulerLine> Marks;    // red, one per split but the list's first entry
};

// Lays out one ruler of `length` pixels (client width for the top ruler, client height for the left
// one). `scrollPosition` is how far the picture is scrolled (screen pixels hidden before the view's
// edge); it counts into the labels and shifts the split marks so that they stay over the picture
// row or column they split. `splits` is the split list in its current order. `scale` is the
// picture's scale along the ruler. At actual size (or without a scale) the ticks stand every 5
// pixels from the view's edge and every tenth carries the picture position under it; zoomed, the
// ticks stand on round picture positions, as far apart as keeps them at least 5 screen pixels
// apart (steps of 1, 2 or 5 times a power of ten), every tenth with its label.
TRulerLayout LayoutRuler(TRulerKind kind, int32_t length, int32_t scrollPosition,
                         const std::vector<int32_t>& splits, const TAxisScale& scale = {});

}  // namespace tessel
