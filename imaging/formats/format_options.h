// The settings of loading and saving. Each load and save takes them as an argument (TLoadOptions,
// TSaveOptions), so that calls on several threads, or a preview beside an export, never share a
// setting; the library-wide FormatOptions() and the process-wide question handler are what those
// arguments start from when a caller gives none.
#pragma once

#include <cstdint>
#include <optional>

#include "imaging/image/question.h"
#include "imaging/image/types.h"

namespace pg {

inline constexpr int64_t kDefaultMaxPixels = int64_t{16384} * 16384;

// Gamma, reader settings and limits of a load.
struct TLoadSettings {
  long double DefaultGamma = 1.8L;
  bool GammaCorrection = true;
  int32_t JPEGReadDCTMethod = 0;  // JDCT_ISLOW
  bool PNGUseFileBackground = true;
  bool TIFFCountImages = false;
  int32_t TIFFMaxImages = 1000;
  // Largest image a reader may allocate, in pixels (width x height); larger files fail clearly.
  // 16384 x 16384 holds any real picture but not the gigapixel sizes hostile headers claim.
  int64_t MaxPixels = kDefaultMaxPixels;
};

// Writer settings of a save.
struct TSaveSettings {
  int32_t JPEGWriteDCTMethod = 2;  // JDCT_FLOAT
  int32_t JPEGQuality = 80;
  bool JPEGProgressive = false;
  bool PNMBinary = false;
  int32_t TIFFCompression = 1;  // 1 none, 32773 PackBits
  bool TIFFWriteCMYK = false;
  bool TIFFWhiteIsZero = false;
  bool TIFFBigEndian = false;
  int32_t TIFFResolutionUnit = 1;  // 0 none, 1 inch, 2 centimetre
  uint32_t TIFFXResolutionNumerator = 300, TIFFXResolutionDenominator = 1;
  uint32_t TIFFYResolutionNumerator = 300, TIFFYResolutionDenominator = 1;
  // PNG: with PNGIndexed every image is written as an indexed PNG of at most PNGColors (2 to 256)
  // colours, from a palette built for that image; exactly its colours when it has no more, else
  // the built palette with error diffusion (PNGDither) or the nearest entry.
  bool PNGIndexed = false;
  int32_t PNGColors = 256;
  bool PNGDither = true;
  // WebP: lossy at WebPQuality (0 to 100), or lossless; WebPMethod is the encoder's effort, 0
  // (fastest) to 6 (smallest files).
  int32_t WebPQuality = 80;
  bool WebPLossless = false;
  int32_t WebPMethod = 6;
  // AVIF: AVIFQuality (0 to 100) sets the AV1 quantiser, 100 being the finest; AVIFSpeed is the
  // encoder's speed, 0 (slowest, smallest files) to 10 (fastest).
  int32_t AVIFQuality = 60;
  int32_t AVIFSpeed = 8;
  // Threads one encoder may use; 0: one per processor. Callers that encode several images at
  // once lower it so the encoders together do not oversubscribe the processors.
  int32_t EncoderThreads = 0;
};

// Library-wide format options: the defaults of every load and save. Set at start-up; the
// application may change them between operations on the thread that owns them.
struct TFormatOptions : TLoadSettings, TSaveSettings {};

TFormatOptions& FormatOptions();

// The settings of one load.
struct TLoadOptions : TLoadSettings {
  // How readers treat a recoverable problem; unset: the image's ReadWarningAction.
  std::optional<TPGWarningAction> WarningAction;
  // Asks the user about a warning; empty: every question is answered OK.
  TQuestionHandler Question;

  TPGWarningAction WarningActionFor(TPGWarningAction imageAction) const {
    return WarningAction.value_or(imageAction);
  }
};

// The settings of one save.
struct TSaveOptions : TSaveSettings {
  // How a colour resolution the writer cannot hold is treated; unset: the image's
  // SaveColorResWarningAction.
  std::optional<TPGWarningAction> ColorResWarningAction;
  // How a codec's warning while writing is treated; unset: the image's ReadWarningAction.
  std::optional<TPGWarningAction> WarningAction;
  // Asks the user (the change of colour resolution, a codec warning); empty: answered OK.
  TQuestionHandler Question;
};

// The library-wide options and the process-wide question handler as they stand now. Take them on
// the thread that owns those settings and hand the copy to workers.
TLoadOptions DefaultLoadOptions();
TSaveOptions DefaultSaveOptions();

}  // namespace pg
