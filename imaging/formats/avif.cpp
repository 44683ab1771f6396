#include "imaging/formats/avif.h"

#include <avif/avif.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <thread>
#include <vector>

#include "imaging/formats/format_io.h"

namespace pg {

namespace {

const formats::TFormatErrors<EPGAVIFFileFormatReaderWriter> kErrors{"AVIF: "};

// The largest side an AV1 picture can have.
constexpr int64_t kMaxSide = 65536;
// Rows converted to YUV at a time by the writer; even, so 4:2:0 chroma pairs never straddle two.
constexpr int32_t kBandRows = 16;

[[noreturn]] void RaiseResult(avifResult result, const avifDiagnostics* diag) {
  if (result == AVIF_RESULT_TRUNCATED_DATA) kErrors.EndOfFile();
  std::string text = avifResultToString(result);
  if (diag != nullptr && diag->error[0] != '\0') text += " (" + std::string(diag->error) + ")";
  kErrors.Raise(text);
}

int32_t HardwareThreads() {
  return static_cast<int32_t>(std::clamp(std::thread::hardware_concurrency(), 1u, 64u));
}

// ---- Reading through a stream -----------------------------------------------------------------

// libavif reads the file through this: each read is taken from the stream into one buffer, which
// never holds more than the stream has from the asked offset on.
struct TStreamIO {
  avifIO IO{};
  TStream* Stream = nullptr;
  int64_t Start = 0;
  int64_t Size = 0;
  std::vector<uint8_t> Buffer;
};

avifResult ReadFn(avifIO* io, uint32_t readFlags, uint64_t offset, size_t size, avifROData* out) {
  auto* source = static_cast<TStreamIO*>(io->data);
  if (readFlags != 0 || offset > static_cast<uint64_t>(source->Size)) return AVIF_RESULT_IO_ERROR;
  const auto available = static_cast<uint64_t>(source->Size) - offset;
  const auto count = static_cast<size_t>(std::min<uint64_t>(size, available));
  try {
    source->Buffer.resize(count);
    source->Stream->SetPosition(source->Start + static_cast<int64_t>(offset));
    if (!source->Stream->ReadExact(source->Buffer.data(), count)) return AVIF_RESULT_IO_ERROR;
  } catch (...) {
    return AVIF_RESULT_IO_ERROR;
  }
  out->data = source->Buffer.data();
  out->size = count;
  return AVIF_RESULT_OK;
}

// A decoder reading the stream from its position, its limits on picture size and side those of
// `maxPixels` (libavif takes no more than its default size limit).
struct TDecoder {
  TStreamIO Source;
  avifDecoder* Decoder = nullptr;

