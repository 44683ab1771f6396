// A picture on the system clipboard and back. The picture goes there as the platform's bitmap
// (the device-independent bitmap block: header, colour table and pixels, as WriteDIB writes them;
// and as a BMP file under image/bmp) and as an image for every program that takes one. It comes
// back from the bitmap block, from image data in a format a reader of ours knows (PNG, BMP, JPEG,
// ...), or from any image the toolkit can read; anything else raises EPGUnknownClipboardFormat
// with message 4.
#pragma once

#include <QString>
#include <memory>

#include "imaging/formats/format_options.h"

class QClipboard;
class QMimeData;

namespace pg {

class TPixelGraphic;

// The clipboard's name of the device-independent bitmap block.
extern const QString kClipboardDibFormat;

// What the clipboard is given for `graphic`.
std::unique_ptr<QMimeData> ClipboardData(const TPixelGraphic& graphic);
// Reads the picture in `data` into `graphic` (gamma the default), under the pixel limit of
// `options`.
void ReadClipboardData(TPixelGraphic& graphic, const QMimeData& data,
                       const TLoadOptions& options = DefaultLoadOptions());

// The same with the application's clipboard.
void CopyToClipboard(const TPixelGraphic& graphic);
void PasteFromClipboard(TPixelGraphic& graphic, const TLoadOptions& options = DefaultLoadOptions());

}  // namespace pg
