#include "imaging/formats/jpeg.h"

#include <jerror.h>
#include <jpeglib.h>

#include <algorithm>
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

#include "imaging/formats/format_io.h"
#include "imaging/image/exceptions.h"
#include "imaging/image/messages.h"
#include "imaging/image/pixel_graphic.h"
#include "imaging/image/question.h"
#include "imaging/image/stream.h"

namespace pg {

namespace {

const formats::TFormatErrors<EPGJPGFileFormatReaderWriter> kErrors{"JPG: "};

constexpr size_t kBufferSize = 64 * 1024;
// Progressive files with more scans than this are refused: each scan is a pass over the whole
// coefficient buffer, so a small hostile file could otherwise keep the decoder busy for minutes.
constexpr int kMaxScans = 500;
// Below that, the scans together may visit every block this many times whatever the file holds,
// and once more for every few bytes of data read: a file of a few kilobytes cannot make the
// decoder walk a picture of hundreds of megapixels hundreds of times.
constexpr int64_t kFreeBlockPasses = 16;
constexpr int64_t kBlockVisitsPerByte = 64;
// Huffman-coded data spends at least one bit on every block of a progressive file's first DC scan
// and two bits (DC and end of block) on every block of a sequential one.
constexpr int64_t kMinBitsPerBlockProgressive = 1;
constexpr int64_t kMinBitsPerBlockSequential = 2;
// Bytes the decoder keeps per block when it buffers the whole picture's coefficients.
constexpr int64_t kCoefficientBytesPerBlock = 64 * sizeof(JCOEF);
// Room beside the coefficient buffers for the decoder's row buffers and tables.
constexpr int64_t kDecoderWorkingBytes = int64_t{64} << 20;

// ---- Error manager ------------------------------------------------------------------------------
//
// libjpeg reports errors by calling error_exit, which must not return. Ours stores the codec's text
// and jumps back to RunGuarded, the one place where a jump point is set; RunGuarded's callers turn
// the failure into EPGJPGFileFormatReaderWriter. Only libjpeg calls run between the jump point and
// the jump, so no C++ object is skipped.

struct TErrorManager {
  jpeg_error_mgr Pub;
  std::jmp_buf Jump;
  char Message[JMSG_LENGTH_MAX + 64];
  TPGWarningAction WarningAction;
  const TQuestionHandler* Question;
};

[[noreturn]] void JumpBack(TErrorManager& manager) {
  std::longjmp(manager.Jump, 1);
}

void ErrorExit(j_common_ptr cinfo) {
  auto* manager = reinterpret_cast<TErrorManager*>(cinfo->err);
  if (cinfo->err->msg_code == JERR_BAD_LIB_VERSION) {
    // The linked library is not the one whose headers we were compiled against.
    std::snprintf(manager->Message, sizeof(manager->Message), "Invalid library version");
    JumpBack(*manager);
  }
  char text[JMSG_LENGTH_MAX] = {};
  (*cinfo->err->format_message)(cinfo, text);
  std::snprintf(manager->Message, sizeof(manager->Message), "%.200s", text);
  JumpBack(*manager);
}

// What a codec warning comes to under the call's warning action. Every C++ object of the question
// lives and dies inside this function, before the caller may jump; a handler that throws stops.
TWarningOutcome WarningOutcome(const TErrorManager& manager, const char* text) noexcept {
  try {
    return HandleWarning(manager.WarningAction, *manager.Question, "JPG " + MessageText(28), text);
  } catch (...) {
    return TWarningOutcome::Cancelled;
  }
}

// Warnings (and trace output) of the codec.
void OutputMessage(j_common_ptr cinfo) {
  auto* manager = reinterpret_cast<TErrorManager*>(cinfo->err);
  char text[JMSG_LENGTH_MAX] = {};
  (*cinfo->err->format_message)(cinfo, text);
  switch (WarningOutcome(*manager, text)) {
    case TWarningOutcome::Continue:
      return;
    case TWarningOutcome::Cancelled:
      std::snprintf(manager->Message, sizeof(manager->Message), "%s", MessageText(29).c_str());
      JumpBack(*manager);
    case TWarningOutcome::Raise:
      std::snprintf(manager->Message, sizeof(manager->Message), "%.200s", text);
      JumpBack(*manager);
  }
}

void SetUpErrorManager(TErrorManager& manager, TPGWarningAction warningAction,
                       const TQuestionHandler& question) {
  jpeg_std_error(&manager.Pub);
  manager.Pub.error_exit = ErrorExit;
  manager.Pub.output_message = OutputMessage;
  manager.Message[0] = '\0';
  manager.WarningAction = warningAction;
  manager.Question = &question;
}

template <class F>
bool RunGuarded(TErrorManager& manager, F&& step) {
  if (setjmp(manager.Jump) != 0) return false;
  step();
  return true;
}

[[noreturn]] void RaiseCodecError(const TErrorManager& manager) {
  kErrors.Raise(manager.Message);
}

// ---- Source and destination on TStream --------------------------------------------------------

struct TStreamSource {
  jpeg_source_mgr Pub;
  TStream* Stream;
  bool StartOfFile;
  bool HitEnd;        // the data ran out and an end marker was put in its place
  int64_t Delivered;  // bytes of the stream handed to the codec so far
  JOCTET Buffer[kBufferSize];
};

// Bytes of the stream the codec has taken from its buffer.
int64_t BytesConsumed(const TStreamSource& source) {
  return source.Delivered - static_cast<int64_t>(source.Pub.bytes_in_buffer);
}

void InitSource(j_decompress_ptr cinfo) {
  reinterpret_cast<TStreamSource*>(cinfo->src)->StartOfFile = true;
}

boolean FillInputBuffer(j_decompress_ptr cinfo) {
  auto* source = reinterpret_cast<TStreamSource*>(cinfo->src);
  int64_t count = formats::ReadNoThrow(*source->Stream, source->Buffer, kBufferSize);
  if (count < 0) ERREXIT(cinfo, JERR_FILE_READ);
  if (count == 0) {
    if (source->StartOfFile) ERREXIT(cinfo, JERR_INPUT_EMPTY);
    // Like the codec's own sources: warn and end the data with an EOI marker.
    WARNMS(cinfo, JWRN_JPEG_EOF);
    source->HitEnd = true;
    source->Buffer[0] = 0xFF;
    source->Buffer[1] = JPEG_EOI;
    count = 2;
  } else {
    source->Delivered += count;
  }
  source->Pub.next_input_byte = source->Buffer;
  source->Pub.bytes_in_buffer = static_cast<size_t>(count);
  source->StartOfFile = false;
  return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long count) {
  auto* source = reinterpret_cast<TStreamSource*>(cinfo->src);
  if (count <= 0) return;
  while (count > static_cast<long>(source->Pub.bytes_in_buffer)) {
    count -= static_cast<long>(source->Pub.bytes_in_buffer);
    FillInputBuffer(cinfo);
  }
  source->Pub.next_input_byte += count;
  source->Pub.bytes_in_buffer -= static_cast<size_t>(count);
}

// Hands back what was read ahead, so the stream ends right after the image's data.
void TermSource(j_decompress_ptr cinfo) {
  auto* source = reinterpret_cast<TStreamSource*>(cinfo->src);
  try {
    if (source->Pub.bytes_in_buffer > 0) {
      source->Stream->Seek(-static_cast<int64_t>(source->Pub.bytes_in_buffer), TSeekOrigin::Current);
    }
  } catch (...) {
  }
}

void AttachSource(jpeg_decompress_struct& cinfo, TStreamSource& source, TStream& stream) {
  source.Pub.init_source = InitSource;
  source.Pub.fill_input_buffer = FillInputBuffer;
  source.Pub.skip_input_data = SkipInputData;
  source.Pub.resync_to_restart = jpeg_resync_to_restart;
  source.Pub.term_source = TermSource;
  source.Pub.bytes_in_buffer = 0;
  source.Pub.next_input_byte = nullptr;
  source.Stream = &stream;
  source.StartOfFile = true;
  source.HitEnd = false;
  source.Delivered = 0;
  cinfo.src = &source.Pub;
}

struct TStreamDestination {
  jpeg_destination_mgr Pub;
  TStream* Stream;
  JOCTET Buffer[kBufferSize];
};

void InitDestination(j_compress_ptr cinfo) {
  auto* destination = reinterpret_cast<TStreamDestination*>(cinfo->dest);
  destination->Pub.next_output_byte = destination->Buffer;
  destination->Pub.free_in_buffer = kBufferSize;
}

boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
  auto* destination = reinterpret_cast<TStreamDestination*>(cinfo->dest);
  if (!formats::WriteNoThrow(*destination->Stream, destination->Buffer, kBufferSize))
    ERREXIT(cinfo, JERR_FILE_WRITE);
  destination->Pub.next_output_byte = destination->Buffer;
  destination->Pub.free_in_buffer = kBufferSize;
  return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
  auto* destination = reinterpret_cast<TStreamDestination*>(cinfo->dest);
  const size_t count = kBufferSize - destination->Pub.free_in_buffer;
  if (count > 0 && !formats::WriteNoThrow(*destination->Stream, destination->Buffer, count))
    ERREXIT(cinfo, JERR_FILE_WRITE);
}

// The decoder's progress monitor, which bounds the work of a multi-scan file: at most kMaxScans
// scans, and block visits (every block of every component a scan covers) within what the data read
// so far justifies.
struct TScanBudget {
  jpeg_progress_mgr Pub;
  const TStreamSource* Source = nullptr;
  int64_t TotalBlocks = 0;
  int64_t Visits = 0;
  int LastScan = 0;
};

void LimitScans(j_common_ptr cinfo) {
  if (!cinfo->is_decompressor) return;
  auto* info = reinterpret_cast<j_decompress_ptr>(cinfo);
  auto* budget = reinterpret_cast<TScanBudget*>(cinfo->progress);
  auto* manager = reinterpret_cast<TErrorManager*>(cinfo->err);
  if (info->input_scan_number > kMaxScans) {
    std::snprintf(manager->Message, sizeof(manager->Message),
                  "more than %d scans: the file is damaged or hostile", kMaxScans);
    JumpBack(*manager);
  }
  if (info->input_scan_number == budget->LastScan || budget->Source == nullptr || budget->TotalBlocks == 0)
    return;
  budget->LastScan = info->input_scan_number;
  for (int i = 0; i < info->comps_in_scan; ++i) {
    const jpeg_component_info* component = info->cur_comp_info[i];
    budget->Visits += static_cast<int64_t>(component->width_in_blocks) * component->height_in_blocks;
  }
  const int64_t allowed =
      kFreeBlockPasses * budget->TotalBlocks + kBlockVisitsPerByte * BytesConsumed(*budget->Source);
  if (budget->Visits > allowed) {
    std::snprintf(manager->Message, sizeof(manager->Message),
                  "%d scans over %lld blocks are more than its %lld bytes of data can justify: the file is "
                  "damaged or hostile",
                  info->input_scan_number, static_cast<long long>(budget->TotalBlocks),
                  static_cast<long long>(BytesConsumed(*budget->Source)));
    JumpBack(*manager);
  }
}

// ---- Codec objects ------------------------------------------------------------------------------
//
// The library version check: jpeg_create_decompress and jpeg_create_compress pass the
// JPEG_LIB_VERSION and structure size of the headers we were compiled against, and the linked
// library refuses any other version ("JPG: Invalid library version") or structure size ("JPG: " +
// the codec's text).

struct TDecompressor {
  jpeg_decompress_struct Info{};
  TErrorManager Errors{};
  TStreamSource Source{};
  TScanBudget Budget{};
  bool Created = false;

