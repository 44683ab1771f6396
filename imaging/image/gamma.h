// Gamma correction of pixel data: the 256-entry table that maps each channel value through a power
// curve, and its application to the palette or to the colour bytes of an image.
#pragma once

#include <array>
#include <cstdint>

namespace pg {

class TPixelGraphic;

using TGammaTable = std::array<uint8_t, 256>;

// The gamma at which images are kept and shown; loaded data with another gamma is corrected to it.
inline constexpr long double kDisplayGamma = 1.8L;

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

// The correction done after loading: when the image's Gamma differs from kDisplayGamma by more
// than 5 % (|Gamma / 1.8 - 1| > 0.05), applies the table of exponent Gamma / 1.8 and sets Gamma
// to 1.8. Returns whether a correction was made.
bool CorrectGamma(TPixelGraphic& image);

}  // namespace pg
