// A picture read band by band from the top down, never whole: the rows a reader decodes in file
// order, with the load's gamma correction, delivered into bands in the picture's own pixel format
// and palette. Pixels and palette are those a whole load (LoadImage) gives, so a band's rows can
// stand for the same rows of the loaded picture.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "imaging/formats/file_format.h"
#include "imaging/image/gamma.h"
#include "imaging/image/pixel_graphic.h"

namespace pg {

class TStream;

class TRowSource {
 public:
  // Opens the file and reads its headers, raising what LoadImage raises for them (unknown format,
  // the pixel limit, a damaged header). Returns nullptr when the file's reader cannot deliver its
  // rows in order without the whole picture: such a file is to be loaded whole. `settings` lends
  // the image settings a load would use (background colour, warning action, fast decoding).
  static std::unique_ptr<TRowSource> Open(const std::string& fileName, const TLoadOptions& options,
                                          const TPixelGraphic* settings = nullptr);
  // The same on a stream of the source's own; `extension` stands in for the file name's.
  static std::unique_ptr<TRowSource> Open(std::unique_ptr<TStream> stream, std::string_view extension,
                                          const TLoadOptions& options,
                                          const TPixelGraphic* settings = nullptr);
  ~TRowSource();
  TRowSource(const TRowSource&) = delete;
  TRowSource& operator=(const TRowSource&) = delete;

  int32_t Width() const { return shape_.Width(); }
  int32_t Height() const { return decoder_->Height(); }
  TBitCount BitCount() const { return shape_.BitCount(); }
  // Bytes of one row in the picture's pixel format, padded as the image pads its rows.
  int64_t BytesPerRow() const { return shape_.BytesPerRow(); }
  // Rows delivered so far.
  int32_t RowsRead() const { return rowsRead_; }

  // Gives `band` the picture's width, pixel format and palette (as a load leaves them) with `rows`
  // rows.
  void ShapeBand(TPixelGraphic& band, int32_t rows) const;
  // Decodes the next `count` rows into the top `count` rows of `band`, shaped by ShapeBand with at
  // least that many rows. Raises the reader's error for damaged data.
  void ReadRows(TPixelGraphic& band, int32_t count);
  // Reads what follows the last row, with the checks a whole load makes there.
  void Finish();
  // The error ReadRows or Finish raised, if any: callers that see errors of several origins can
  // tell the source's own (the same exception object) and name its file.
  std::exception_ptr Failure() const { return failure_; }

 private:
  TRowSource() = default;

  std::unique_ptr<TStream> stream_;
  TLoadOptions options_;
  std::unique_ptr<TRowDecoder> decoder_;
  TPixelGraphic shape_;                  // the picture's width, pixel format and palette, without rows
  std::optional<TGammaTable> rowGamma_;  // the correction of 24-bit rows, when one applies
  int32_t rowsRead_ = 0;
  std::exception_ptr failure_;
};

}  // namespace pg
