// tessel-cli filter IN OUT (--rgb R,G,B | --cmy C,M,Y | --hls H,L,S): reads IN by its content,
// adjusts its colours in place and writes OUT in the format its extension names. RGB, CMY,
// lightness and saturation are percent (-100..100), the hue a rotation in degrees (-180..180).
#include <memory>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/image_files.h"
#include "imaging/filters/filter.h"
#include "imaging/image/pixel_graphic.h"

namespace tessel::cli {

namespace {

// Three comma-separated whole numbers, each within its [low, high]; false on anything else.
bool ParseTriple(const std::string& text, const int32_t (&low)[3], const int32_t (&high)[3],
                 int32_t (&values)[3]) {
  const std::vector<std::string_view> items = SplitList(text);
  if (items.size() != 3) return false;
  for (size_t i = 0; i < 3; ++i) {
    int64_t value = 0;
    if (!TryParseWholeNumber(items[i], value) || value < low[i] || value > high[i]) return false;
    values[i] = static_cast<int32_t>(value);
  }
  return true;
}

std::unique_ptr<pg::TPGFilter> FilterFrom(const TArguments& args) {
  const char* const kinds[] = {"--rgb", "--cmy", "--hls"};
  std::string kind;
  for (const char* candidate : kinds) {
    if (!args.Has(candidate)) continue;
    if (!kind.empty()) throw EUsageError("give only one of --rgb, --cmy and --hls");
    kind = candidate;
  }
  if (kind.empty()) throw EUsageError("give one of --rgb, --cmy and --hls");

  const bool hls = kind == "--hls";
  const int32_t low[3] = {hls ? -180 : -100, -100, -100};
  const int32_t high[3] = {hls ? 180 : 100, 100, 100};
  const std::string text = args.Value(kind);
  int32_t v[3];
  if (!ParseTriple(text, low, high, v)) {
    throw EUsageError(
        kind + ": expected three whole numbers like " +
        (hls ? "30,-10,20 (degrees -180..180, then percent -100..100)" : "30,-10,20 (percent -100..100)") +
        ", got \"" + text + "\"");
  }
  if (kind == "--rgb") {
    auto rgb = std::make_unique<pg::TRGBFilter>();
    rgb->SetAdjustment(v[0], v[1], v[2]);
    return rgb;
  }
  if (kind == "--cmy") {
    auto cmy = std::make_unique<pg::TCMYFilter>();
    cmy->SetAdjustment(v[0], v[1], v[2]);
    return cmy;
  }
  auto hlsFilter = std::make_unique<pg::THLSFilter>();
  hlsFilter->SetAdjustment(v[0], v[1], v[2]);
  return hlsFilter;
}

int RunFilter(const TArguments& args) {
  const std::unique_ptr<pg::TPGFilter> filter = FilterFrom(args);
  const std::string& in = args.Operands[0];
  const std::string& out = args.Operands[1];
  const TImagePolicy policy = ImagePolicyFrom(args);
  const pg::TSaveOptions saveOptions = SaveOptionsFor(out, policy, args);
  pg::TPixelGraphic image;
  LoadImageFile(image, in, LoadOptionsFor(in, policy));
  image.ApplyFilter(*filter, image);
  SaveImageFile(image, out, saveOptions);
  return 0;
}

}  // namespace

TCommand FilterCommand() {
  TCommandSpec spec;
  spec.Name = "filter";
  spec.Synopsis = "IN OUT (--rgb R,G,B | --cmy C,M,Y | --hls H,L,S) [--strict] [--max-pixels N]";
  spec.Summary = "adjust the colours of an image; OUT's extension names the format";
  spec.Description =
      "Reads the image IN, adjusts its colours with one of the three filters and writes it to OUT in the "
      "format that OUT's extension names (" +
      WritableExtensions() + "). A palette image keeps its pixels and has its palette adjusted.";
  spec.Options = {
      {"--rgb", "R,G,B", "add to red, green and blue: percent from -100 to 100 each"},
      {"--cmy", "C,M,Y", "add to cyan, magenta and yellow: percent from -100 to 100 each"},
      {"--hls", "H,L,S",
       "rotate the hue by H degrees (-180 to 180) and change lightness and saturation by L and S percent "
       "(-100 to 100)"},
  };
  for (TOptionSpec& option : ImagePolicyOptions()) spec.Options.push_back(std::move(option));
  spec.MinOperands = spec.MaxOperands = 2;
  spec.OperandsText = "IN and OUT";
  return {spec, RunFilter};
}

}  // namespace tessel::cli
