// Helpers for the TIFF, PCX, TGA and PBM/PGM/PPM tests: running a reader or writer on memory,
// building test images and comparing images by colour.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "imaging/formats/file_format.h"
#include "imaging/image/exceptions.h"
#include "imaging/image/pixel_graphic.h"
#include "imaging/image/stream.h"

namespace pg::testing {

inline void ReadWith(const TFileFormatReader& reader, const std::vector<uint8_t>& data, TPixelGraphic& image,
                     int32_t index = 0) {
  TMemoryStream stream(data);
  reader.ReadFromStream(stream, image, index, DefaultLoadOptions());
}

inline std::vector<uint8_t> WriteWith(const TFileFormatWriter& writer, TPixelGraphic& image) {
  TMemoryStream stream;
  writer.WriteToStream(stream, image, DefaultSaveOptions());
  return stream.Data();
}

// Fills an image with a pattern that uses every index (palette formats) or varied colours.
inline void FillPattern(TPixelGraphic& image) {
  const int32_t colors = image.BitCount() == bc24Bit ? 0 : image.ColorCount();
  for (int32_t y = 0; y < image.Height(); ++y) {
    for (int32_t x = 0; x < image.Width(); ++x) {
      if (colors > 0) {
        image.SetPixels(x, y, static_cast<uint32_t>((x + 3 * y + (x / 5)) % colors));
      } else {
        image.SetPixels(
            x, y,
            RGBColor(static_cast<uint8_t>(x * 37 + y), static_cast<uint8_t>(y * 11), (x / 3) % 2 ? 255 : 7));
      }
    }
  }
}

// An image with a pattern and, for palette formats, a palette of distinct colours.
inline void MakeImage(TPixelGraphic& image, int32_t width, int32_t height, TBitCount bitCount) {
  image.NewImage(width, height, bitCount);
  if (bitCount != bc24Bit) {
    const int32_t n = ColorCount(bitCount);
    image.SetPaletteCount(n);
    for (int32_t i = 0; i < n; ++i) {
      image.SetPaletteEntries(i, RGBColor(static_cast<uint8_t>(i * 7 + 3), static_cast<uint8_t>(255 - i),
                                          static_cast<uint8_t>((i * 53) & 0xFF)));
    }
  }
  FillPattern(image);
}

inline ::testing::AssertionResult SameColors(const TPixelGraphic& a, const TPixelGraphic& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) {
    return ::testing::AssertionFailure()
           << "size " << a.Width() << "x" << a.Height() << " vs " << b.Width() << "x" << b.Height();
  }
  for (int32_t y = 0; y < a.Height(); ++y) {
    for (int32_t x = 0; x < a.Width(); ++x) {
      if (a.Colors(x, y) != b.Colors(x, y)) {
        return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << "): " << std::hex
                                             << a.Colors(x, y) << " vs " << b.Colors(x, y);
      }
    }
  }
  return ::testing::AssertionSuccess();
}

// Runs `action` and checks that it raises E with a message starting with `prefix` and containing
// `part`.
template <class E>
::testing::AssertionResult Raises(const std::function<void()>& action, const std::string& prefix,
                                  const std::string& part = "") {
  try {
    action();
  } catch (const E& e) {
    const std::string text = e.what();
    if (text.rfind(prefix, 0) != 0 || text.find(part) == std::string::npos) {
      return ::testing::AssertionFailure() << "message \"" << text << "\"";
    }
    return ::testing::AssertionSuccess();
  } catch (const std::exception& e) {
    return ::testing::AssertionFailure() << "other exception: " << e.what();
  }
  return ::testing::AssertionFailure() << "no exception";
}

inline std::vector<uint8_t> Bytes(const std::string& text) {
  return {text.begin(), text.end()};
}

// Where the fuzz seeds made by the tests go: the folder TESSEL_WRITE_FUZZ_SEEDS names (scripts/test
// points it into the build tree and seeds the fuzz runs from there); empty when it is not set. The
// tests never write into the source tree.
inline std::filesystem::path FuzzSeedFolder() {
  const char* folder = std::getenv("TESSEL_WRITE_FUZZ_SEEDS");
  return folder != nullptr ? std::filesystem::path(folder) : std::filesystem::path();
}

inline bool WritingFuzzSeeds() {
  return !FuzzSeedFolder().empty();
}

// Stores a seed file of the fuzz target `target` in FuzzSeedFolder()/<target>/.
inline void WriteFuzzSeed(const std::string& target, const std::string& name,
                          const std::vector<uint8_t>& data) {
  const std::filesystem::path dir = FuzzSeedFolder() / target;
  std::filesystem::create_directories(dir);
  std::ofstream(dir / name, std::ios::binary)
      .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

}  // namespace pg::testing