  TDecompressor(TStream& stream, TPGWarningAction warningAction, const TQuestionHandler& question) {
    SetUpErrorManager(Errors, warningAction, question);
    Info.err = &Errors.Pub;
    Created = true;  // destroying a structure the library refused is harmless (no memory yet)
    if (!RunGuarded(Errors, [&] { jpeg_create_decompress(&Info); })) RaiseCodecError(Errors);
    AttachSource(Info, Source, stream);
    Budget.Pub.progress_monitor = LimitScans;
    Budget.Source = &Source;
    Info.progress = &Budget.Pub;
  }
  ~TDecompressor() {
    if (Created) jpeg_destroy_decompress(&Info);
  }
  TDecompressor(const TDecompressor&) = delete;
  TDecompressor& operator=(const TDecompressor&) = delete;

  void ReadHeader() {
    if (!RunGuarded(Errors, [&] { jpeg_read_header(&Info, TRUE); })) RaiseCodecError(Errors);
  }
};

struct TCompressor {
  jpeg_compress_struct Info{};
  TErrorManager Errors{};
  TStreamDestination Destination{};
  bool Created = false;

  TCompressor(TStream& stream, TPGWarningAction warningAction, const TQuestionHandler& question) {
    SetUpErrorManager(Errors, warningAction, question);
    Info.err = &Errors.Pub;
    Created = true;
    if (!RunGuarded(Errors, [&] { jpeg_create_compress(&Info); })) RaiseCodecError(Errors);
    Destination.Pub.init_destination = InitDestination;
    Destination.Pub.empty_output_buffer = EmptyOutputBuffer;
    Destination.Pub.term_destination = TermDestination;
    Destination.Stream = &stream;
    Info.dest = &Destination.Pub;
  }
  ~TCompressor() {
    if (Created) jpeg_destroy_compress(&Info);
  }
  TCompressor(const TCompressor&) = delete;
  TCompressor& operator=(const TCompressor&) = delete;
};

J_DCT_METHOD DCTMethod(int32_t value) {
  return value == JDCT_IFAST ? JDCT_IFAST : value == JDCT_FLOAT ? JDCT_FLOAT : JDCT_ISLOW;
}

// Blocks of the whole picture, over all components.
int64_t TotalBlocks(const jpeg_decompress_struct& info) {
  int64_t blocks = 0;
  for (int c = 0; c < info.num_components; ++c)
    blocks += int64_t{info.comp_info[c].width_in_blocks} * info.comp_info[c].height_in_blocks;
  return blocks;
}

std::string ByteCountText(int64_t bytes) {
  if (bytes < 10 * 1024) return std::to_string(bytes) + " bytes";
  if (bytes < 10 * 1024 * 1024) return std::to_string(bytes / 1024) + " KiB";
  return std::to_string(bytes / (1024 * 1024)) + " MiB";
}

// True when every byte of the row is 128: the colour of a block without coefficients.
bool IsMidGrey(const uint8_t* row, size_t bytes) {
  return std::all_of(row, row + bytes, [](uint8_t b) { return b == 128; });
}

bool IsGray256(const TPixelGraphic& graphic) {
  if (graphic.BitCount() != bc8Bit) return false;
  if (graphic.PaletteIdent() == pGray256) return true;
  if (graphic.PaletteCount() != 256) return false;
  for (int32_t i = 0; i < 256; ++i) {
    const auto v = static_cast<uint8_t>(i);
    if (graphic.PaletteEntries(i) != RGBColor(v, v, v)) return false;
  }
  return true;
}

}  // namespace

