// tessel-cli convert IN OUT: reads IN by its content and writes OUT in the format its extension
// names. A colour resolution the writer cannot hold is converted without a word, or refused with
// --strict.
#include "cli/commands.h"
#include "cli/image_files.h"
#include "imaging/image/pixel_graphic.h"

namespace tessel::cli {

namespace {

int RunConvert(const TArguments& args) {
  const TImagePolicy policy = ImagePolicyFrom(args);
  TJpegSettings jpeg;
  if (args.Has("--quality")) {
    jpeg.Quality = static_cast<int32_t>(WholeNumber("--quality", args.Value("--quality"), 0, 100));
  }
  jpeg.Progressive = args.Has("--progressive");

  pg::TPixelGraphic image;
  LoadImageFile(image, args.Operands[0], policy);
  SaveImageFile(image, args.Operands[1], policy, jpeg);
  return 0;
}

}  // namespace

TCommand ConvertCommand() {
  TCommandSpec spec;
  spec.Name = "convert";
  spec.Synopsis = "IN OUT [--quality N] [--progressive] [--strict] [--max-pixels N]";
  spec.Summary = "convert an image; OUT's extension names the format";
  spec.Description =
      "Reads the image IN, whatever its format, and writes it to OUT in the format that OUT's extension "
      "names (" +
      WritableExtensions() +
      "). Colours the output format cannot hold are reduced "
      "to what it can, unless --strict is given.";
  spec.Options = {
      {"--quality", "N",
       "JPEG quality from 0 (smallest file) to 100 (best picture); " +
           std::to_string(TJpegSettings().Quality) + " when not given"},
      {"--progressive", "", "write a progressive JPEG"},
  };
  for (TOptionSpec& option : ImagePolicyOptions()) spec.Options.push_back(std::move(option));
  spec.MinOperands = spec.MaxOperands = 2;
  spec.OperandsText = "IN and OUT";
  return {spec, RunConvert};
}

}  // namespace tessel::cli
