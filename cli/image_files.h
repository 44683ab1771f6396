// How every tessel-cli command reads and writes image files: the library's warnings are printed on
// standard error with the file's name (or, with --strict, fail the command), --max-pixels limits
// what a reader may allocate, a folder given as an image is named as one, and every error names
// the file it is about.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cli/arguments.h"
#include "imaging/formats/format_options.h"
#include "imaging/image/question.h"

namespace pg {
class TPixelGraphic;
class TRowSource;
class EPGPixelLimit;
}  // namespace pg

namespace tessel::cli {

struct TImagePolicy {
  // A warning about an input fails the command, and a save refuses to reduce colours the output
  // format cannot hold; without it warnings are printed and the command goes on.
  bool Strict = false;
  // Largest image, in pixels, a reader may allocate.
  int64_t MaxPixels = 0;
};

// The options of every command that reads images: --strict and --max-pixels N.
std::vector<TOptionSpec> ImagePolicyOptions();
// The policy given by those options (the library's default limit when --max-pixels is absent).
TImagePolicy ImagePolicyFrom(const TArguments& args);

// The options of every command that writes images, which say how each format encodes: --quality,
// --progressive, --speed, --colors, --dither and --no-dither, and with `lossless` --lossless;
// `what` names the files in their help ("file", "slices").
std::vector<TOptionSpec> CodecOptions(const std::string& what, bool lossless);

// The extensions the library can write, for the help texts ("bmp, dib, jpg, ...").
std::string WritableExtensions();

// The question handler of one file's load or save: prints every warning with the file's name and
// answers OK, or Cancel under --strict. May be called from several threads at once.
pg::TQuestionHandler WarningPrinter(std::string file, bool strict);

// The options of one load of `path`: the library's defaults with the policy's limit and warnings.
pg::TLoadOptions LoadOptionsFor(const std::string& path, const TImagePolicy& policy);
// The options of one save to `path`: the library's defaults with the policy's warnings and the
// codec settings of CodecOptions. --colors also asks for an indexed PNG and --lossless for a
// lossless WebP; an export's formats decide both themselves.
pg::TSaveOptions SaveOptionsFor(const std::string& path, const TImagePolicy& policy, const TArguments& args);

// Loads `path` into `image` by its content with `options`.
void LoadImageFile(pg::TPixelGraphic& image, const std::string& path, const pg::TLoadOptions& options);
// Opens `path` for reading its rows band by band with `options`, with the errors of LoadImageFile;
// nullptr when its format or layout cannot deliver them in order (load it whole).
std::unique_ptr<pg::TRowSource> OpenImageRows(const std::string& path, const pg::TLoadOptions& options);
// Saves `image` to `path` in the format its extension names with `options`.
void SaveImageFile(pg::TPixelGraphic& image, const std::string& path, const pg::TSaveOptions& options);

// The line that tells how to read an image refused by the pixel limit: --max-pixels with its size.
std::string PixelLimitHint(const pg::EPGPixelLimit& limit);

// Raises "PATH: is a folder, not an image file" (or the `kind` given) for a folder.
void RefuseFolder(const std::string& path, const std::string& kind = "an image file");

// Prints "warning: FILE: TEXT" on standard error, one whole line at a time from any thread;
// control bytes of the text are shown escaped.
void PrintWarning(std::string_view file, std::string_view text);

// The text of an error about `file`: as it is when it names the file already, else "FILE: text".
std::string NameFile(const std::string& file, const std::string& message);

// `text` with line breaks as blanks and other control bytes as \xNN, safe to print on a terminal.
std::string PrintableText(std::string_view text);

}  // namespace tessel::cli
