// Helpers for the framework, BMP, JPEG and PNG tests: files and streams in memory, test images,
// scripted questions and options restored after each test.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "imaging/formats/file_format.h"
#include "imaging/formats/image_io.h"
#include "imaging/image/exceptions.h"
#include "imaging/image/pixel_graphic.h"
#include "imaging/image/question.h"
#include "imaging/image/stream.h"

namespace pg::formattest {

inline std::filesystem::path DataPath(const std::string& relative) {
  return std::filesystem::path(TESSEL_TEST_DATA_DIR) / relative;
}

inline std::vector<uint8_t> ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline void Load(TPixelGraphic& image, const std::vector<uint8_t>& bytes, const std::string& extension = "") {
  TMemoryStream stream(bytes);
  image.LoadFromStream(stream, extension);
}

inline std::vector<uint8_t> Save(TPixelGraphic& image, const std::string& extension) {
  TMemoryStream stream;
  image.SaveToStream(stream, extension);
  return stream.Data();
}

// A 24-bit image whose colours vary in every channel.
inline void MakeRGB(TPixelGraphic& image, int32_t width, int32_t height) {
  image.NewImage(width, height, bc24Bit);
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* row = image.ScanLine(y);
    for (int32_t x = 0; x < width; ++x) {
      row[3 * x] = static_cast<uint8_t>(x * 255 / std::max(1, width - 1));                     // blue
      row[3 * x + 1] = static_cast<uint8_t>(y * 255 / std::max(1, height - 1));                // green
      row[3 * x + 2] = static_cast<uint8_t>((x + y) * 255 / std::max(1, width + height - 2));  // red
    }
  }
}

// A palette image using every index, with distinct palette colours.
inline void MakeIndexed(TPixelGraphic& image, int32_t width, int32_t height, TBitCount bitCount,
                        int32_t paletteCount = -1) {
  image.NewImage(width, height, bitCount);
  const int32_t count = paletteCount < 0 ? image.ColorCount() : paletteCount;
  image.SetPaletteCount(count);
  for (int32_t i = 0; i < count; ++i) {
    image.SetPaletteEntries(i, RGBColor(static_cast<uint8_t>(i * 7 + 3), static_cast<uint8_t>(255 - i),
                                        static_cast<uint8_t>((i * 53) & 0xFF)));
  }
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) image.SetPixels(x, y, static_cast<uint32_t>((x + 3 * y) % count));
  }
}

inline ::testing::AssertionResult SameColors(const TPixelGraphic& a, const TPixelGraphic& b,
                                             int tolerance = 0) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) {
    return ::testing::AssertionFailure()
           << "size " << a.Width() << "x" << a.Height() << " vs " << b.Width() << "x" << b.Height();
  }
  for (int32_t y = 0; y < a.Height(); ++y) {
    for (int32_t x = 0; x < a.Width(); ++x) {
      const TColor ca = a.Colors(x, y), cb = b.Colors(x, y);
      const int dr = std::abs(GetRValue(ca) - GetRValue(cb)), dg = std::abs(GetGValue(ca) - GetGValue(cb)),
                db = std::abs(GetBValue(ca) - GetBValue(cb));
      if (std::max({dr, dg, db}) > tolerance) {
        return ::testing::AssertionFailure()
               << "pixel (" << x << ", " << y << "): " << std::hex << ca << " vs " << cb;
      }
    }
  }
  return ::testing::AssertionSuccess();
}

// The exception's text, or "" when `action` does not raise E.
template <class E>
std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const E& e) {
    return e.what();
  }
  return "";
}

// Installs a question handler that answers `answer` and records every question.
class TScriptedQuestions {
 public:
  explicit TScriptedQuestions(TQuestionAnswer answer) {
    previous_ = SetQuestionHandler(
        [this, answer](const std::string& caption, const std::string& text, TQuestionButtons buttons) {
          Captions.push_back(caption);
          Texts.push_back(text);
          Buttons.push_back(buttons);
          return answer;
        });
  }
  ~TScriptedQuestions() { SetQuestionHandler(std::move(previous_)); }
  TScriptedQuestions(const TScriptedQuestions&) = delete;
  TScriptedQuestions& operator=(const TScriptedQuestions&) = delete;

  std::vector<std::string> Captions;
  std::vector<std::string> Texts;
  std::vector<TQuestionButtons> Buttons;

 private:
  TQuestionHandler previous_;
};

// Restores the library-wide format options at the end of a test.
class TOptionsGuard {
 public:
  TOptionsGuard() : saved_(FormatOptions()) {}
  ~TOptionsGuard() { FormatOptions() = saved_; }
  TOptionsGuard(const TOptionsGuard&) = delete;
  TOptionsGuard& operator=(const TOptionsGuard&) = delete;

 private:
  TFormatOptions saved_;
};

// A fresh directory under the system's temporary folder, removed with its contents.
class TTempDir {
 public:
  TTempDir() {
    Path = std::filesystem::temp_directory_path() /
           ("tessel-formats-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
            std::to_string(reinterpret_cast<uintptr_t>(this)));
    std::filesystem::create_directories(Path);
  }
  ~TTempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(Path, ignored);
  }
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  std::filesystem::path Path;
};

}  // namespace pg::formattest