// ---- Reader -------------------------------------------------------------------------------------

TJPGFileFormatReader::TJPGFileFormatReader() {
  Extension = "jpg";
  Description = "JPEG (JFIF compliant)";
  HasSignature = true;
}

TJPEGFileFormatReader::TJPEGFileFormatReader() {
  Extension = "jpeg";
}

TJIFFileFormatReader::TJIFFileFormatReader() {
  Extension = "jif";
}

bool TJPGFileFormatReader::IsFormat(const uint8_t* header) const {
  return header[0] == 0xFF && header[1] == 0xD8;
}

namespace {

// The decompressor of one picture past its headers, started, with the image shaped for its rows.
// Its rows come out from the top down: a file of several scans (progressive) has read them all
// into the codec's coefficient buffer by then.
class TJPEGRowDecoder : public TRowDecoder {
 public:
  TJPEGRowDecoder(std::unique_ptr<TDecompressor> codec, int32_t height, size_t rowBytes, bool buffered)
      : TRowDecoder(height), codec_(std::move(codec)), rowBytes_(rowBytes), buffered_(buffered) {
    const jpeg_decompress_struct& info = codec_->Info;
    blockRowHeight_ = info.max_v_samp_factor * info.min_DCT_scaled_size;
  }

  // A single-scan file whose data ran out decodes to blocks without coefficients, mid grey, for
  // the rest of the picture. Once the rows still carrying data (a few block rows behind the input,
  // for upsampling) have passed and a whole block row has come out mid grey, the rest is filled
  // directly instead of being decoded block by block.
  void ReadRow(uint8_t* row) override {
    if (filled_) {
      std::memset(row, 128, rowBytes_);
      return;
    }
    jpeg_decompress_struct& info = codec_->Info;
    JSAMPROW rows[1] = {row};
    if (!RunGuarded(codec_->Errors, [&] { jpeg_read_scanlines(&info, rows, 1); }))
      RaiseCodecError(codec_->Errors);
    const auto done = static_cast<int32_t>(info.output_scanline);
    if (!buffered_ && codec_->Source.HitEnd) {
      if (endRow_ < 0) endRow_ = done;
      greyRows_ = done > endRow_ + 2 * blockRowHeight_ && IsMidGrey(row, rowBytes_) ? greyRows_ + 1 : 0;
      if (greyRows_ >= blockRowHeight_ && done < Height()) filled_ = true;
    }
  }

