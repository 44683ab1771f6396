// Drawing with TPixelGraphic in Qt: an image drawn onto a QPainter, and a QPainter that paints into
// a 24-bit image, both on the image's own pixel memory.
//
// The image keeps its rows bottom-up and padded to 4 bytes. A QImage addresses its rows top-down
// only (it takes no negative stride), so the image is handed to Qt one row at a time: each row is
// a one-row QImage over the image's memory, 1-bit rows as Format_Mono, 8-bit rows as
// Format_Indexed8 with the image's colour table, 24-bit rows as Format_BGR888. 4-bit pixels have
// no QImage format; their rows are converted to 32-bit RGB, once per image change and only as they
// are needed.
#pragma once

#include <QImage>
#include <QList>
#include <QPainter>
#include <QRect>
#include <cstdint>
#include <vector>

#include "imaging/image/pixel_graphic.h"

namespace pg {

// The image as Format_RGB32 (palette images through their palette, black beyond it); a null
// QImage when the image is empty.
QImage PixelGraphicToQImage(const TPixelGraphic& graphic);

// The RGB32 copy of one TPixelGraphic, converted band by band as its rows are needed. Reset()
// whenever the image changes.
class TDrawableImage {
 public:
  void Reset();
  // Allocates the QImage for `graphic` unless already bound to it; converts nothing yet.
  const QImage& Bind(const TPixelGraphic& graphic);
  // Converts the rows top..bottom - 1 (clamped) not converted yet.
  void EnsureRows(int32_t top, int32_t bottom);
  void EnsureAll() { EnsureRows(0, image_.height()); }
  const QImage& Image() const { return image_; }

 private:
  static constexpr int32_t kBandRows = 32;
  const TPixelGraphic* source_ = nullptr;
  QImage image_;
  std::vector<uint8_t> converted_;  // per band
};

// The rows of one TPixelGraphic as QImages for drawing. Bind to the image; Reset() whenever its
// pixels, palette or size change (a 4-bit image's converted rows and every colour table are kept
// until then). The image must outlive the binding and its rows.
class TPGRowImages {
 public:
  void Bind(const TPixelGraphic& graphic);
  void Reset();
  const TPixelGraphic* Source() const { return source_; }
  int32_t Width() const { return source_ ? source_->Width() : 0; }
  int32_t Height() const { return source_ ? source_->Height() : 0; }
  // Row y (0 = top) as a one-row QImage over the image's memory (4-bit: over its converted row);
  // null when nothing is bound, the image is empty or y lies outside it.
  QImage Row(int32_t y);

 private:
  const TPixelGraphic* source_ = nullptr;
  QImage::Format format_ = QImage::Format_Invalid;
  QList<QRgb> colorTable_;
  TDrawableImage converted_;  // 4-bit rows
};

// Draws `source` (image pixels) of the bound image into `target` (painter coordinates), row by
// row; only target rows inside `clip` are drawn (a null clip draws all). Sizes that differ are
// sampled nearest-neighbour exactly as QPainter samples a whole QImage. A mirrored draw shows the
// image turned over left to right and/or top to bottom within `target`.
void DrawPixelGraphic(QPainter& painter, const QRect& target, TPGRowImages& rows, const QRect& source,
                      const QRect& clip = QRect(), bool mirrorHorizontal = false,
                      bool mirrorVertical = false);
// The whole image stretched into `target`.
void DrawPixelGraphic(QPainter& painter, const QRect& target, const TPixelGraphic& graphic);

// A QPainter on a 24-bit image's own pixels. Constructed, it turns the image's rows over in place
// so that they run top-down and opens a painter on them as a Format_BGR888 image; destroyed, it
// ends the painting and turns the rows back. Nothing else may touch the image's pixels while the
// canvas lives. Drawing fires no OnChange: call the image's Changed() when done, if it is shown.
// An empty image raises EPGEmpty; another format than 24 bits EPGInvalidBitCountNum.
class TPGCanvas {
 public:
  explicit TPGCanvas(TPixelGraphic& graphic);
  ~TPGCanvas();
  TPGCanvas(const TPGCanvas&) = delete;
  TPGCanvas& operator=(const TPGCanvas&) = delete;

  QPainter& Painter() { return painter_; }
  // The image as Qt sees it while the canvas lives (top-down, over the image's memory).
  QImage& Image() { return image_; }

 private:
  TPixelGraphic& graphic_;
  QImage image_;
  QPainter painter_;
};

}  // namespace pg
