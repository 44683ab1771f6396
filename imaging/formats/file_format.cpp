#include "imaging/formats/file_format.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <system_error>

#include "imaging/formats/avif.h"
#include "imaging/formats/bmp.h"
#include "imaging/formats/jpeg.h"
#include "imaging/formats/pcx.h"
#include "imaging/formats/png.h"
#include "imaging/formats/pnm.h"
#include "imaging/formats/tga.h"
#include "imaging/formats/tiff.h"
#include "imaging/formats/webp.h"
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

// How an image of each colour resolution is laid out: its pixel format, and either a standard
// palette or the number of colours to choose from the source (with the 16 system colours added).
struct TResLayout {
  TBitCount BitCount;
  TPaletteIdent Standard;
  int32_t BuiltColors;
  bool WithSystemColors;
};
constexpr TResLayout kResLayouts[8] = {
    {bc1Bit, pBlackWhite, 0, false}, {bc1Bit, pNone, 2, false},       {bc4Bit, pGray16, 0, false},
    {bc4Bit, pSys16, 0, false},      {bc4Bit, pNone, 16, false},      {bc8Bit, pGray256, 0, false},
    {bc8Bit, pNone, 252, true},      {bc24Bit, pTrueColor, 0, false},
};

}  // namespace

// ---- Base classes -------------------------------------------------------------------------------

bool TFileFormatReader::IsFormat(const uint8_t*) const {
  return false;
}

void ReadRowsInto(TRowDecoder& decoder, TPixelGraphic& graphic, const void* sender) {
  const int32_t rows = decoder.Height();
  {
    const TProgressScope progress(graphic, sender);
    for (int32_t y = 0; y < rows; ++y) {
      decoder.ReadRow(graphic.ScanLine(y));
      if (progress.Step(y, rows)) return;
    }
  }
  decoder.Finish();
}

void TFileFormatReader::ReadFromStream(TStream&, TPixelGraphic&, int32_t, const TLoadOptions&) const {}

std::unique_ptr<TRowDecoder> TFileFormatReader::OpenRows(TStream&, TPixelGraphic&, int32_t,
                                                         const TLoadOptions&) const {
  return nullptr;
}

void TFileFormatReader::GetInfo(TStream&, int32_t, int32_t& imageCount, int32_t& bitsPerPixel,
                                std::string& colorsText, int32_t& height, int32_t& width,
                                std::string& infoText, std::string& subFormatText,
                                const TLoadOptions&) const {
  imageCount = 1;
  bitsPerPixel = 0;
  colorsText.clear();
  height = 0;
  width = 0;
  infoText.clear();
  subFormatText.clear();
}

void TFileFormatWriter::WriteToStream(TStream&, TPixelGraphic&, const TSaveOptions&) const {}
void TFileFormatWriter::WriteHeader(TStream&, const TSaveOptions&) const {}
void TFileFormatWriter::WriteImage(TStream&, TPixelGraphic&, const TSaveOptions&) const {}
void TFileFormatWriter::WriteTrailer(TStream&, const TSaveOptions&) const {}

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
    Register<TWebPFileFormatReader>(list);
    Register<TAVIFFileFormatReader>(list);
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
    RegisterWriter<TWebPFileFormatWriter>(list);
    RegisterWriter<TAVIFFileFormatWriter>(list);
    SortByExtension(list);
    return list;
  }();
  return writers;
}

const TFileFormatReader& FileFormatReaderFor(TStream& stream, std::string_view extension) {
  const std::string wanted = NormalizeExtension(extension);
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
    if (reader->HasSignature && reader->IsFormat(header)) return *reader;
  }
  if (!wanted.empty()) {
    for (const auto& reader : FileFormatReaders()) {
      if (!reader->HasSignature && ToLower(reader->Extension) == wanted) return *reader;
    }
  }
  throw EPGUnknownFileFormat(MessageText(6));
}

