#include "imaging/formats/file_format.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <system_error>

#include "imaging/formats/bmp.h"
#include "imaging/formats/jpeg.h"
#include "imaging/formats/pcx.h"
#include "imaging/formats/png.h"
#include "imaging/formats/pnm.h"
#include "imaging/formats/tga.h"
#include "imaging/formats/tiff.h"
#include "imaging/image/ascii.h"
#include "imaging/image/exceptions.h"
#include "imaging/image/gamma.h"
#include "imaging/image/messages.h"
#include "imaging/image/palette_builder.h"
#include "imaging/image/pixel_graphic.h"
#include "imaging/image/question.h"
#include "imaging/image/stream.h"

namespace pg {

namespace {

// Sorted once by extension, case-insensitively; the stable sort keeps registration order among equals.
template <class T>
void SortByExtension(std::vector<std::unique_ptr<T>>& list) {
  std::stable_sort(list.begin(), list.end(), [](const auto& a, const auto& b) {
    return ToLower(a->Extension) < ToLower(b->Extension);
  });
}

template <class T>
void Register(std::vector<std::unique_ptr<TFileFormatReader>>& list) {
  list.push_back(std::make_unique<T>());
}

template <class T>
void RegisterWriter(std::vector<std::unique_ptr<TFileFormatWriter>>& list) {
  list.push_back(std::make_unique<T>());
}

// Fallback order per current colour resolution: the first entry the writer holds is the target.
constexpr std::array<std::array<TColorRes, 8>, 8> kFallback = {{
    {crBlackWhite, cr2Colors, cr16Gray, cr16SysColors, cr16Colors, cr256Gray, cr256Colors, cr16MColors},
    {cr2Colors, cr16Colors, cr256Colors, cr16MColors, cr16SysColors, crBlackWhite, cr16Gray, cr256Gray},
    {cr16Gray, cr16Colors, cr256Gray, cr256Colors, cr16MColors, cr16SysColors, crBlackWhite, cr2Colors},
    {cr16SysColors, cr16Colors, cr256Colors, cr16MColors, cr16Gray, cr256Gray, crBlackWhite, cr2Colors},
    {cr16Colors, cr256Colors, cr16MColors, cr16SysColors, cr16Gray, cr256Gray, crBlackWhite, cr2Colors},
    {cr256Gray, cr256Colors, cr16MColors, cr16Gray, cr16Colors, cr16SysColors, crBlackWhite, cr2Colors},
    {cr256Colors, cr16MColors, cr16Colors, cr16SysColors, cr256Gray, cr16Gray, crBlackWhite, cr2Colors},
    {cr16MColors, cr256Colors, cr16Colors, cr16SysColors, cr256Gray, cr16Gray, crBlackWhite, cr2Colors},
}};

}  // namespace

// ---- Base classes -------------------------------------------------------------------------------

bool TFileFormatReader::IsFormat(const uint8_t*) const {
  return false;
}

void TFileFormatReader::ReadFromStream(TStream&, TPixelGraphic&, int32_t) const {}

void TFileFormatReader::GetInfo(TStream&, int32_t, int32_t& imageCount, int32_t& bitsPerPixel,
                                std::string& colorsText, int32_t& height, int32_t& width,
                                std::string& infoText, std::string& subFormatText) const {
  imageCount = 1;
  bitsPerPixel = 0;
  colorsText.clear();
  height = 0;
  width = 0;
  infoText.clear();
  subFormatText.clear();
}

void TFileFormatWriter::WriteToStream(TStream&, TPixelGraphic&) const {}
void TFileFormatWriter::WriteHeader(TStream&) const {}
void TFileFormatWriter::WriteImage(TStream&, TPixelGraphic&) const {}
void TFileFormatWriter::WriteTrailer(TStream&) const {}

// ---- Tables -------------------------------------------------------------------------------------

// Registration order is fixed; the lists are sorted once here, so every later use only reads them.
const std::vector<std::unique_ptr<TFileFormatReader>>& FileFormatReaders() {
  static const std::vector<std::unique_ptr<TFileFormatReader>> readers = [] {
    std::vector<std::unique_ptr<TFileFormatReader>> list;
    Register<TBMPFileFormatReader>(list);
    Register<TDIBFileFormatReader>(list);
    Register<TRLEFileFormatReader>(list);
    Register<TJPGFileFormatReader>(list);
    Register<TJPEGFileFormatReader>(list);
    Register<TJIFFileFormatReader>(list);
    Register<TPNGFileFormatReader>(list);
    Register<TPCXFileFormatReader>(list);
    Register<TPBMFileFormatReader>(list);
    Register<TPGMFileFormatReader>(list);
    Register<TPPMFileFormatReader>(list);
    Register<TTGAFileFormatReader>(list);
    Register<TTIFFileFormatReader>(list);
    Register<TTIFFFileFormatReader>(list);
    SortByExtension(list);
    return list;
  }();
  return readers;
}

const std::vector<std::unique_ptr<TFileFormatWriter>>& FileFormatWriters() {
  static const std::vector<std::unique_ptr<TFileFormatWriter>> writers = [] {
    std::vector<std::unique_ptr<TFileFormatWriter>> list;
    RegisterWriter<TBMPFileFormatWriter>(list);
    RegisterWriter<TDIBFileFormatWriter>(list);
    RegisterWriter<TJPGFileFormatWriter>(list);
    RegisterWriter<TJPEGFileFormatWriter>(list);
    RegisterWriter<TJIFFileFormatWriter>(list);
    RegisterWriter<TPNGFileFormatWriter>(list);
    RegisterWriter<TPBMFileFormatWriter>(list);
    RegisterWriter<TPGMFileFormatWriter>(list);
    RegisterWriter<TPPMFileFormatWriter>(list);
    RegisterWriter<TTGAFileFormatWriter>(list);
    RegisterWriter<TTIFFileFormatWriter>(list);
    RegisterWriter<TTIFFFileFormatWriter>(list);
    SortByExtension(list);
    return list;
  }();
  return writers;
}

const TFileFormatReader* FindFileFormatReader(TStream& stream, std::string extension) {
  try {
    extension = NormalizeExtension(extension);
    uint8_t header[TFileFormatReader::kHeaderSize] = {};
    const int64_t position = stream.Position();
    size_t got = 0;
    while (got < sizeof(header)) {
      const size_t n = stream.Read(header + got, sizeof(header) - got);
      if (n == 0) break;
      got += n;
    }
    stream.SetPosition(position);
    for (const auto& reader : FileFormatReaders()) {
      if (reader->HasSignature && reader->IsFormat(header)) return reader.get();
    }
    if (!extension.empty()) {
      for (const auto& reader : FileFormatReaders()) {
        if (!reader->HasSignature && ToLower(reader->Extension) == extension) return reader.get();
      }
    }
  } catch (...) {
  }
  return nullptr;
}

std::string NormalizeExtension(std::string_view extension) {
  if (!extension.empty() && extension[0] == '.') extension.remove_prefix(1);
  return ToLower(extension);
}

const TFileFormatWriter* FindFileFormatWriter(std::string extension) {
  extension = NormalizeExtension(extension);
  for (const auto& writer : FileFormatWriters()) {
    if (ToLower(writer->Extension) == extension) return writer.get();
  }
  return nullptr;
}

std::string ColorResName(TColorRes res) {
  return MessageText(8 + static_cast<int>(res));
}

TFormatOptions& FormatOptions() {
  static TFormatOptions options;
  return options;
}

// ---- Saving -------------------------------------------------------------------------------------

bool FallbackColorRes(TColorRes current, const TColorResSet& allowed, TColorRes& target) {
  for (TColorRes res : kFallback[static_cast<size_t>(current) & 7]) {
    if (allowed.count(res) != 0) {
      target = res;
      return true;
    }
  }
  return false;
}

void ConvertToColorRes(const TPixelGraphic& source, TColorRes res, TPixelGraphic& target) {
  target.OnProgressStart = source.OnProgressStart;
  target.OnProgress = source.OnProgress;
  target.OnProgressEnd = source.OnProgressEnd;
  target.SetDither(source.Dither());
  target.SetDitherErrorLimit(source.DitherErrorLimit());
  target.SetDitherErrorLimitAuto(source.DitherErrorLimitAuto());
  target.SetDitherErrorLimitSoft(source.DitherErrorLimitSoft());
  target.SetRGBWeighting(source.RGBWeighting());
  target.SetGamma(source.Gamma());

  const int32_t width = source.Width();
  const int32_t height = source.Height();
  auto buildPalette = [&](int32_t colorCount, bool addSystemColors) {
    const std::vector<TColor> palette = BuildPalette(source, colorCount, addSystemColors);
    target.SetPaletteCount(static_cast<int32_t>(palette.size()));
    for (size_t i = 0; i < palette.size(); ++i) target.SetPaletteEntries(static_cast<int32_t>(i), palette[i]);
  };
  target.BeginUpdate();
  try {
    switch (res) {
      case crBlackWhite:
        target.NewImage(width, height, bc1Bit);
        target.SetPaletteIdent(pBlackWhite);
        break;
      case cr2Colors:
        target.NewImage(width, height, bc1Bit);
        buildPalette(2, false);
        break;
      case cr16Gray:
        target.NewImage(width, height, bc4Bit);
        target.SetPaletteIdent(pGray16);
        break;
      case cr16SysColors:
        target.NewImage(width, height, bc4Bit);
        target.SetPaletteIdent(pSys16);
        break;
      case cr16Colors:
        target.NewImage(width, height, bc4Bit);
        buildPalette(16, false);
        break;
      case cr256Gray:
        target.NewImage(width, height, bc8Bit);
        target.SetPaletteIdent(pGray256);
        break;
      case cr256Colors:
        target.NewImage(width, height, bc8Bit);
        buildPalette(252, true);  // 236 chosen + the 16 system colours
        break;
      case cr16MColors:
        target.NewImage(width, height, bc24Bit);
        break;
    }
    target.CopyRect(0, 0, width, height, 0, 0, source);
  } catch (...) {
    target.EndUpdate();
    throw;
  }
  target.EndUpdate();
}

void SaveGraphic(TPixelGraphic& graphic, std::string extension,
                 const std::function<void(const TFileFormatWriter& writer, TPixelGraphic& image)>& write) {
  extension = NormalizeExtension(extension);
  if (FileFormatWriters().empty()) throw EPGFileFormatWritersEmpty(MessageText(16, "FileFormatWriters"));
  const TFileFormatWriter* writer = FindFileFormatWriter(extension);
  if (writer == nullptr) throw EPGUnknownExtension(MessageText(19, extension));

  const TColorRes current = graphic.ColorRes();
  TColorRes target = current;
  if (!FallbackColorRes(current, writer->CanWriteResolutions, target)) {
    throw EPGCanWriteResolutionsEmpty(MessageText(16, writer->ClassName() + ".CanWriteResolutions"));
  }
  if (target == current) {
    write(*writer, graphic);
    return;
  }

  const std::string warning =
      MessageText(17, writer->Description, ColorResName(current), ColorResName(target));
  bool refuse = false;
  switch (graphic.SaveColorResWarningAction()) {
    case pgwaIgnore:
      break;
    case pgwaOKBox:
      AskQuestion(MessageText(28), warning, TQuestionButtons::OK);
      break;
    case pgwaOKCancelBox:
      refuse = AskQuestion(MessageText(28), warning, TQuestionButtons::OKCancel) != TQuestionAnswer::OK;
      break;
    case pgwaRaise:
      refuse = true;
      break;
  }
  if (refuse) throw EPGCannotWriteColorRes(MessageText(18, writer->Description, ColorResName(current)));

  TPixelGraphic converted;
  ConvertToColorRes(graphic, target, converted);
  write(*writer, converted);
}

// ---- Loading ------------------------------------------------------------------------------------

bool CorrectLoadedGamma(TPixelGraphic& graphic) {
  const TFormatOptions& options = FormatOptions();
  if (!options.GammaCorrection || !(options.DefaultGamma > 0)) return false;
  const long double ratio = graphic.Gamma() / options.DefaultGamma;
  if (!std::isfinite(ratio) || std::fabs(ratio - 1.0L) <= 0.05L) return false;
  ApplyGammaTable(graphic, BuildGammaTable(ratio));
  graphic.SetGamma(options.DefaultGamma);
  return true;
}

// ---- Information and the open dialog's filter ----------------------------------------------------

bool GetGraphicFileInfo(const std::string& fileName, int32_t index, std::string& description,
                        int32_t& imageCount, int32_t& bitsPerPixel, std::string& colorsText, int32_t& height,
                        int32_t& width, std::string& infoText, std::string& subFormatText) {
  description.clear();
  imageCount = 0;
  bitsPerPixel = 0;
  colorsText.clear();
  height = 0;
  width = 0;
  infoText.clear();
  subFormatText.clear();
  try {
    const std::filesystem::path path(fileName);
    std::error_code error;
    if (!path.has_extension() || !std::filesystem::is_regular_file(path, error)) return false;
    TFileStream stream(path, TFileMode::Read);
    const TFileFormatReader* reader = FindFileFormatReader(stream, path.extension().string());
    if (reader == nullptr) return false;
    description = reader->Description;
    const int64_t position = stream.Position();
    reader->GetInfo(stream, index, imageCount, bitsPerPixel, colorsText, height, width, infoText,
                    subFormatText);
    stream.SetPosition(position);
    return true;
  } catch (...) {
    return false;
  }
}

std::string BuildReaderFilter() {
  std::vector<const TFileFormatReader*> shown;
  for (const auto& reader : FileFormatReaders()) {
    if (reader->ShowInFilter) shown.push_back(reader.get());
  }
  std::string filter;
  if (!shown.empty()) {
    filter = MessageText(25) + "|";
    for (size_t i = 0; i < shown.size(); ++i) {
      if (i > 0) filter += "; ";
      filter += "*." + ToLower(shown[i]->Extension);
    }
    filter += "|";
    for (const TFileFormatReader* reader : shown) {
      filter +=
          ToUpper(reader->Extension) + " - " + reader->Description + "|*." + ToLower(reader->Extension) + "|";
    }
  }
  return filter + MessageText(26) + "|*.*";
}

}  // namespace pg