  // The rows after the last one read are mid grey (see ReadRow).
  bool Filled() const { return filled_; }

  void Finish() override {
    // The rest of a file whose data ended is abandoned: finishing would decode it.
    if (filled_) {
      Abandon();
      return;
    }
    if (!RunGuarded(codec_->Errors, [&] { jpeg_finish_decompress(&codec_->Info); }))
      RaiseCodecError(codec_->Errors);
  }

  // Stops decoding short of the last row without an error.
  void Abandon() { jpeg_abort_decompress(&codec_->Info); }

 private:
  std::unique_ptr<TDecompressor> codec_;
  size_t rowBytes_;
  bool buffered_;
  int32_t blockRowHeight_ = 1;
  int64_t endRow_ = -1;
  int32_t greyRows_ = 0;
  bool filled_ = false;
};

// Reads the headers, starts decompressing and gives `graphic` the picture's width and pixel format
// with `rows` rows (the whole height, or none for a decoder of rows). With `singleScan` a file of
// several scans is left unstarted and nullptr returned.
std::unique_ptr<TJPEGRowDecoder> OpenPicture(TStream& stream, TPixelGraphic& graphic,
                                             const TLoadOptions& options, bool allRows, bool singleScan) {
  graphic.SetGamma(options.DefaultGamma);

  auto codec = std::make_unique<TDecompressor>(stream, options.WarningActionFor(graphic.ReadWarningAction()),
                                               options.Question);
  jpeg_decompress_struct& info = codec->Info;
  codec->ReadHeader();

  bool gray = false;
  switch (info.jpeg_color_space) {
    case JCS_GRAYSCALE:
      gray = true;
      info.out_color_space = JCS_GRAYSCALE;
      break;
    case JCS_YCbCr:
    case JCS_RGB:
      // The codec delivers B, G, R: the byte order of our 24-bit rows, so rows need no swapping.
      info.out_color_space = JCS_EXT_BGR;
      break;
    default:
      kErrors.Raise(MessageText(30));
  }
  kErrors.CheckPixelLimit(info.image_width, info.image_height, options.MaxPixels);
  info.scale_num = 1;
  info.scale_denom = 1;
  info.dct_method = graphic.FastDecoding() ? JDCT_IFAST : DCTMethod(options.JPEGReadDCTMethod);
  info.quantize_colors = FALSE;
  info.dither_mode = JDITHER_NONE;
  info.two_pass_quantize = FALSE;

  // What the data left after the headers can hold. Huffman-coded scans spend a least number of bits
  // on every block, so a file shorter than that is certainly cut short; arithmetic coding has no
  // such floor and is bounded by the scan budget alone.
  const int64_t blocks = TotalBlocks(info);
  const int64_t dataBytes = static_cast<int64_t>(codec->Source.Pub.bytes_in_buffer) + stream.Remaining();
  const bool buffered = jpeg_has_multiple_scans(&info) != 0;
  if (buffered && singleScan) return nullptr;
  codec->Budget.TotalBlocks = blocks;
  if (!info.arith_code && buffered) {
    // Several scans are decoded into one coefficient buffer for the whole picture; libjpeg refuses
    // (no backing store) a buffer larger than the data could fill.
    const int64_t fillable = std::min<int64_t>(dataBytes, INT64_MAX / 8192) * 8 /
                             kMinBitsPerBlockProgressive * kCoefficientBytesPerBlock;
    info.mem->max_memory_to_use = static_cast<long>(
        std::min<int64_t>(kDecoderWorkingBytes + fillable, std::numeric_limits<long>::max()));
  } else if (!info.arith_code && dataBytes * 8 < blocks * kMinBitsPerBlockSequential) {
    // Said before the picture is allocated, so a policy that stops at warnings costs nothing. The
    // codec shows only its first warning, so it does not repeat this one when it reaches the end.
    if (!RunGuarded(codec->Errors, [&] { WARNMS(&info, JWRN_JPEG_EOF); })) RaiseCodecError(codec->Errors);
  }
  if (!RunGuarded(codec->Errors, [&] { jpeg_start_decompress(&info); })) {
    if (codec->Errors.Pub.msg_code == JERR_NO_BACKING_STORE) {
      kErrors.Raise("the " + std::to_string(info.image_width) + " x " + std::to_string(info.image_height) +
                    " picture is stored in several scans and needs " +
                    ByteCountText(blocks * kCoefficientBytesPerBlock) +
                    " for its coefficients, more than its " + ByteCountText(dataBytes) +
                    " of data can fill: the file is truncated or damaged");
    }
    RaiseCodecError(codec->Errors);
  }
  if (info.output_components != (gray ? 1 : 3)) kErrors.Raise(MessageText(30));

  const auto width = static_cast<int32_t>(info.output_width);
  const auto height = static_cast<int32_t>(info.output_height);
  graphic.NewImage(width, allRows ? height : 0, gray ? bc8Bit : bc24Bit);
  if (gray) graphic.SetPaletteIdent(pGray256);
  const auto rowBytes = static_cast<size_t>(width) * (gray ? 1 : 3);
  return std::make_unique<TJPEGRowDecoder>(std::move(codec), height, rowBytes, buffered);
}

}  // namespace

