// Shared pieces of the export tests: a scripted interaction, a patterned source image, small file
// helpers and the fixture the slice and page export tests share.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "imaging/image/pixel_graphic.h"
#include "workspace/html_table.h"
#include "workspace/slice_export.h"
#include "workspace/slice_properties.h"

namespace tessel::testing {

namespace fs = std::filesystem;

struct TLinkAnswer {
  std::string Url, Target, Alt;
};

// Answers every question from its fields and records what it was asked.
class TScriptedInteraction : public TExportInteraction {
 public:
  bool OverwriteAnswer = true;
  std::vector<std::pair<std::string, std::string>> OverwriteQuestions;  // text, caption
  std::function<void(TExportOptions&)> OnOptions;
  bool OptionsAnswer = true;  // false: the options dialog's Cancel
  int OptionsShown = 0;
  std::map<std::pair<int32_t, int32_t>, TLinkAnswer> Answers;  // (column, row)
  // Replaces the answers above when set.
  std::function<tessel::TSliceAnswer(const TGridCell&, int64_t position, int64_t count, TSliceProperties&)>
      OnSlice;
  std::vector<std::string> OpenTags;
  std::vector<TCellMarkup> Markups;
  std::vector<std::pair<int32_t, int32_t>> SliceSizes;
  std::vector<TSliceProperties> Offered;  // what each slice question came filled with
  std::function<void(std::vector<std::string>&)> OnEdit;
  bool EditAnswer = true;  // false: the code editor's Cancel
  std::vector<fs::path> GridsSaved;

  bool ConfirmOverwrite(const fs::path&, const std::string& text, const std::string& caption) override {
    OverwriteQuestions.emplace_back(text, caption);
    return OverwriteAnswer;
  }
  bool ShowOptions(TExportOptions& options) override {
    ++OptionsShown;
    if (OnOptions) OnOptions(options);
    return OptionsAnswer;
  }
  tessel::TSliceAnswer AskSlice(const pg::TPixelGraphic& slice, const TCellMarkup& markup,
                                const TGridCell& cell, int64_t position, int64_t count,
                                TSliceProperties& properties) override {
    OpenTags.push_back(markup.OpenTag);
    Markups.push_back(markup);
    SliceSizes.emplace_back(slice.Width(), slice.Height());
    Offered.push_back(properties);
    if (OnSlice) return OnSlice(cell, position, count, properties);
    const auto it = Answers.find({cell.Column, cell.Row});
    if (it != Answers.end()) {
      properties.Url = it->second.Url;
      properties.Target = it->second.Target;
      properties.Alt = it->second.Alt;
    }
    return tessel::TSliceAnswer::Next;
  }
  bool EditCode(std::vector<std::string>& lines) override {
    if (OnEdit) OnEdit(lines);
    return EditAnswer;
  }
  void GridSaved(const fs::path& path) override { GridsSaved.push_back(path); }
};

// A 24-bit image whose every pixel differs from its neighbours, so a misplaced cut shows.
inline void MakePatternImage(pg::TPixelGraphic& image, int32_t width, int32_t height) {
  image.NewImage(width, height, pg::bc24Bit);
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* row = image.ScanLine(y);
    for (int32_t x = 0; x < width; ++x) {
      row[3 * x + 0] = static_cast<uint8_t>(x * 7 + y * 3);
      row[3 * x + 1] = static_cast<uint8_t>(x * 13 ^ y * 5);
      row[3 * x + 2] = static_cast<uint8_t>(x + y * 11);
    }
  }
}

inline std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline std::vector<std::string> SplitCrLf(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start) + "<no CR LF>");
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

inline std::vector<std::string> DirectoryNames(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// The distinct chunk types of a PNG file in order of first appearance, space-separated.
inline std::string PngChunkTypes(const std::string& png) {
  std::string types;
  for (size_t at = 8; at + 8 <= png.size();) {
    const auto byte = [&](size_t i) { return static_cast<uint32_t>(static_cast<uint8_t>(png[at + i])); };
    const uint32_t length = byte(0) << 24 | byte(1) << 16 | byte(2) << 8 | byte(3);
    const std::string type = png.substr(at + 4, 4);
    if (types.find(type) == std::string::npos) types += (types.empty() ? "" : " ") + type;
    at += 12 + static_cast<size_t>(length);
  }
  return types;
}

// A fresh directory for one test, removed afterwards.
class TTempDir {
 public:
  explicit TTempDir(const std::string& name)
      : path_(fs::temp_directory_path() / ("tessel-" + name + "-" + std::to_string(::getpid()))) {
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~TTempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  const fs::path& Path() const { return path_; }

 private:
  fs::path path_;
};

// An export test's picture (a 200 x 100 pattern cut into two columns and two rows), options,
// answers and slice properties, in a directory of its own.
class TExportFixture : public ::testing::Test {
 protected:
  TExportFixture() : dir_(::testing::UnitTest::GetInstance()->current_test_info()->name()) {}

  void SetUp() override {
    MakePatternImage(source_, 200, 100);
    grid_.VerticalSplits = {0, 120, 200};
    grid_.HorizontalSplits = {0, 40, 100};
    options_.ShowOptions = false;
  }

  TExportRequest BaseRequest(const std::string& htmlName, const std::string& extension, int32_t jobs) {
    TExportRequest request;
    request.HtmlPath = dir_.Path() / htmlName;
    request.Source = &source_;
    request.Grid = &grid_;
    request.Extension = extension;
    request.Options = &options_;
    request.Interaction = &interaction_;
    request.Slices = &slices_;
    request.Jobs = jobs;
    return request;
  }

  TTempDir dir_;
  pg::TPixelGraphic source_;
  TSplitGrid grid_;
  TExportOptions options_;
  TScriptedInteraction interaction_;
  TSliceTable slices_;
};

}  // namespace tessel::testing