const TFileFormatReader* FindFileFormatReader(TStream& stream, std::string extension) {
  try {
    return &FileFormatReaderFor(stream, extension);
  } catch (...) {
    return nullptr;
  }
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

TLoadOptions DefaultLoadOptions() {
  TLoadOptions options;
  static_cast<TLoadSettings&>(options) = FormatOptions();
  options.Question = QuestionHandler();
  return options;
}

TSaveOptions DefaultSaveOptions() {
  TSaveOptions options;
  static_cast<TSaveSettings&>(options) = FormatOptions();
  options.Question = QuestionHandler();
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
  const TResLayout& layout = kResLayouts[static_cast<size_t>(res) & 7];
  const TUpdateScope update(target);
  target.NewImage(width, height, layout.BitCount);
  if (layout.BuiltColors > 0) {
    const std::vector<TColor> palette = BuildPalette(source, layout.BuiltColors, layout.WithSystemColors);
    target.SetPaletteCount(static_cast<int32_t>(palette.size()));
    for (size_t i = 0; i < palette.size(); ++i) target.SetPaletteEntries(static_cast<int32_t>(i), palette[i]);
  } else if (layout.BitCount != bc24Bit) {
    target.SetPaletteIdent(layout.Standard);
  }
  target.CopyRect(0, 0, width, height, 0, 0, source);
}

void SaveGraphic(TPixelGraphic& graphic, std::string_view extension, const TSaveOptions& options,
                 const std::function<void(const TFileFormatWriter& writer, TPixelGraphic& image)>& write) {
  const std::string wanted = NormalizeExtension(extension);
  if (FileFormatWriters().empty()) throw EPGFileFormatWritersEmpty(MessageText(16, "FileFormatWriters"));
  const TFileFormatWriter* writer = FindFileFormatWriter(wanted);
  if (writer == nullptr) throw EPGUnknownExtension(MessageText(19, wanted));

  // An indexed PNG gets a palette of its own, built for this picture; PNG holds every resolution
  // the reduction gives, so no negotiation follows.
  if (options.PNGIndexed && writer->Extension == "png") {
    TPixelGraphic indexed;
    ReduceToPalette(graphic, std::clamp(options.PNGColors, 2, 256), options.PNGDither, indexed);
    write(*writer, indexed);
    return;
  }

  // A palette set entry by entry is known by its entries: a grey ramp saves as grey.
  graphic.RecognizePalette();
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
  const TPGWarningAction action = options.ColorResWarningAction.value_or(graphic.SaveColorResWarningAction());
  if (HandleWarning(action, options.Question, MessageText(28), warning) != TWarningOutcome::Continue)
    throw EPGCannotWriteColorRes(MessageText(18, writer->Description, ColorResName(current)));

  TPixelGraphic converted;
  ConvertToColorRes(graphic, target, converted);
  write(*writer, converted);
}

// ---- Loading ------------------------------------------------------------------------------------

std::optional<TGammaTable> LoadedGammaTable(const TPixelGraphic& graphic, const TLoadSettings& options) {
  if (!options.GammaCorrection || !(options.DefaultGamma > 0)) return std::nullopt;
  const long double ratio = graphic.Gamma() / options.DefaultGamma;
  if (!std::isfinite(ratio) || std::fabs(ratio - 1.0L) <= 0.05L) return std::nullopt;
  return BuildGammaTable(ratio);
}

bool CorrectLoadedGamma(TPixelGraphic& graphic, const TLoadSettings& options) {
  const std::optional<TGammaTable> table = LoadedGammaTable(graphic, options);
  if (!table) return false;
  ApplyGammaTable(graphic, *table);
  graphic.SetGamma(options.DefaultGamma);
  return true;
}

// ---- Information and the open dialog's filter ----------------------------------------------------

bool GetGraphicFileInfo(const std::string& fileName, int32_t index, std::string& description,
                        int32_t& imageCount, int32_t& bitsPerPixel, std::string& colorsText, int32_t& height,
                        int32_t& width, std::string& infoText, std::string& subFormatText) {
  TGraphicFileInfo info;
  bool ok = false;
  try {
    const std::filesystem::path path(fileName);
    std::error_code error;
    if (path.has_extension() && std::filesystem::is_regular_file(path, error)) {
      ReadGraphicFileInfo(fileName, index, info, DefaultLoadOptions());
      ok = true;
    }
  } catch (...) {
  }
  description = info.Description;
  imageCount = info.ImageCount;
  bitsPerPixel = info.BitsPerPixel;
  colorsText = info.ColorsText;
  height = info.Height;
  width = info.Width;
  infoText = info.InfoText;
  subFormatText = info.SubFormatText;
  return ok;
}

void ReadGraphicFileInfo(const std::string& fileName, int32_t index, TGraphicFileInfo& info,
                         const TLoadOptions& options) {
  info = TGraphicFileInfo();
  const std::filesystem::path path(fileName);
  TFileStream stream(path, TFileMode::Read);
  const TFileFormatReader& reader = FileFormatReaderFor(stream, path.extension().string());
  info.Description = reader.Description;
  const int64_t position = stream.Position();
  reader.GetInfo(stream, index, info.ImageCount, info.BitsPerPixel, info.ColorsText, info.Height, info.Width,
                 info.InfoText, info.SubFormatText, options);
  stream.SetPosition(position);
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
