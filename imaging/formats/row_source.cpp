#include "imaging/formats/row_source.h"

#include <climits>
#include <filesystem>
#include <string>

#include "imaging/image/exceptions.h"
#include "imaging/image/messages.h"
#include "imaging/image/stream.h"

namespace pg {

namespace {

// Bytes of one row of `width` pixels of `bits` bits, padded to 4 bytes as the image pads them.
int64_t RowBytesOf(int64_t width, int64_t bits) {
  return (width * bits + 31) / 32 * 4;
}

}  // namespace

std::unique_ptr<TRowSource> TRowSource::Open(const std::string& fileName, const TLoadOptions& options,
                                             const TPixelGraphic* settings) {
  auto stream = std::make_unique<TFileStream>(fileName, TFileMode::Read);
  return Open(std::move(stream), NormalizeExtension(std::filesystem::path(fileName).extension().string()),
              options, settings);
}

std::unique_ptr<TRowSource> TRowSource::Open(std::unique_ptr<TStream> stream, std::string_view extension,
                                             const TLoadOptions& options, const TPixelGraphic* settings) {
  std::unique_ptr<TRowSource> source(new TRowSource());
  source->stream_ = std::move(stream);
  TPixelGraphic& shape = source->shape_;
  if (settings != nullptr) {
    shape.SetBackgroundValue(settings->BackgroundValue());
    shape.SetReadWarningAction(settings->ReadWarningAction());
    shape.SetFastDecoding(settings->FastDecoding());
  }
  // The state LoadImage hands a reader.
  shape.NewImage(0, 0, bc24Bit);
  shape.SetGamma(options.DefaultGamma);
  const TFileFormatReader* reader = FindFileFormatReader(*source->stream_, std::string(extension));
  if (reader == nullptr) throw EPGUnknownFileFormat(MessageText(6));
  // Decoders may keep pointers into the options (the question handler): the source holds them.
  source->options_ = options;
  source->decoder_ = reader->OpenRows(*source->stream_, shape, 0, source->options_);
  // Pictures without pixels gain nothing from rows; the whole load handles them.
  if (source->decoder_ == nullptr || shape.Width() <= 0 || source->decoder_->Height() <= 0) return nullptr;
  // Rows are the least a streamed read holds; an image row is addressed with 32 bits.
  const int64_t rowBytes = RowBytesOf(shape.Width(), shape.BitCountNum());
  if (rowBytes > INT32_MAX) {
    throw EPGInvalidSize("A row of " + std::to_string(shape.Width()) + " pixels takes " +
                         std::to_string(rowBytes) + " bytes, more than one row of an image can hold (" +
                         std::to_string(INT32_MAX) + " bytes); the picture cannot be read");
  }

  // The load's gamma correction: a palette's entries now, the bytes of 24-bit rows as they come.
  if (std::optional<TGammaTable> table = LoadedGammaTable(shape, options)) {
    if (shape.BitCount() == bc24Bit) {
      source->rowGamma_ = *table;
    } else {
      ApplyGammaTable(shape, *table);
    }
    shape.SetGamma(options.DefaultGamma);
  }
  shape.RecognizePalette();
  return source;
}

TRowSource::~TRowSource() = default;

void TRowSource::ShapeBand(TPixelGraphic& band, int32_t rows) const {
  const TUpdateScope update(band);
  try {
    band.NewImage(Width(), rows, BitCount());
  } catch (const std::exception&) {
    throw EPGInvalidSize(std::to_string(rows) + (rows == 1 ? " row" : " rows") + " of " +
                         std::to_string(Width()) + " pixels (" +
                         std::to_string(RowBytesOf(Width(), shape_.BitCountNum()) * rows) +
                         " bytes) cannot be held in memory; the picture cannot be read");
  }
  band.SetPaletteCount(shape_.PaletteCount());
  for (int32_t i = 0; i < shape_.PaletteCount(); ++i) band.SetPaletteEntries(i, shape_.PaletteEntries(i));
  band.RecognizePalette();
  band.SetGamma(shape_.Gamma());
}

void TRowSource::ReadRows(TPixelGraphic& band, int32_t count) {
  if (count < 0 || count > band.Height() || count > Height() - rowsRead_ || band.Width() != Width() ||
      band.BitCount() != BitCount()) {
    throw EPixelGraphic("TRowSource::ReadRows: the band does not fit the rows asked for");
  }
  const int64_t colorBytes = 3 * static_cast<int64_t>(Width());
  try {
    for (int32_t y = 0; y < count; ++y) {
      uint8_t* row = band.ScanLine(y);
      decoder_->ReadRow(row);
      if (rowGamma_) {
        for (int64_t i = 0; i < colorBytes; ++i) row[i] = (*rowGamma_)[row[i]];
      }
      ++rowsRead_;
    }
  } catch (...) {
    failure_ = std::current_exception();
    throw;
  }
}

void TRowSource::Finish() {
  try {
    decoder_->Finish();
  } catch (...) {
    failure_ = std::current_exception();
    throw;
  }
}

}  // namespace pg