void TJPGFileFormatReader::ReadFromStream(TStream& stream, TPixelGraphic& graphic, int32_t index,
                                          const TLoadOptions& options) const {
  kErrors.CheckIndex(index, false);
  const std::unique_ptr<TJPEGRowDecoder> decoder = OpenPicture(stream, graphic, options, true, false);
  const int32_t height = decoder->Height();
  const auto rowBytes = static_cast<size_t>(graphic.Width()) * (graphic.BitCount() == bc8Bit ? 1 : 3);
  bool aborted = false;
  {
    const TProgressScope progress(graphic, this);
    for (int32_t y = 0; y < height; ++y) {
      decoder->ReadRow(graphic.ScanLine(y));
      if (decoder->Filled()) {
        for (int32_t rest = y + 1; rest < height; ++rest) std::memset(graphic.ScanLine(rest), 128, rowBytes);
        progress.Step(height, height);
        break;
      }
      if (progress.Step(y + 1, height)) {
        aborted = true;
        break;
      }
    }
  }
  // An Abort leaves the codec short of scanlines, where finishing would fail; the user's Abort is
  // not an error, so the decode is abandoned instead.
  if (aborted) {
    decoder->Abandon();
    return;
  }
  decoder->Finish();
}

std::unique_ptr<TRowDecoder> TJPGFileFormatReader::OpenRows(TStream& stream, TPixelGraphic& graphic,
                                                            int32_t index,
                                                            const TLoadOptions& options) const {
  kErrors.CheckIndex(index, false);
  return OpenPicture(stream, graphic, options, false, true);
}

