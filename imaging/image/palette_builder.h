// The palette builder: chooses the colours of a 2-, 16- or 256-colour palette for an image (the
// save dispatch when it must reduce colours, the view's display copy for 8-bit screens).
#pragma once

#include <cstdint>
#include <vector>

#include "imaging/image/types.h"

namespace pg {

class TPixelGraphic;

// Number of system colours (the pSys16 palette) appended by BuildPalette on request.
inline constexpr int32_t kSystemColorCount = 16;

// Returns exactly `colorCount` entries (1 .. 256) chosen to represent `source`. With
// `addSystemColors` the last 16 entries are the 16 system colours in pSys16 order and only the first
// colorCount - 16 are chosen from the image (252 gives 236 + 16); the chosen colours are those
// that keep the squared error of mapping every pixel to its nearest entry small.
// An image with no more distinct colours than there are free entries gets exactly its colours;
// the entries left over are black. Every pixel format is accepted (palette images by their
// colours); an empty image gives all-black free entries.
// A count outside 1 .. 256, or not above 16 with the system colours, raises EPixelGraphic
// ("Invalid value for ColorCount").
std::vector<TColor> BuildPalette(const TPixelGraphic& source, int32_t colorCount, bool addSystemColors);

// Makes `target` an indexed copy of `source` with at most `maxColors` (2 .. 256) colours, in the
// smallest pixel format that holds them (1, 4 or 8 bits). A source with no more colours than that
// gets exactly its colours, every pixel mapped to its own; otherwise a palette is built for it and
// each pixel is error-diffused (`dither`) or mapped to its nearest entry. The palette is ordered by
// brightness, so the same picture always gives the same file. Takes over the source's progress
// handlers and gamma.
void ReduceToPalette(const TPixelGraphic& source, int32_t maxColors, bool dither, TPixelGraphic& target);

}  // namespace pg
