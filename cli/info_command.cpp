// tessel-cli info FILE: the header information of an image file, one "name: value" per line.
#include <filesystem>
#include <iostream>
#include <string>

#include "cli/commands.h"
#include "imaging/formats/file_format.h"
#include "imaging/image/exceptions.h"
#include "imaging/image/messages.h"
#include "imaging/image/stream.h"

namespace tessel::cli {

int RunInfo(const TArgs& args) {
  if (args.size() != 1 || args[0].empty() || args[0][0] == '-') {
    std::cerr << "Usage: tessel-cli info FILE\n";
    return 2;
  }
  const std::string& fileName = args[0];
  // The image count of a multi-image file is the point of the "images" line: have it counted
  // (up to TIFFMaxImages) for this call, and leave the process-wide options as they were.
  struct TCountImages {
    pg::TFormatOptions saved = pg::FormatOptions();
    TCountImages() { pg::FormatOptions().TIFFCountImages = true; }
    ~TCountImages() { pg::FormatOptions() = saved; }
    TCountImages(const TCountImages&) = delete;
    TCountImages& operator=(const TCountImages&) = delete;
  } countImages;
  // The steps of GetGraphicFileInfo, done here so that a failure reports its own reason.
  pg::TFileStream stream(fileName, pg::TFileMode::Read);
  std::string extension = std::filesystem::path(fileName).extension().string();
  const pg::TFileFormatReader* reader = pg::FindFileFormatReader(stream, extension);
  if (reader == nullptr) throw pg::EPGUnknownFileFormat(pg::MessageText(6));
  int32_t imageCount = 0, bitsPerPixel = 0, height = 0, width = 0;
  std::string colorsText, infoText, subFormatText;
  reader->GetInfo(stream, 0, imageCount, bitsPerPixel, colorsText, height, width, infoText, subFormatText);
  std::cout << "format: " << reader->Description << "\n"
            << "width: " << width << "\n"
            << "height: " << height << "\n"
            << "bits per pixel: " << bitsPerPixel << "\n"
            << "images: " << imageCount << "\n";
  return 0;
}

}  // namespace tessel::cli