void TJPGFileFormatReader::GetInfo(TStream& stream, int32_t index, int32_t& imageCount, int32_t& bitsPerPixel,
                                   std::string& colorsText, int32_t& height, int32_t& width,
                                   std::string& infoText, std::string& subFormatText,
                                   const TLoadOptions& options) const {
  TFileFormatReader::GetInfo(stream, index, imageCount, bitsPerPixel, colorsText, height, width, infoText,
                             subFormatText, options);
  kErrors.CheckIndex(index, true);
  auto codec = std::make_unique<TDecompressor>(stream, pgwaIgnore, options.Question);
  codec->ReadHeader();
  const jpeg_decompress_struct& info = codec->Info;
  width = static_cast<int32_t>(info.image_width);
  height = static_cast<int32_t>(info.image_height);
  switch (info.jpeg_color_space) {
    case JCS_GRAYSCALE:
      bitsPerPixel = 8;
      colorsText = ColorResName(cr256Gray);
      break;
    case JCS_YCbCr:
    case JCS_RGB:
      bitsPerPixel = 24;
      colorsText = ColorResName(cr16MColors);
      break;
    default:
      bitsPerPixel = 8 * info.num_components;
      colorsText = MessageText(30);
  }
  subFormatText = info.progressive_mode ? "Progressive" : "Baseline";
}

