// tessel-cli convert IN OUT: reads IN by its content and writes OUT in the format its extension
// names. A colour resolution the writer cannot hold is converted without a word, or refused with
// --strict.
#include "cli/commands.h"
#include "cli/image_files.h"
#include "imaging/image/pixel_graphic.h"

namespace tessel::cli {

namespace {

int RunConvert(const TArguments& args) {
  const std::string& in = args.Operands[0];
  const std::string& out = args.Operands[1];
  const TImagePolicy policy = ImagePolicyFrom(args);
  const pg::TSaveOptions saveOptions = SaveOptionsFor(out, policy, args);

  pg::TPixelGraphic image;
  LoadImageFile(image, in, LoadOptionsFor(in, policy));
  SaveImageFile(image, out, saveOptions);
  return 0;
}

}  // namespace

TCommand ConvertCommand() {
  TCommandSpec spec;
  spec.Name = "convert";
  spec.Synopsis =
      "IN OUT [--quality N] [--progressive] [--lossless] [--speed N] [--colors N] [--dither|--no-dither] "
      "[--strict] [--max-pixels N]";
  spec.Summary = "convert an image; OUT's extension names the format";
  spec.Description =
      "Reads the image IN, whatever its format, and writes it to OUT in the format that OUT's extension "
      "names (" +
      WritableExtensions() +
      "). Colours the output format cannot hold are reduced "
      "to what it can, unless --strict is given. With --colors a PNG is written as an indexed PNG of at "
      "most that many colours, with --lossless a WebP without loss.";
  spec.Options = CodecOptions("file", true);
  for (TOptionSpec& option : ImagePolicyOptions()) spec.Options.push_back(std::move(option));
  spec.MinOperands = spec.MaxOperands = 2;
  spec.OperandsText = "IN and OUT";
  return {spec, RunConvert};
}

}  // namespace tessel::cli
