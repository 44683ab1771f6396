#include "imaging/view/qt_clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QStringList>
#include <cstring>
#include <limits>

#include "imaging/formats/format_io.h"
#include "imaging/formats/image_io.h"
#include "imaging/image/byte_order.h"
#include "imaging/image/exceptions.h"
#include "imaging/image/messages.h"
#include "imaging/image/pixel_graphic.h"
#include "imaging/image/stream.h"
#include "imaging/view/qt_pg_draw.h"

namespace pg {

const QString kClipboardDibFormat = "application/x-qt-windows-mime;value=\"DeviceIndependentBitmap\"";

namespace {

constexpr qsizetype kBmpFileHeaderSize = 14;  // "BM", file size, 2 reserved words, offset of the pixels

// Image data the readers know, by the clipboard's name for it, in the order they are tried.
struct TClipboardImage {
  const char* MimeType;
  const char* Extension;
};
constexpr TClipboardImage kReadable[] = {
    {"image/bmp", "bmp"},  {"image/x-bmp", "bmp"}, {"image/png", "png"},   {"image/jpeg", "jpg"},
    {"image/tiff", "tif"}, {"image/x-tga", "tga"}, {"image/x-pcx", "pcx"}, {"image/x-portable-pixmap", "ppm"},
};

[[noreturn]] void UnknownFormat() {
  throw EPGUnknownClipboardFormat(MessageText(4));
}

QByteArray Bytes(const TMemoryStream& stream) {
  return QByteArray(reinterpret_cast<const char*>(stream.Data().data()),
                    static_cast<qsizetype>(stream.Data().size()));
}

// A picture the toolkit decoded, as a 24-bit image.
void FromQImage(TPixelGraphic& graphic, const QImage& image, const TLoadOptions& options) {
  const int64_t pixels = static_cast<int64_t>(image.width()) * image.height();
  if (pixels <= 0) UnknownFormat();
  // The same refusal as a reader's, so the window can say how to raise the limit.
  formats::TFormatErrors<EPixelGraphic>{"Clipboard: "}.CheckPixelLimit(image.width(), image.height(),
                                                                       options.MaxPixels);
  // BGR888 is the byte order of a 24-bit row here, so each row is one copy.
  const QImage bgr = image.convertToFormat(QImage::Format_BGR888);
  graphic.NewImage(bgr.width(), bgr.height(), bc24Bit);
  const size_t rowBytes = static_cast<size_t>(bgr.width()) * 3;
  for (int y = 0; y < bgr.height(); ++y) std::memcpy(graphic.ScanLine(y), bgr.constScanLine(y), rowBytes);
}

}  // namespace

std::unique_ptr<QMimeData> ClipboardData(const TPixelGraphic& graphic) {
  auto data = std::make_unique<QMimeData>();
  TMemoryStream dib;
  WriteDIB(graphic, dib);
  const QByteArray block = Bytes(dib);
  data->setData(kClipboardDibFormat, block);
  // The same block as a BMP file: the 14-byte file header in front, whose offset points past the
  // info header and colour table to the pixels.
  const int64_t fileSize = int64_t{kBmpFileHeaderSize} + block.size();
  if (fileSize <= std::numeric_limits<uint32_t>::max()) {
    const int64_t pixelOffset = fileSize - graphic.ImageSize();
    QByteArray bmp(kBmpFileHeaderSize, '\0');
    bmp[0] = 'B';
    bmp[1] = 'M';
    PutLE32(reinterpret_cast<uint8_t*>(bmp.data()) + 2, static_cast<uint32_t>(fileSize));
    PutLE32(reinterpret_cast<uint8_t*>(bmp.data()) + 10, static_cast<uint32_t>(pixelOffset));
    bmp.append(block);
    data->setData("image/bmp", bmp);
  }
  data->setImageData(PixelGraphicToQImage(graphic));
  return data;
}

void ReadClipboardData(TPixelGraphic& graphic, const QMimeData& data, const TLoadOptions& options) {
  const QByteArray dib = data.data(kClipboardDibFormat);
  if (!dib.isEmpty()) {
    TMemoryStream stream(dib.constData(), static_cast<size_t>(dib.size()));
    ReadDIB(graphic, stream, false, options);
  } else {
    bool read = false;
    for (const TClipboardImage& format : kReadable) {
      const QByteArray bytes = data.data(format.MimeType);
      if (bytes.isEmpty()) continue;
      TMemoryStream stream(bytes.constData(), static_cast<size_t>(bytes.size()));
      LoadImage(graphic, stream, format.Extension, 0, options);
      read = true;
      break;
    }
    if (!read) {
      if (!data.hasImage()) UnknownFormat();
      FromQImage(graphic, qvariant_cast<QImage>(data.imageData()), options);
    }
  }
  if (graphic.Width() <= 0 || graphic.Height() <= 0) UnknownFormat();
  graphic.SetGamma(options.DefaultGamma);
}

void CopyToClipboard(const TPixelGraphic& graphic) {
  QGuiApplication::clipboard()->setMimeData(ClipboardData(graphic).release());
}

void PasteFromClipboard(TPixelGraphic& graphic, const TLoadOptions& options) {
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  if (data == nullptr) UnknownFormat();
  ReadClipboardData(graphic, *data, options);
}

}  // namespace pg