// ---- Writer -------------------------------------------------------------------------------------

TJPGFileFormatWriter::TJPGFileFormatWriter() {
  Extension = "jpg";
  Description = "JPEG (JFIF compliant)";
  CanWriteResolutions = {cr256Gray, cr16MColors};
}

TJPEGFileFormatWriter::TJPEGFileFormatWriter() {
  Extension = "jpeg";
  ShowInFilter = false;
}

TJIFFileFormatWriter::TJIFFileFormatWriter() {
  Extension = "jif";
  ShowInFilter = false;
}

void TJPGFileFormatWriter::WriteToStream(TStream& stream, TPixelGraphic& graphic,
                                         const TSaveOptions& options) const {
  const bool gray = IsGray256(graphic);
  if (!gray && graphic.BitCount() != bc24Bit) kErrors.Raise(MessageText(20, "BitCount"));
  auto codec = std::make_unique<TCompressor>(
      stream, options.WarningAction.value_or(graphic.ReadWarningAction()), options.Question);
  jpeg_compress_struct& info = codec->Info;
  info.image_width = static_cast<JDIMENSION>(graphic.Width());
  info.image_height = static_cast<JDIMENSION>(graphic.Height());
  info.input_components = gray ? 1 : 3;
  info.in_color_space = gray ? JCS_GRAYSCALE : JCS_EXT_BGR;  // our rows are B, G, R
  const bool started = RunGuarded(codec->Errors, [&] {
    jpeg_set_defaults(&info);
    if (options.JPEGProgressive) jpeg_simple_progression(&info);
    jpeg_set_quality(&info, options.JPEGQuality, TRUE);
    info.dct_method = DCTMethod(options.JPEGWriteDCTMethod);
    jpeg_start_compress(&info, TRUE);
  });
  if (!started) RaiseCodecError(codec->Errors);

  {
    const TProgressScope progress(graphic, this);
    const int32_t height = graphic.Height();
    while (info.next_scanline < info.image_height) {
      JSAMPROW row = graphic.ScanLine(static_cast<int32_t>(info.next_scanline));
      if (!RunGuarded(codec->Errors, [&] { jpeg_write_scanlines(&info, &row, 1); }))
        RaiseCodecError(codec->Errors);
      progress.Step(static_cast<int32_t>(info.next_scanline), height);  // every row is written regardless
    }
  }
  if (!RunGuarded(codec->Errors, [&] { jpeg_finish_compress(&info); })) RaiseCodecError(codec->Errors);
}

}  // namespace pg
