#include "imaging/view/qt_pg_draw.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "imaging/image/exceptions.h"
#include "imaging/image/messages.h"

namespace pg {

namespace {

QRgb ToRgb(TColor c) {
  return qRgb(GetRValue(c), GetGValue(c), GetBValue(c));
}

// Converts rows top..bottom - 1 of `graphic` into `image` (same size, Format_RGB32).
void ConvertRows(const TPixelGraphic& graphic, QImage& image, int32_t top, int32_t bottom) {
  const int32_t width = graphic.Width();
  // Indices beyond the palette show black.
  std::array<QRgb, 256> lut;
  lut.fill(qRgb(0, 0, 0));
  const TBitCount bitCount = graphic.BitCount();
  if (bitCount != bc24Bit) {
    const auto& palette = graphic.PaletteData();
    for (size_t i = 0; i < palette.size() && i < lut.size(); ++i) lut[i] = ToRgb(palette[i]);
  }
  for (int32_t y = top; y < bottom; ++y) {
    const uint8_t* src = graphic.ScanLine(y);
    auto* dst = reinterpret_cast<QRgb*>(image.scanLine(y));
    switch (bitCount) {
      case bc24Bit:
        for (int32_t x = 0; x < width; ++x, src += 3) {
          dst[x] = 0xFF000000u | (uint32_t{src[2]} << 16) | (uint32_t{src[1]} << 8) | src[0];
        }
        break;
      case bc8Bit:
        for (int32_t x = 0; x < width; ++x) dst[x] = lut[src[x]];
        break;
      case bc4Bit:
        for (int32_t x = 0; x < width; ++x) dst[x] = lut[(x & 1) ? (src[x >> 1] & 0x0F) : (src[x >> 1] >> 4)];
        break;
      case bc1Bit:
        for (int32_t x = 0; x < width; ++x) dst[x] = lut[(src[x >> 3] >> (7 - (x & 7))) & 1];
        break;
    }
  }
}

bool Drawable(const TPixelGraphic& graphic) {
  return !graphic.Empty() && graphic.Width() > 0 && graphic.Height() > 0;
}

// `count` colour table entries: the palette's, black beyond it (as the RGB32 conversion shows them).
QList<QRgb> ColorTable(const TPixelGraphic& graphic, int32_t count) {
  QList<QRgb> table(count, qRgb(0, 0, 0));
  const auto& palette = graphic.PaletteData();
  for (int32_t i = 0; i < count && i < static_cast<int32_t>(palette.size()); ++i)
    table[i] = ToRgb(palette[i]);
  return table;
}

// Which source row (counted from the source's top) target row i shows when `sourceHeight` rows are
// drawn into `targetHeight`: QPainter's own nearest-neighbour rule for a scaled image, a 16.16
// fixed-point step (truncated) starting half a step in.
class TRowSampler {
 public:
  TRowSampler(int32_t sourceHeight, int32_t targetHeight) : sourceHeight_(sourceHeight) {
    if (sourceHeight != targetHeight) {
      step_ = static_cast<int64_t>(65536.0 / (static_cast<double>(targetHeight) / sourceHeight));
      first_ = static_cast<int64_t>(std::ceil(0.5 * static_cast<double>(step_))) - 1;
    }
  }
  int32_t operator()(int32_t i) const {
    if (step_ == 0) return i;
    const int64_t row = (first_ + i * step_) >> 16;
    return static_cast<int32_t>(std::clamp<int64_t>(row, 0, sourceHeight_ - 1));
  }

