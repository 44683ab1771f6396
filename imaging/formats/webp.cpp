#include "imaging/formats/webp.h"

#include <webp/decode.h>
#include <webp/encode.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "imaging/formats/format_io.h"

namespace pg {

namespace {

const formats::TFormatErrors<EPGWebPFileFormatReaderWriter> kErrors{"WebP: "};

// "RIFF", the size of what follows, "WEBP"; the chunks come after.
constexpr size_t kRiffHeaderSize = 12;
constexpr size_t kChunkHeaderSize = 8;
// The file is handed to the decoder in pieces of this size, so its rows come as the data does.
constexpr size_t kReadPiece = 64 * 1024;

std::string StatusText(VP8StatusCode status) {
  switch (status) {
    case VP8_STATUS_OUT_OF_MEMORY:
      return "not enough memory to decode the picture";
    case VP8_STATUS_UNSUPPORTED_FEATURE:
      return MessageText(30);
    case VP8_STATUS_NOT_ENOUGH_DATA:
    case VP8_STATUS_SUSPENDED:
      return MessageText(32);
    default:
      return "the data is damaged (" + MessageText(7, "bitstream") + ")";
  }
}

// The bytes of one WebP file, read from the stream as the decoder asks for them. The whole file
// must be in the stream (its RIFF header says how long it is) before anything is allocated for it.
class TWebPInput {
 public:
  explicit TWebPInput(TStream& stream) : stream_(stream) {
    uint8_t header[kRiffHeaderSize];
    kErrors.Read(stream, header, sizeof(header));
    if (std::memcmp(header, "RIFF", 4) != 0 || std::memcmp(header + 8, "WEBP", 4) != 0)
      kErrors.Raise(MessageText(34, "WebP"));
    const uint64_t size = uint64_t{GetLE32(header + 4)} + kChunkHeaderSize;
    if (size < kRiffHeaderSize + kChunkHeaderSize) kErrors.Invalid("RIFF size");
    if (size - kRiffHeaderSize > static_cast<uint64_t>(stream.Remaining())) kErrors.EndOfFile();
    data_.resize(static_cast<size_t>(size));
    std::memcpy(data_.data(), header, sizeof(header));
    have_ = sizeof(header);
  }

  const uint8_t* Data() const { return data_.data(); }
  size_t Have() const { return have_; }
  bool Complete() const { return have_ == data_.size(); }

  // Reads the next piece; raises "Unexpected end of file" when the stream has no more.
  void ReadMore() {
    const size_t want = std::min(kReadPiece, data_.size() - have_);
    const size_t got = stream_.Read(data_.data() + have_, want);
    if (got == 0) kErrors.EndOfFile();
    have_ += got;
  }

  // The features of the bitstream, reading as far as the decoder needs to tell them.
  WebPBitstreamFeatures Features() {
    WebPBitstreamFeatures features;
    for (;;) {
      const VP8StatusCode status = WebPGetFeatures(Data(), Have(), &features);
      if (status == VP8_STATUS_OK) return features;
      if (status != VP8_STATUS_NOT_ENOUGH_DATA || Complete()) kErrors.Raise(StatusText(status));
      ReadMore();
    }
  }

