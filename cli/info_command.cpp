// tessel-cli info FILE...: the header information of image files, as "name: value" lines or, with
// --json, as one JSON array with an object per file. Every file is reported; the exit status is 1
// when any of them failed.
#include <iostream>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>

#include "cli/commands.h"
#include "cli/image_files.h"
#include "imaging/formats/file_format.h"

namespace tessel::cli {

namespace {

// The header information of one file, or its reason for failing.
pg::TGraphicFileInfo ReadFileInfo(const std::string& path, const TImagePolicy& policy) {
  RefuseFolder(path);
  pg::TLoadOptions options = LoadOptionsFor(path, policy);
  // The image count of a multi-image file is the point of the "images" line: have it counted (up
  // to TIFFMaxImages).
  options.TIFFCountImages = true;
  try {
    pg::TGraphicFileInfo info;
    pg::ReadGraphicFileInfo(path, 0, info, options);
    return info;
  } catch (const std::exception& e) {
    throw std::runtime_error(NameFile(path, e.what()));
  }
}

void PrintText(const std::string& path, const pg::TGraphicFileInfo& info, bool withName) {
  if (withName) std::cout << "file: " << PrintableText(path) << "\n";
  std::cout << "format: " << info.Description << "\n"
            << "width: " << info.Width << "\n"
            << "height: " << info.Height << "\n"
            << "bits per pixel: " << info.BitsPerPixel << "\n"
            << "images: " << info.ImageCount << "\n";
}

nlohmann::ordered_json JsonOf(const pg::TGraphicFileInfo& info) {
  return {{"format", info.Description},          {"width", info.Width},       {"height", info.Height},
          {"bits_per_pixel", info.BitsPerPixel}, {"images", info.ImageCount}, {"colors", info.ColorsText},
          {"subformat", info.SubFormatText},     {"details", info.InfoText}};
}

int RunInfo(const TArguments& args) {
  const bool json = args.Has("--json");
  const TImagePolicy policy = ImagePolicyFrom(args);
  const bool several = args.Operands.size() > 1;
  nlohmann::ordered_json results = nlohmann::ordered_json::array();
  int status = 0;
  bool first = true;
  for (const std::string& path : args.Operands) {
    nlohmann::ordered_json result = {{"file", path}};
    try {
      const pg::TGraphicFileInfo info = ReadFileInfo(path, policy);
      if (json) {
        result.update(JsonOf(info));
      } else {
        if (!first) std::cout << "\n";
        PrintText(path, info, several);
        first = false;
      }
    } catch (const std::exception& e) {
      std::cerr << e.what() << "\n";
      result["error"] = e.what();
      status = 1;
    }
    results.push_back(std::move(result));
  }
  if (json) {
    // File names and messages need not be UTF-8; bytes that are not become U+FFFD.
    std::cout << results.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << "\n";
  }
  std::cout.flush();
  return status;
}

}  // namespace

TCommand InfoCommand() {
  TCommandSpec spec;
  spec.Name = "info";
  spec.Synopsis = "FILE... [--json]";
  spec.Summary = "format, size, bits per pixel and image count of image files";
  spec.Description =
      "Reads the headers of the image files and prints, for each, its format, width, height, bits per "
      "pixel and number of images as \"name: value\" lines; with several files each result starts with a "
      "\"file:\" line and an empty line separates them. A file that cannot be read is reported on standard "
      "error and the others are still printed.";
  spec.Options = {
      {"--json", "",
       "print one JSON array with an object per file instead: file, format, width, height, "
       "bits_per_pixel, images, colors, subformat and details, or file and error for a file that failed"},
  };
  spec.MinOperands = 1;
  spec.OperandsText = "one or more FILEs";
  return {spec, RunInfo};
}

}  // namespace tessel::cli
