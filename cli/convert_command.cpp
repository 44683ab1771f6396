// tessel-cli convert IN OUT [--quality N] [--progressive] [--strict]: reads IN by its content and
// writes OUT in the format its extension names. A colour resolution the writer cannot hold is
// converted silently, or refused with --strict.
#include <charconv>
#include <iostream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "imaging/formats/file_format.h"
#include "imaging/image/pixel_graphic.h"
#include "imaging/image/question.h"

namespace tessel::cli {

namespace {

int ConvertUsage() {
  std::cerr << "Usage: tessel-cli convert IN OUT [--quality N] [--progressive] [--strict]\n";
  return 2;
}

// Restores the previous question handler and format options when the command ends.
class TConvertSettings {
 public:
  TConvertSettings() : options_(pg::FormatOptions()) {}
  ~TConvertSettings() {
    pg::FormatOptions() = options_;
    pg::SetQuestionHandler(std::move(previous_));
  }
  TConvertSettings(const TConvertSettings&) = delete;
  TConvertSettings& operator=(const TConvertSettings&) = delete;

  // Every question (a codec's warning about the input, for one) is answered OK without a word;
  // --strict is applied through the image's own warning action, so it refuses only the change of
  // colour resolution and not an input the codec can read with a warning.
  void Install() {
    previous_ = pg::SetQuestionHandler(
        [](const std::string&, const std::string&, pg::TQuestionButtons) { return pg::TQuestionAnswer::OK; });
  }

 private:
  pg::TFormatOptions options_;
  pg::TQuestionHandler previous_;
};

}  // namespace

int RunConvert(const TArgs& args) {
  std::vector<std::string> files;
  int quality = pg::FormatOptions().JPEGQuality;
  bool progressive = pg::FormatOptions().JPEGProgressive;
  bool strict = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--quality") {
      if (++i >= args.size()) return ConvertUsage();
      const std::string& value = args[i];
      const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), quality);
      if (error != std::errc() || end != value.data() + value.size() || quality < 0 || quality > 100) {
        std::cerr << "tessel-cli convert: --quality wants a number from 0 to 100\n";
        return 2;
      }
    } else if (arg == "--progressive") {
      progressive = true;
    } else if (arg == "--strict") {
      strict = true;
    } else if (!arg.empty() && arg[0] == '-' && arg != "-") {
      std::cerr << "tessel-cli convert: unknown option \"" << arg << "\"\n";
      return ConvertUsage();
    } else {
      files.push_back(arg);
    }
  }
  if (files.size() != 2) return ConvertUsage();

  TConvertSettings settings;
  settings.Install();
  pg::FormatOptions().JPEGQuality = quality;
  pg::FormatOptions().JPEGProgressive = progressive;

  pg::TPixelGraphic image;
  image.LoadFromFile(files[0]);
  image.SetSaveColorResWarningAction(strict ? pg::pgwaRaise : pg::pgwaIgnore);
  image.SaveToFile(files[1]);
  return 0;
}

}  // namespace tessel::cli