  TDecoder(TStream& stream, int64_t maxPixels) {
    Source.Stream = &stream;
    Source.Start = stream.Position();
    Source.Size = stream.Remaining();
    Source.IO.read = ReadFn;
    Source.IO.sizeHint = static_cast<uint64_t>(Source.Size);
    Source.IO.persistent = AVIF_FALSE;
    Source.IO.data = &Source;
    Decoder = avifDecoderCreate();
    if (Decoder == nullptr) kErrors.Raise(MessageText(31, "avifDecoderCreate"));
    const int64_t limit = std::max<int64_t>(maxPixels, 1);
    Decoder->imageSizeLimit = static_cast<uint32_t>(std::min<int64_t>(limit, AVIF_DEFAULT_IMAGE_SIZE_LIMIT));
    Decoder->imageDimensionLimit = static_cast<uint32_t>(std::min(limit, kMaxSide));
    // Files that lack properties some encoders leave out still decode; none of them is needed to
    // read the pixels safely.
    Decoder->strictFlags = AVIF_STRICT_DISABLED;
    Decoder->ignoreExif = AVIF_TRUE;
    Decoder->ignoreXMP = AVIF_TRUE;
    Decoder->maxThreads = HardwareThreads();
    avifDecoderSetIO(Decoder, &Source.IO);
  }
  ~TDecoder() { avifDecoderDestroy(Decoder); }
  TDecoder(const TDecoder&) = delete;
  TDecoder& operator=(const TDecoder&) = delete;
};

// Parses the file's boxes with libavif's limits at the pixel limit, so neither the container nor
// the AV1 decoder takes a larger picture. A file that fails is parsed again under the format's
// own bounds only to tell a picture over the pixel limit (EPGPixelLimit, with its size) from a
// damaged file; a parse allocates nothing for the pixels.
void ParseWithinLimit(TDecoder& decoder, TStream& stream, int64_t maxPixels) {
  const int64_t start = stream.Position();
  const avifResult result = avifDecoderParse(decoder.Decoder);
  if (result == AVIF_RESULT_OK) {
    kErrors.CheckImageSize(decoder.Decoder->image->width, decoder.Decoder->image->height, maxPixels);
    return;
  }
  try {
    stream.SetPosition(start);
    TDecoder bounded(stream, AVIF_DEFAULT_IMAGE_SIZE_LIMIT);
    if (avifDecoderParse(bounded.Decoder) == AVIF_RESULT_OK) {
      kErrors.CheckPixelLimit(bounded.Decoder->image->width, bounded.Decoder->image->height, maxPixels);
    }
  } catch (const EPGPixelLimit&) {
    throw;
  } catch (...) {
  }
  RaiseResult(result, &decoder.Decoder->diag);
}

std::string ChromaText(avifPixelFormat format) {
  switch (format) {
    case AVIF_PIXEL_FORMAT_YUV444:
      return "4:4:4";
    case AVIF_PIXEL_FORMAT_YUV422:
      return "4:2:2";
    case AVIF_PIXEL_FORMAT_YUV420:
      return "4:2:0";
    case AVIF_PIXEL_FORMAT_YUV400:
      return "4:0:0";
    default:
      return "?";
  }
}

// Alpha sample x of row y as 0 .. 255.
uint32_t AlphaAt(const avifImage& image, int32_t x, int32_t y) {
  const uint8_t* row = image.alphaPlane + static_cast<size_t>(y) * image.alphaRowBytes;
  if (image.depth <= 8) return row[x];
  const uint32_t max = (1u << image.depth) - 1;
  uint16_t sample;
  std::memcpy(&sample, row + 2 * static_cast<size_t>(x), sizeof(sample));
  return (std::min<uint32_t>(sample, max) * 255 + max / 2) / max;
}

// ---- Writing ----------------------------------------------------------------------------------

struct TImageDeleter {
  void operator()(avifImage* image) const { avifImageDestroy(image); }
};
struct TEncoderDeleter {
  void operator()(avifEncoder* encoder) const { avifEncoderDestroy(encoder); }
};
using TImagePtr = std::unique_ptr<avifImage, TImageDeleter>;

}  // namespace

int32_t AVIFQuantizerOf(int32_t quality) {
  const int32_t q = std::clamp(quality, 0, 100);
  return ((100 - q) * AVIF_QUANTIZER_WORST_QUALITY + 50) / 100;
}

// ---- Reader -------------------------------------------------------------------------------------

TAVIFFileFormatReader::TAVIFFileFormatReader() {
  Extension = "avif";
  Description = "AV1 Image File Format";
  HasSignature = true;
}

bool TAVIFFileFormatReader::IsFormat(const uint8_t* header) const {
  return std::memcmp(header + 4, "ftyp", 4) == 0 &&
         (std::memcmp(header + 8, "avif", 4) == 0 || std::memcmp(header + 8, "avis", 4) == 0);
}

void TAVIFFileFormatReader::ReadFromStream(TStream& stream, TPixelGraphic& graphic, int32_t index,
                                           const TLoadOptions& options) const {
  kErrors.CheckIndex(index, false);
  graphic.SetGamma(options.DefaultGamma);
  const TColor background = graphic.BackgroundColor();  // taken before the pixel format changes

  TDecoder decoder(stream, options.MaxPixels);
  ParseWithinLimit(decoder, stream, options.MaxPixels);
  const avifImage& image = *decoder.Decoder->image;
  const int64_t width = image.width;
  const int64_t height = image.height;
  const avifResult decoded = avifDecoderNextImage(decoder.Decoder);
  if (decoded != AVIF_RESULT_OK) RaiseResult(decoded, &decoder.Decoder->diag);
  if (image.width != width || image.height != height) kErrors.Invalid("Width or Height");
  const bool alpha = image.alphaPlane != nullptr && image.alphaRowBytes != 0;

  // The colour rows go straight into the image's memory, top row first; the rows are then put in
  // the image's bottom-up order in place, one pair at a time. Converted without an alpha channel,
  // libavif gives colours over black (premultiplied), to which the background's share is added.
  graphic.NewImage(static_cast<int32_t>(width), static_cast<int32_t>(height), bc24Bit);
  avifRGBImage rgb;
  avifRGBImageSetDefaults(&rgb, &image);
  rgb.format = AVIF_RGB_FORMAT_BGR;
  rgb.depth = 8;
  rgb.pixels = graphic.Bits();
  rgb.rowBytes = static_cast<uint32_t>(graphic.BytesPerRow());
  const avifResult converted = avifImageYUVToRGB(&image, &rgb);
  if (converted != AVIF_RESULT_OK) RaiseResult(converted, nullptr);

  const auto rows = static_cast<int32_t>(height);
  const auto columns = static_cast<int32_t>(width);
  const size_t rowBytes = static_cast<size_t>(graphic.BytesPerRow());
  std::vector<uint8_t> spare(rowBytes);
  const TProgressScope progress(graphic, this);
  for (int32_t y = 0; y < rows; ++y) {
    const int32_t mirror = rows - 1 - y;
    if (y < mirror) {
      std::memcpy(spare.data(), graphic.ScanLine(y), rowBytes);
      std::memcpy(graphic.ScanLine(y), graphic.ScanLine(mirror), rowBytes);
      std::memcpy(graphic.ScanLine(mirror), spare.data(), rowBytes);
    }
    if (alpha) {
      uint8_t* out = graphic.ScanLine(y);
      const uint32_t channels[3] = {GetBValue(background), GetGValue(background), GetRValue(background)};
      for (int32_t x = 0; x < columns; ++x, out += 3) {
        const uint32_t a = AlphaAt(image, x, y);
        for (int c = 0; c < 3; ++c)
          out[c] =
              static_cast<uint8_t>(std::min<uint32_t>(255, out[c] + (channels[c] * (255 - a) + 127) / 255));
      }
    }
    if (progress.Step(y, rows)) {
      // The rows below this one are not finished (some still in the decoder's order): they stay
      // black, as rows not read yet are.
      for (int32_t rest = y + 1; rest < rows; ++rest) std::memset(graphic.ScanLine(rest), 0, rowBytes);
      return;
    }
  }
}

void TAVIFFileFormatReader::GetInfo(TStream& stream, int32_t index, int32_t& imageCount,
                                    int32_t& bitsPerPixel, std::string& colorsText, int32_t& height,
                                    int32_t& width, std::string& infoText, std::string& subFormatText,
                                    const TLoadOptions& options) const {
  TFileFormatReader::GetInfo(stream, index, imageCount, bitsPerPixel, colorsText, height, width, infoText,
                             subFormatText, options);
  kErrors.CheckIndex(index, true);
  TDecoder decoder(stream, options.MaxPixels);
  ParseWithinLimit(decoder, stream, options.MaxPixels);
  const avifDecoder& d = *decoder.Decoder;
  width = static_cast<int32_t>(std::min<uint32_t>(d.image->width, INT32_MAX));
  height = static_cast<int32_t>(std::min<uint32_t>(d.image->height, INT32_MAX));
  const bool monochrome = d.image->yuvFormat == AVIF_PIXEL_FORMAT_YUV400;
  bitsPerPixel = static_cast<int32_t>(d.image->depth) * ((monochrome ? 1 : 3) + (d.alphaPresent ? 1 : 0));
  colorsText = ColorResName(monochrome && d.image->depth == 8 ? cr256Gray : cr16MColors);
  subFormatText = "YUV " + ChromaText(d.image->yuvFormat) + ", " + std::to_string(d.image->depth) + " bits";
  if (d.alphaPresent) infoText = "alpha channel";
  if (d.imageCount > 1) {
    infoText += (infoText.empty() ? "" : ", ") + std::to_string(d.imageCount) + " frames";
  }
}

// ---- Writer -------------------------------------------------------------------------------------

TAVIFFileFormatWriter::TAVIFFileFormatWriter() {
  Extension = "avif";
  Description = "AV1 Image File Format";
  CanWriteResolutions = {crBlackWhite, cr2Colors, cr16Gray,    cr16SysColors,
                         cr16Colors,   cr256Gray, cr256Colors, cr16MColors};
}

void TAVIFFileFormatWriter::WriteToStream(TStream& stream, TPixelGraphic& graphic,
                                          const TSaveOptions& options) const {
  kErrors.CheckWritableSize(graphic, kMaxSide);
  const int32_t width = graphic.Width();
  const int32_t height = graphic.Height();

  TImagePtr image(avifImageCreate(static_cast<uint32_t>(width), static_cast<uint32_t>(height), 8,
                                  AVIF_PIXEL_FORMAT_YUV420));
  if (!image) kErrors.Raise(MessageText(31, "avifImageCreate"));
  image->colorPrimaries = AVIF_COLOR_PRIMARIES_BT709;
  image->transferCharacteristics = AVIF_TRANSFER_CHARACTERISTICS_SRGB;
  image->matrixCoefficients = AVIF_MATRIX_COEFFICIENTS_BT601;
  image->yuvRange = AVIF_RANGE_FULL;
  avifResult result = avifImageAllocatePlanes(image.get(), AVIF_PLANES_YUV);
  if (result != AVIF_RESULT_OK) RaiseResult(result, nullptr);

  // The picture is converted to YUV a band of rows at a time through a view of those rows; 4:2:0
  // chroma is the mean of each 2 x 2 block, so bands of even height give the whole picture's result.
  const TProgressScope progress(graphic, this);
  {
    TImagePtr view(avifImageCreateEmpty());
    if (!view) kErrors.Raise(MessageText(31, "avifImageCreateEmpty"));
    const bool direct = graphic.BitCount() == bc24Bit;
    const std::vector<TColor> palette = formats::PaletteTable(graphic);
    const size_t rowBytes = static_cast<size_t>(width) * 3;
    std::vector<uint8_t> band(rowBytes * kBandRows);
    for (int32_t top = 0; top < height; top += kBandRows) {
      const int32_t rows = std::min(kBandRows, height - top);
      for (int32_t i = 0; i < rows; ++i) {
        uint8_t* row = band.data() + rowBytes * static_cast<size_t>(i);
        if (direct) {
          std::memcpy(row, graphic.ScanLine(top + i), rowBytes);
        } else {
          formats::RowToRGB(graphic, palette, top + i, row);
        }
      }
      const avifCropRect rect{0, static_cast<uint32_t>(top), static_cast<uint32_t>(width),
                              static_cast<uint32_t>(rows)};
      result = avifImageSetViewRect(view.get(), image.get(), &rect);
      if (result != AVIF_RESULT_OK) RaiseResult(result, nullptr);
      avifRGBImage rgb;
      avifRGBImageSetDefaults(&rgb, view.get());
      rgb.format = direct ? AVIF_RGB_FORMAT_BGR : AVIF_RGB_FORMAT_RGB;
      rgb.pixels = band.data();
      rgb.rowBytes = static_cast<uint32_t>(rowBytes);
      result = avifImageRGBToYUV(view.get(), &rgb);
      // The conversion marks the planes it wrote as the view's own; they remain the picture's.
      view->imageOwnsYUVPlanes = AVIF_FALSE;
      if (result != AVIF_RESULT_OK) RaiseResult(result, nullptr);
      for (int32_t i = 0; i < rows; ++i) progress.Step(top + i, height);  // a file is written whole
    }
  }

  std::unique_ptr<avifEncoder, TEncoderDeleter> encoder(avifEncoderCreate());
  if (!encoder) kErrors.Raise(MessageText(31, "avifEncoderCreate"));
  // aom's own encoder when there is one: the fastest of libavif's encoders for still pictures.
  if (avifCodecName(AVIF_CODEC_CHOICE_AOM, AVIF_CODEC_FLAG_CAN_ENCODE) != nullptr)
    encoder->codecChoice = AVIF_CODEC_CHOICE_AOM;
  // aom decides some things differently on one thread than on several (and alike on any number
  // of them), so an encoder always gets at least two: a picture gives the same file however many
  // are encoded side by side. The second thread mostly waits for the first.
  const int32_t threads = options.EncoderThreads > 0 ? options.EncoderThreads : HardwareThreads();
  encoder->maxThreads = std::max(2, threads);
  encoder->speed = std::clamp(options.AVIFSpeed, AVIF_SPEED_SLOWEST, AVIF_SPEED_FASTEST);
  encoder->minQuantizer = encoder->maxQuantizer = AVIFQuantizerOf(options.AVIFQuality);
  avifRWData output = AVIF_DATA_EMPTY;
  result = avifEncoderWrite(encoder.get(), image.get(), &output);
  if (result != AVIF_RESULT_OK) RaiseResult(result, &encoder->diag);
  struct TFree {
    avifRWData& Data;
    ~TFree() { avifRWDataFree(&Data); }
  } free{output};
  stream.WriteBuffer(output.data, output.size);
}

}  // namespace pg