 private:
  int32_t sourceHeight_;
  int64_t step_ = 0;  // 0: one target row per source row
  int64_t first_ = 0;
};

// Swaps rows top and bottom, the second with the second last, and so on.
void TurnOverRows(TPixelGraphic& graphic) {
  const size_t bytes = static_cast<size_t>(graphic.BytesPerRow());
  std::vector<uint8_t> spare(bytes);
  for (int32_t top = 0, bottom = graphic.Height() - 1; top < bottom; ++top, --bottom) {
    uint8_t* a = graphic.ScanLine(top);
    uint8_t* b = graphic.ScanLine(bottom);
    std::memcpy(spare.data(), a, bytes);
    std::memcpy(a, b, bytes);
    std::memcpy(b, spare.data(), bytes);
  }
}

}  // namespace

QImage PixelGraphicToQImage(const TPixelGraphic& graphic) {
  if (!Drawable(graphic)) return QImage();
  QImage image(graphic.Width(), graphic.Height(), QImage::Format_RGB32);
  if (image.isNull()) return image;  // out of memory: nothing to draw
  ConvertRows(graphic, image, 0, graphic.Height());
  return image;
}

void TDrawableImage::Reset() {
  source_ = nullptr;
  image_ = QImage();
  converted_.clear();
}

const QImage& TDrawableImage::Bind(const TPixelGraphic& graphic) {
  if (source_ == &graphic) return image_;
  Reset();
  source_ = &graphic;
  if (Drawable(graphic)) {
    image_ = QImage(graphic.Width(), graphic.Height(), QImage::Format_RGB32);
    if (!image_.isNull())
      converted_.assign(static_cast<size_t>((graphic.Height() + kBandRows - 1) / kBandRows), 0);
  }
  return image_;
}

void TDrawableImage::EnsureRows(int32_t top, int32_t bottom) {
  if (source_ == nullptr || image_.isNull()) return;
  top = std::max(top, 0);
  bottom = std::min(bottom, image_.height());
  if (top >= bottom) return;
  for (int32_t band = top / kBandRows; band <= (bottom - 1) / kBandRows; ++band) {
    if (converted_[static_cast<size_t>(band)]) continue;
    const int32_t first = band * kBandRows;
    ConvertRows(*source_, image_, first, std::min(first + kBandRows, image_.height()));
    converted_[static_cast<size_t>(band)] = 1;
  }
}

// ---- Rows for drawing ----------------------------------------------------------------------------

void TPGRowImages::Reset() {
  source_ = nullptr;
  format_ = QImage::Format_Invalid;
  colorTable_.clear();
  converted_.Reset();
}

void TPGRowImages::Bind(const TPixelGraphic& graphic) {
  if (source_ == &graphic) return;
  Reset();
  source_ = &graphic;
  switch (graphic.BitCount()) {
    case bc1Bit:
      format_ = QImage::Format_Mono;  // most significant bit first, like the image's rows
      colorTable_ = ColorTable(graphic, 2);
      break;
    case bc4Bit:
      format_ = QImage::Format_RGB32;
      converted_.Bind(graphic);
      break;
    case bc8Bit:
      format_ = QImage::Format_Indexed8;
      colorTable_ = ColorTable(graphic, 256);
      break;
    case bc24Bit:
      format_ = QImage::Format_BGR888;  // blue, green, red in memory
      break;
  }
}

QImage TPGRowImages::Row(int32_t y) {
  if (source_ == nullptr || !Drawable(*source_) || y < 0 || y >= source_->Height()) return QImage();
  const int32_t width = source_->Width();
  if (format_ == QImage::Format_RGB32) {
    converted_.EnsureRows(y, y + 1);
    const QImage& image = converted_.Image();
    if (image.isNull()) return QImage();
    return QImage(image.constScanLine(y), width, 1, image.bytesPerLine(), format_);
  }
  // A writable QImage over the row: a read-only one would copy its pixels to take a colour table.
  // Drawing from it only reads.
  QImage row(const_cast<uint8_t*>(source_->ScanLine(y)), width, 1, source_->BytesPerRow(), format_);
  if (!colorTable_.isEmpty()) row.setColorTable(colorTable_);
  return row;
}

void DrawPixelGraphic(QPainter& painter, const QRect& target, TPGRowImages& rows, const QRect& source,
                      const QRect& clip, bool mirrorHorizontal, bool mirrorVertical) {
  if (target.isEmpty() || source.isEmpty() || !QRect(0, 0, rows.Width(), rows.Height()).contains(source))
    return;
  int32_t first = target.top();
  int32_t last = target.bottom();
  if (!clip.isNull()) {
    first = std::max(first, clip.top());
    last = std::min(last, clip.bottom());
  }
  if (first > last) return;
  // At the source's width only the clip's columns are drawn.
  const bool sameWidth = target.width() == source.width();
  int32_t left = target.left();
  int32_t width = target.width();
  QRect columns(source.left(), 0, source.width(), 1);
  if (sameWidth && !mirrorHorizontal && !clip.isNull()) {
    left = std::max(target.left(), clip.left());
    const int32_t right = std::min(target.right(), clip.right());
    if (left > right) return;
    width = right - left + 1;
    columns = QRect(source.left() + left - target.left(), 0, width, 1);
  }
  painter.save();
  if (mirrorHorizontal) {
    painter.translate(target.left() + target.right() + 1, 0);
    painter.scale(-1, 1);
  }
  const TRowSampler sample(source.height(), target.height());
  for (int32_t y = first; y <= last;) {
    const int32_t shown = sample(y - target.top());
    int32_t run = 1;  // target rows showing the same source row are drawn at once
    while (y + run <= last && sample(y + run - target.top()) == shown) ++run;
    const int32_t row = source.top() + (mirrorVertical ? source.height() - 1 - shown : shown);
    const QImage image = rows.Row(row);
    if (!image.isNull()) {
      if (sameWidth && run == 1) {
        painter.drawImage(QPoint(left, y), image, columns);
      } else {
        painter.drawImage(QRectF(left, y, width, run), image, QRectF(columns));
      }
    }
    y += run;
  }
  painter.restore();
}

void DrawPixelGraphic(QPainter& painter, const QRect& target, const TPixelGraphic& graphic) {
  TPGRowImages rows;
  rows.Bind(graphic);
  DrawPixelGraphic(painter, target, rows, QRect(0, 0, graphic.Width(), graphic.Height()));
}

// ---- Painting into an image --------------------------------------------------------------------

TPGCanvas::TPGCanvas(TPixelGraphic& graphic) : graphic_(graphic) {
  if (!Drawable(graphic)) throw EPGEmpty(MessageText(16, "PixelGraphic"));
  if (graphic.BitCount() != bc24Bit) throw EPGInvalidBitCountNum(MessageText(20, "BitCount"));
  TurnOverRows(graphic);
  image_ =
      QImage(graphic.Bits(), graphic.Width(), graphic.Height(), graphic.BytesPerRow(), QImage::Format_BGR888);
  painter_.begin(&image_);
}

TPGCanvas::~TPGCanvas() {
  if (painter_.isActive()) painter_.end();
  image_ = QImage();
  TurnOverRows(graphic_);
}

}  // namespace pg
