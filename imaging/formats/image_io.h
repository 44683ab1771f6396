// Loading and saving images through the format framework: free functions that take the options
// of the call, and the image's own members that forward to them with the process-wide defaults.
// Include this header where the members LoadFromFile, SaveToFile, ... are called.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "imaging/formats/file_format.h"
#include "imaging/image/pixel_graphic.h"

namespace pg {

class TStream;

// Reads image number `index` (0 = first) of a file into `graphic`: the reader is chosen by the
// content, by the file name's extension only for formats without a signature. Gamma correction
// follows; the palette is recognised also when the reader fails.
void LoadImage(TPixelGraphic& graphic, const std::string& fileName, int32_t index = 0,
               const TLoadOptions& options = DefaultLoadOptions());
// The same from the stream's position; `extension` stands in for the file name's.
void LoadImage(TPixelGraphic& graphic, TStream& stream, std::string_view extension, int32_t index = 0,
               const TLoadOptions& options = DefaultLoadOptions());

// Saves `graphic` in the format the file name's extension names, after the colour-resolution
// negotiation. The file is replaced only once the new one is complete.
void SaveImage(TPixelGraphic& graphic, const std::string& fileName,
               const TSaveOptions& options = DefaultSaveOptions());
// The same into a stream, in the format `extension` names.
void SaveImage(TPixelGraphic& graphic, TStream& stream, std::string_view extension,
               const TSaveOptions& options = DefaultSaveOptions());
// A BMP file from the BMP writer, without negotiation.
void SaveImage(TPixelGraphic& graphic, TStream& stream);

// The bitmap-info header, colour table and pixels without a file header (the clipboard's layout).
void ReadDIB(TPixelGraphic& graphic, TStream& stream, bool coreHeader,
             const TLoadOptions& options = DefaultLoadOptions());
void WriteDIB(const TPixelGraphic& graphic, TStream& stream);

// The image embedded in a stream of other data: a 32-bit little-endian byte count, then a BMP file
// from the BMP writer. Reading takes the data that follows as "bmp", never reads beyond the count
// and leaves the stream at the start of the data plus the count, whatever the reader consumed.
void WriteData(TPixelGraphic& graphic, TStream& stream);
void ReadData(TPixelGraphic& graphic, TStream& stream, const TLoadOptions& options = DefaultLoadOptions());

}  // namespace pg

// ---- The image's members, forwarding with the process-wide defaults --------------------------------

inline void pg::TPixelGraphic::LoadFromFile(const std::string& fileName, int32_t index) {
  LoadImage(*this, fileName, index);
}
inline void pg::TPixelGraphic::LoadFromStream(TStream& stream, const std::string& extension, int32_t index) {
  LoadImage(*this, stream, extension, index);
}
inline void pg::TPixelGraphic::SaveToFile(const std::string& fileName) {
  SaveImage(*this, fileName);
}
inline void pg::TPixelGraphic::SaveToStream(TStream& stream, const std::string& extension) {
  SaveImage(*this, stream, extension);
}
inline void pg::TPixelGraphic::SaveToStream(TStream& stream) {
  SaveImage(*this, stream);
}
inline void pg::TPixelGraphic::ReadDIB(TStream& stream, bool coreHeader) {
  pg::ReadDIB(*this, stream, coreHeader);
}
inline void pg::TPixelGraphic::WriteDIB(TStream& stream) {
  pg::WriteDIB(*this, stream);
}
inline void pg::TPixelGraphic::WriteData(TStream& stream) {
  pg::WriteData(*this, stream);
}
inline void pg::TPixelGraphic::ReadData(TStream& stream) {
  pg::ReadData(*this, stream);
}
