#include "cli/image_files.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <limits>
#include <mutex>
#include <stdexcept>
#include <utility>

#include "imaging/formats/file_format.h"
#include "imaging/formats/image_io.h"
#include "imaging/formats/row_source.h"
#include "imaging/image/exceptions.h"
#include "imaging/image/pixel_graphic.h"

namespace tessel::cli {

namespace {

std::mutex gPrintMutex;

}  // namespace

pg::TQuestionHandler WarningPrinter(std::string file, bool strict) {
  return [file = std::move(file), strict](const std::string&, const std::string& text, pg::TQuestionButtons) {
    PrintWarning(file, text);
    return strict ? pg::TQuestionAnswer::Cancel : pg::TQuestionAnswer::OK;
  };
}

std::vector<TOptionSpec> ImagePolicyOptions() {
  return {
      {"--strict", "",
       "fail on a warning about an input image (a damaged or cut file) instead of printing it and going "
       "on; a save fails instead of reducing colours the output format cannot hold"},
      {"--max-pixels", "N",
       "refuse images of more than N pixels (width x height) before reading them; the default is " +
           std::to_string(pg::DefaultLoadOptions().MaxPixels)},
  };
}

TImagePolicy ImagePolicyFrom(const TArguments& args) {
  TImagePolicy policy;
  policy.Strict = args.Has("--strict");
  policy.MaxPixels = pg::DefaultLoadOptions().MaxPixels;
  if (args.Has("--max-pixels")) {
    policy.MaxPixels =
        WholeNumber("--max-pixels", args.Value("--max-pixels"), 1, std::numeric_limits<int64_t>::max());
  }
  return policy;
}

void RefuseFolder(const std::string& path, const std::string& kind) {
  std::error_code ignored;
  if (std::filesystem::is_directory(path, ignored)) {
    throw std::runtime_error(path + ": is a folder, not " + kind);
  }
}

std::vector<TOptionSpec> CodecOptions(const std::string& what, bool lossless) {
  const pg::TSaveOptions defaults = pg::DefaultSaveOptions();
  std::vector<TOptionSpec> specs = {
      {"--quality", "N",
       "quality of JPEG, WebP and AVIF from 0 (smallest " + what +
           ") to 100 (best picture); when not given " + std::to_string(defaults.JPEGQuality) + " for JPEG, " +
           std::to_string(defaults.WebPQuality) + " for WebP and " + std::to_string(defaults.AVIFQuality) +
           " for AVIF"},
      {"--progressive", "", "encode the " + what + " as progressive JPEG"},
      {"--speed", "N",
       "AVIF encoder speed from 0 (slowest, smallest " + what + ") to 10 (fastest); " +
           std::to_string(defaults.AVIFSpeed) + " when not given"},
      {"--colors", "N",
       "colours of an indexed PNG, 2 to 256 (" + std::to_string(defaults.PNGColors) +
           " when not given); a picture with no more keeps its colours exactly, one palette per file"},
      {"--dither", "",
       "spread the error of colours an indexed PNG cannot hold over their neighbours (the default)"},
      {"--no-dither", "", "give each colour an indexed PNG cannot hold its nearest palette colour instead"},
  };
  if (lossless) specs.push_back({"--lossless", "", "write WebP without loss instead of at --quality"});
  return specs;
}

pg::TLoadOptions LoadOptionsFor(const std::string& path, const TImagePolicy& policy) {
  pg::TLoadOptions options = pg::DefaultLoadOptions();
  options.MaxPixels = policy.MaxPixels;
  options.WarningAction = policy.Strict ? pg::pgwaRaise : pg::pgwaOKBox;
  options.Question = WarningPrinter(path, policy.Strict);
  return options;
}

pg::TSaveOptions SaveOptionsFor(const std::string& path, const TImagePolicy& policy, const TArguments& args) {
  pg::TSaveOptions options = pg::DefaultSaveOptions();
  if (args.Has("--quality")) {
    const auto quality = static_cast<int32_t>(WholeNumber("--quality", args.Value("--quality"), 0, 100));
    options.JPEGQuality = options.WebPQuality = options.AVIFQuality = quality;
  }
  if (args.Has("--progressive")) options.JPEGProgressive = true;
  if (args.Has("--speed"))
    options.AVIFSpeed = static_cast<int32_t>(WholeNumber("--speed", args.Value("--speed"), 0, 10));
  if (args.Has("--colors")) {
    options.PNGColors = static_cast<int32_t>(WholeNumber("--colors", args.Value("--colors"), 2, 256));
    options.PNGIndexed = true;
  }
  const std::string dither = args.Last({"--dither", "--no-dither"});
  if (!dither.empty()) options.PNGDither = dither == "--dither";
  if (args.Has("--lossless")) options.WebPLossless = true;
  options.WarningAction = policy.Strict ? pg::pgwaRaise : pg::pgwaOKBox;
  options.ColorResWarningAction = policy.Strict ? pg::pgwaRaise : pg::pgwaIgnore;
  options.Question = WarningPrinter(path, policy.Strict);
  return options;
}

namespace {

// Runs `read()` on `path`, whose every error names the file (and a refused size says how to read it).
template <class Read>
auto ReadImageFile(const std::string& path, Read read) {
  RefuseFolder(path);
  try {
    return read();
  } catch (const std::exception& e) {
    std::string message = NameFile(path, e.what());
    if (const auto* limit = dynamic_cast<const pg::EPGPixelLimit*>(&e))
      message += "\n" + PixelLimitHint(*limit);
    throw std::runtime_error(message);
  }
}

}  // namespace

void LoadImageFile(pg::TPixelGraphic& image, const std::string& path, const pg::TLoadOptions& options) {
  ReadImageFile(path, [&] { pg::LoadImage(image, path, 0, options); });
}

std::unique_ptr<pg::TRowSource> OpenImageRows(const std::string& path, const pg::TLoadOptions& options) {
  return ReadImageFile(path, [&] { return pg::TRowSource::Open(path, options); });
}

void SaveImageFile(pg::TPixelGraphic& image, const std::string& path, const pg::TSaveOptions& options) {
  try {
    pg::SaveImage(image, path, options);
  } catch (const std::exception& e) {
    throw std::runtime_error(NameFile(path, e.what()));
  }
}

std::string PixelLimitHint(const pg::EPGPixelLimit& limit) {
  const int64_t width = std::max<int64_t>(limit.Width(), 1);
  const int64_t height = std::max<int64_t>(limit.Height(), 1);
  const int64_t pixels = width > std::numeric_limits<int64_t>::max() / height
                             ? std::numeric_limits<int64_t>::max()
                             : width * height;
  return "hint: --max-pixels " + std::to_string(pixels) +
         " (or more) raises the limit enough to read this image";
}

std::string WritableExtensions() {
  std::string list;
  for (const auto& writer : pg::FileFormatWriters()) list += (list.empty() ? "" : ", ") + writer->Extension;
  return list;
}

std::string PrintableText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '\r' || c == '\n') {
      // A run of line breaks becomes one blank.
      while (i + 1 < text.size() && (text[i + 1] == '\r' || text[i + 1] == '\n')) ++i;
      if (!out.empty() && i + 1 < text.size()) out += ' ';
    } else if (c < 0x20 || c == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof(escaped), "\\x%02X", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

void PrintWarning(std::string_view file, std::string_view text) {
  const std::string line = "warning: " + PrintableText(file) + ": " + PrintableText(text) + "\n";
  std::lock_guard<std::mutex> lock(gPrintMutex);
  std::cerr << line << std::flush;
}

std::string NameFile(const std::string& file, const std::string& message) {
  if (message.find("\"" + file + "\"") != std::string::npos || message.rfind(file + ":", 0) == 0)
    return message;
  return file + ": " + message;
}

}  // namespace tessel::cli
