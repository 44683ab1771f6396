// TPixelGraphic's file and stream operations. They live with the format framework because they
// go through its reader and writer tables.
#include <filesystem>
#include <string>

#include "imaging/formats/bmp.h"
#include "imaging/formats/file_format.h"
#include "imaging/image/exceptions.h"
#include "imaging/image/messages.h"
#include "imaging/image/pixel_graphic.h"
#include "imaging/image/safe_file.h"
#include "imaging/image/stream.h"

namespace pg {

namespace {

std::string LowerExtension(const std::filesystem::path& path) {
  return NormalizeExtension(path.extension().string());
}

// The library's own BMP writer, used by SaveToStream without an extension.
const TBMPFileFormatWriter& OwnBMPWriter() {
  static const TBMPFileFormatWriter writer;
  return writer;
}

}  // namespace

void TPixelGraphic::LoadFromFile(const std::string& fileName, int32_t index) {
  TFileStream stream(fileName, TFileMode::Read);
  LoadFromStream(stream, LowerExtension(fileName), index);
}

void TPixelGraphic::LoadFromStream(TStream& stream, const std::string& extension, int32_t index) {
  BeginUpdate();
  try {
    NewImage(0, 0, bc24Bit);
    SetGamma(FormatOptions().DefaultGamma);
    const TFileFormatReader* reader = FindFileFormatReader(stream, extension);
    if (reader == nullptr) throw EPGUnknownFileFormat(MessageText(6));
    reader->ReadFromStream(stream, *this, index);
    CorrectLoadedGamma(*this);
    RecognizePalette();
  } catch (...) {
    // The image is finished also when the reader failed: what it produced so far gets its palette
    // identity, and the reader's error is the one that propagates.
    try {
      RecognizePalette();
    } catch (...) {
    }
    EndUpdate();
    throw;
  }
  EndUpdate();
}

// The file is replaced only once the new one is complete (see WriteFileSafely), so a failed save
// neither leaves a partial file behind nor destroys the file that stood there.
void TPixelGraphic::SaveToFile(const std::string& fileName) {
  const std::filesystem::path target(fileName);
  SaveGraphic(*this, LowerExtension(target), [&](const TFileFormatWriter& writer, TPixelGraphic& image) {
    WriteFileSafely(target, [&](TStream& stream) { writer.WriteToStream(stream, image); });
  });
}

void TPixelGraphic::SaveToStream(TStream& stream, const std::string& extension) {
  SaveGraphic(*this, extension, [&](const TFileFormatWriter& writer, TPixelGraphic& image) {
    writer.WriteToStream(stream, image);
  });
}

void TPixelGraphic::SaveToStream(TStream& stream) {
  OwnBMPWriter().WriteToStream(stream, *this);
}

void TPixelGraphic::ReadDIB(TStream& stream, bool coreHeader) {
  BeginUpdate();
  try {
    ReadDIBFromStream(stream, *this, coreHeader, this);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TPixelGraphic::WriteDIB(TStream& stream) {
  WriteDIBToStream(stream, *this);
}

}  // namespace pg