 private:
  TStream& stream_;
  std::vector<uint8_t> data_;
  size_t have_ = 0;
};

struct TIncrementalDecoder {
  WebPIDecoder* Decoder = nullptr;
  ~TIncrementalDecoder() {
    if (Decoder != nullptr) WebPIDelete(Decoder);
  }
};

struct TWriteContext {
  TStream* Stream = nullptr;
  const TPixelGraphic* Graphic = nullptr;
  const TProgressScope* Progress = nullptr;
};

int WriteFn(const uint8_t* data, size_t size, const WebPPicture* picture) {
  auto* context = static_cast<TWriteContext*>(picture->custom_ptr);
  return formats::WriteNoThrow(*context->Stream, data, size) ? 1 : 0;
}

// The encoder's percentage as the row it stands for. Abort is not honoured: a file is written whole.
int ProgressFn(int percent, const WebPPicture* picture) {
  auto* context = static_cast<TWriteContext*>(picture->custom_ptr);
  const int32_t height = context->Graphic->Height();
  try {
    context->Progress->Step(std::clamp<int32_t>(percent * height / 100, 0, height - 1), height);
  } catch (...) {
    return 0;  // a handler that throws stops the encoder, which reports it as a failure
  }
  return 1;
}

std::string EncodeErrorText(WebPEncodingError error) {
  switch (error) {
    case VP8_ENC_ERROR_OUT_OF_MEMORY:
    case VP8_ENC_ERROR_BITSTREAM_OUT_OF_MEMORY:
      return "not enough memory to encode the picture";
    case VP8_ENC_ERROR_BAD_WRITE:
      return "Stream write error";
    case VP8_ENC_ERROR_FILE_TOO_BIG:
      return "the encoded picture exceeds 4 GiB";
    case VP8_ENC_ERROR_PARTITION0_OVERFLOW:
    case VP8_ENC_ERROR_PARTITION_OVERFLOW:
      return "the picture's data exceeds what the lossy format can hold; use a lower quality";
    case VP8_ENC_ERROR_USER_ABORT:
      return MessageText(29);
    default:
      return MessageText(31, "WebPEncode");
  }
}

struct TPicture {
  WebPPicture Picture;
  TPicture() {
    if (WebPPictureInit(&Picture) == 0) kErrors.Raise(MessageText(31, "WebPPictureInit"));
  }
  ~TPicture() { WebPPictureFree(&Picture); }
  TPicture(const TPicture&) = delete;
  TPicture& operator=(const TPicture&) = delete;
};

}  // namespace

// ---- Reader -------------------------------------------------------------------------------------

TWebPFileFormatReader::TWebPFileFormatReader() {
  Extension = "webp";
  Description = "WebP";
  HasSignature = true;
}

bool TWebPFileFormatReader::IsFormat(const uint8_t* header) const {
  return std::memcmp(header, "RIFF", 4) == 0 && std::memcmp(header + 8, "WEBP", 4) == 0;
}

void TWebPFileFormatReader::ReadFromStream(TStream& stream, TPixelGraphic& graphic, int32_t index,
                                           const TLoadOptions& options) const {
  kErrors.CheckIndex(index, false);
  graphic.SetGamma(options.DefaultGamma);
  const TColor background = graphic.BackgroundColor();  // taken before the pixel format changes

  TWebPInput input(stream);
  const WebPBitstreamFeatures features = input.Features();
  if (features.has_animation != 0) kErrors.Raise("animated files are not supported");
  kErrors.CheckImageSize(features.width, features.height, options.MaxPixels);
  const int32_t width = features.width;
  const int32_t height = features.height;
  const bool alpha = features.has_alpha != 0;

  WebPDecoderConfig config;
  if (WebPInitDecoderConfig(&config) == 0) kErrors.Raise(MessageText(31, "WebPInitDecoderConfig"));
  graphic.NewImage(width, height, bc24Bit);
  // Without alpha the decoder writes B, G, R straight into the image's rows, bottom row first in
  // memory (hence the flip); with alpha it fills B, G, R, A rows that are composited as they come.
  std::vector<uint8_t> bgra;
  config.output.is_external_memory = 1;
  if (alpha) {
    bgra.resize(static_cast<size_t>(width) * 4 * static_cast<size_t>(height));
    config.output.colorspace = MODE_BGRA;
    config.output.u.RGBA.rgba = bgra.data();
    config.output.u.RGBA.stride = width * 4;
    config.output.u.RGBA.size = bgra.size();
  } else {
    config.output.colorspace = MODE_BGR;
    config.output.u.RGBA.rgba = graphic.Bits();
    config.output.u.RGBA.stride = graphic.BytesPerRow();
    config.output.u.RGBA.size = static_cast<size_t>(graphic.ImageSize());
    config.options.flip = 1;
  }

  TIncrementalDecoder decoder;
  decoder.Decoder = WebPIDecode(nullptr, 0, &config);
  if (decoder.Decoder == nullptr) kErrors.Raise(MessageText(31, "WebPIDecode"));

  const TProgressScope progress(graphic, this);
  int32_t delivered = 0;
  for (;;) {
    const VP8StatusCode status = WebPIUpdate(decoder.Decoder, input.Data(), input.Have());
    if (status != VP8_STATUS_OK && status != VP8_STATUS_SUSPENDED) kErrors.Raise(StatusText(status));
    int lastY = 0, decodedWidth = 0, decodedHeight = 0;
    if (WebPIDecGetRGB(decoder.Decoder, &lastY, &decodedWidth, &decodedHeight, nullptr) != nullptr &&
        (decodedWidth != width || decodedHeight != height)) {
      kErrors.Invalid("Width or Height");  // the bitstream and the container disagree
    }
    for (; delivered < std::min(lastY, height); ++delivered) {
      if (alpha) {
        const uint8_t* in = bgra.data() + static_cast<size_t>(delivered) * 4 * static_cast<size_t>(width);
        uint8_t* out = graphic.ScanLine(delivered);
        for (int32_t x = 0; x < width; ++x, in += 4, out += 3) {
          out[0] = formats::BlendOver(in[0], in[3], GetBValue(background));
          out[1] = formats::BlendOver(in[1], in[3], GetGValue(background));
          out[2] = formats::BlendOver(in[2], in[3], GetRValue(background));
        }
      }
      if (progress.Step(delivered, height)) return;
    }
    if (status == VP8_STATUS_OK) {
      if (delivered < height) kErrors.EndOfFile();
      return;
    }
    if (input.Complete()) kErrors.EndOfFile();
    input.ReadMore();
  }
}

void TWebPFileFormatReader::GetInfo(TStream& stream, int32_t index, int32_t& imageCount,
                                    int32_t& bitsPerPixel, std::string& colorsText, int32_t& height,
                                    int32_t& width, std::string& infoText, std::string& subFormatText,
                                    const TLoadOptions& options) const {
  TFileFormatReader::GetInfo(stream, index, imageCount, bitsPerPixel, colorsText, height, width, infoText,
                             subFormatText, options);
  kErrors.CheckIndex(index, true);
  TWebPInput input(stream);
  const WebPBitstreamFeatures features = input.Features();
  width = features.width;
  height = features.height;
  bitsPerPixel = features.has_alpha != 0 ? 32 : 24;
  colorsText = ColorResName(cr16MColors);
  if (features.has_animation != 0) {
    subFormatText = "Animated";
  } else if (features.format == 1) {
    subFormatText = "Lossy";
  } else if (features.format == 2) {
    subFormatText = "Lossless";
  }
  if (features.has_alpha != 0) infoText = "alpha channel";
}

// ---- Writer -------------------------------------------------------------------------------------

TWebPFileFormatWriter::TWebPFileFormatWriter() {
  Extension = "webp";
  Description = "WebP";
  CanWriteResolutions = {crBlackWhite, cr2Colors, cr16Gray,    cr16SysColors,
                         cr16Colors,   cr256Gray, cr256Colors, cr16MColors};
}

void TWebPFileFormatWriter::WriteToStream(TStream& stream, TPixelGraphic& graphic,
                                          const TSaveOptions& options) const {
  kErrors.CheckWritableSize(graphic, WEBP_MAX_DIMENSION);
  const int32_t width = graphic.Width();
  const int32_t height = graphic.Height();

  WebPConfig config;
  const bool lossless = options.WebPLossless;
  const int method = std::clamp(options.WebPMethod, 0, 6);
  if (WebPConfigInit(&config) == 0) kErrors.Raise(MessageText(31, "WebPConfigInit"));
  if (lossless) {
    // The presets run from 0 (fastest) to 9 (smallest); those above 6 take many times longer for
    // little, so the method names the preset of its number.
    if (WebPConfigLosslessPreset(&config, method) == 0) kErrors.Invalid("WebPMethod");
  } else {
    const auto quality = static_cast<float>(std::clamp(options.WebPQuality, 0, 100));
    if (WebPConfigPreset(&config, WEBP_PRESET_DEFAULT, quality) == 0) kErrors.Invalid("WebPQuality");
    config.method = method;
  }
  config.thread_level = options.EncoderThreads == 1 ? 0 : 1;
  if (WebPValidateConfig(&config) == 0) kErrors.Raise(EncodeErrorText(VP8_ENC_ERROR_INVALID_CONFIGURATION));

  TPicture picture;
  WebPPicture& pic = picture.Picture;
  pic.use_argb = lossless ? 1 : 0;
  pic.width = width;
  pic.height = height;
  int imported = 0;
  if (graphic.BitCount() == bc24Bit) {
    // The image's rows run bottom-up in memory: the top row and a negative stride give them in order.
    imported = WebPPictureImportBGR(&pic, graphic.ScanLine(0), -graphic.BytesPerRow());
  } else {
    const std::vector<TColor> palette = formats::PaletteTable(graphic);
    const size_t rowBytes = static_cast<size_t>(width) * 3;
    std::vector<uint8_t> rgb(rowBytes * static_cast<size_t>(height));
    for (int32_t y = 0; y < height; ++y) formats::RowToRGB(graphic, palette, y, rgb.data() + rowBytes * y);
    imported = WebPPictureImportRGB(&pic, rgb.data(), static_cast<int>(rowBytes));
  }
  if (imported == 0) kErrors.Raise(EncodeErrorText(pic.error_code));

  const TProgressScope progress(graphic, this);
  TWriteContext context{&stream, &graphic, &progress};
  pic.writer = WriteFn;
  pic.custom_ptr = &context;
  pic.progress_hook = ProgressFn;
  if (WebPEncode(&config, &pic) == 0) kErrors.Raise(EncodeErrorText(pic.error_code));
}

}  // namespace pg
