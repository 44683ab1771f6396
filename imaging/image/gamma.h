// Gamma correction of pixel data: the 256-entry table that maps each channel value through a power
// curve, and its application to the palette or to the colour bytes of an image.
#pragma once

#include <array>
#include <cstdint>

namespace pg {

class TPixelGraphic;

using TGammaTable = std::array<uint8_t, 256>;

// base ^ exponent with the rules the correction relies on: a zero exponent gives 1 (also for a zero
// base), otherwise a zero base gives 0; a negative base raises EPixelGraphic("Invalid Argument").
long double GammaPower(long double base, long double exponent);

// T[i] = 255 * (i / 255) ^ exponent, rounded to nearest with ties to even and limited to 0 .. 255
// (a negative exponent would otherwise leave the byte range). A NaN exponent raises
// EPixelGraphic("Invalid Argument").
TGammaTable BuildGammaTable(long double exponent);

// Maps every colour of `image` through `table`: palette formats rewrite each palette entry (which
// leaves the palette identity pUnknown), 24-bit images every B, G, R byte of every row (padding
// untouched). Fires one OnChange unless an update is open.
void ApplyGammaTable(TPixelGraphic& image, const TGammaTable& table);

}  // namespace pg
