#include "workspace/grid_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "imaging/image/exceptions.h"
#include "tests/workspace/file_size_limit.h"
#include "workspace/errors.h"
#include "workspace/integer_text.h"
#include "workspace/message_text.h"

namespace tessel {
namespace {

namespace fs = std::filesystem;

std::vector<int32_t> V(const TIntegerList& list) {
  return list.Values();
}

class GridFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("tessel-grid-" + std::to_string(::getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add);
    fs::remove_all(dir_);
  }
  fs::path Write(const std::string& name, const std::string& bytes) {
    const fs::path path = dir_ / name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  static std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  fs::path dir_;
};

TEST(IntegerText, DecimalHexBlanksAndSign) {
  struct Case {
    const char* text;
    bool ok;
    int32_t value;
  };
  const Case cases[] = {
      {"0", true, 0},
      {"  42", true, 42},
      {"+7", true, 7},
      {"-7", true, -7},
      {" -$1F", true, -31},
      {"$ff", true, 255},
      {"$FFFFFFFF", true, -1},
      {"2147483647", true, 2147483647},
      {"-2147483648", true, INT32_MIN},
      {"2147483648", false, 0},
      {"$100000000", false, 0},
      {"", false, 0},
      {"-", false, 0},
      {"$", false, 0},
      {"+-1", false, 0},
      {"12 ", false, 0},
      {"1a", false, 0},
      {"$-1", false, 0},
      {"00000000000000012", true, 12},
  };
  for (const Case& c : cases) {
    int32_t value = 0;
    EXPECT_EQ(TryStrToInt(c.text, value), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(value, c.value) << c.text;
    }
  }
  try {
    StrToInt("x1");
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'x1' is not a valid integer value");
  }
}

TEST_F(GridFileTest, FreshGridIsFiveCrLfLines) {
  TSplitGrid grid;
  grid.ResetGrid(640, 480);
  std::vector<fs::path> used;
  SaveGrid(grid, dir_ / "a.grd", {.OnClamp = {}, .OnUsed = [&](const fs::path& p) { used.push_back(p); }});
  EXPECT_EQ(Read(dir_ / "a.grd"), "0\r\n480\r\n-\r\n0\r\n640\r\n");
  EXPECT_EQ(used, std::vector<fs::path>{dir_ / "a.grd"});
  // Only the target remains: no temporary file left beside it.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST_F(GridFileTest, RoundTripKeepsTheOrderAndNegativeValues) {
  TSplitGrid grid;
  grid.HorizontalSplits = {480, 0, 17, 17, -5};
  grid.VerticalSplits = {640, 3, 0};
  const fs::path path = dir_ / "b.grd";
  SaveGrid(grid, path);
  EXPECT_EQ(Read(path), "480\r\n0\r\n17\r\n17\r\n-5\r\n-\r\n640\r\n3\r\n0\r\n");
  TSplitGrid loaded;
  loaded.ResetGrid(1, 1);
  LoadGrid(loaded, path, 640, 480);
  EXPECT_EQ(loaded, grid);
}

TEST_F(GridFileTest, ReadsAnyLineEndHexSignsAndBlanks) {
  TSplitGrid grid;
  LoadGrid(grid, Write("c.grd", "0\r$10\n  +20\r\n-\n-\r\n5\n-3"), 640, 480);
  EXPECT_EQ(V(grid.HorizontalSplits), (std::vector<int32_t>{0, 16, 20}));
  EXPECT_EQ(V(grid.VerticalSplits), (std::vector<int32_t>{5, -3}));  // a second "-" changes nothing
}

TEST_F(GridFileTest, SeparatorMissingOrFirst) {
  TSplitGrid grid;
  LoadGrid(grid, Write("d.grd", "1\r\n2\r\n3\r\n"), 640, 480);
  EXPECT_EQ(V(grid.HorizontalSplits), (std::vector<int32_t>{1, 2, 3}));
  EXPECT_TRUE(grid.VerticalSplits.Values().empty());
  LoadGrid(grid, Write("e.grd", "-\r\n4\r\n"), 640, 480);
  EXPECT_TRUE(grid.HorizontalSplits.Values().empty());
  EXPECT_EQ(V(grid.VerticalSplits), (std::vector<int32_t>{4}));
  LoadGrid(grid, Write("dash.grd", "-\r\n"), 640, 480);  // no edges are added
  EXPECT_EQ(grid.HorizontalSplits.Count() + grid.VerticalSplits.Count(), 0);
}

TEST_F(GridFileTest, ValuesAboveTheImageAreClampedWithOneMessageEach) {
  TSplitGrid grid;
  std::vector<std::string> messages;
  TGridFileHooks hooks;
  hooks.OnClamp = [&](const std::string& m) { messages.push_back(m); };
  LoadGrid(grid, Write("f.grd", "480\r\n481\r\n-\r\n700\r\n640\r\n$300\r\n"), 640, 480, hooks);
  EXPECT_EQ(V(grid.HorizontalSplits), (std::vector<int32_t>{480, 480}));
  EXPECT_EQ(V(grid.VerticalSplits), (std::vector<int32_t>{640, 640, 640}));
  EXPECT_EQ(messages, (std::vector<std::string>{"Grid larger than image, line 481 out of bounds!",
                                                "Grid larger than image, line 700 out of bounds!",
                                                "Grid larger than image, line 768 out of bounds!"}));
}

TEST_F(GridFileTest, BadLineOrMissingFileLeavesTheGridUntouched) {
  TSplitGrid grid;
  grid.HorizontalSplits = {0, 10, 480};
  grid.VerticalSplits = {0, 640};
  const TSplitGrid before = grid;
  int used = 0;
  std::vector<std::string> messages;
  TGridFileHooks hooks{[&](const std::string& m) { messages.push_back(m); },
                       [&](const fs::path&) { ++used; }};

  const std::pair<const char*, const char*> cases[] = {
      {"1\r\n2\r\nabc\r\n", ":3: 'abc' is not a valid integer value"},
      {"1\r\n\r\n-\r\n2\r\n", ":2: '' is not a valid integer value"},  // an empty line
      {"999\r\n-\r\n1.5", ":3: '1.5' is not a valid integer value"},
      {"5\r\n 7 \r\n", ":2: ' 7 ' is not a valid integer value"},  // blanks only before the number
  };
  for (const auto& [text, message] : cases) {
    try {
      LoadGrid(grid, Write("bad.grd", text), 640, 480, hooks);
      ADD_FAILURE() << text;
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.what(), (dir_ / "bad.grd").string() + message);
    }
    EXPECT_EQ(grid, before);
  }
  // An empty file and one of binary data say what a grid file is, naming the file.
  const std::pair<std::string, std::string> wholeFileCases[] = {
      {"", " is empty; a grid file holds split positions, one number a line. The grid was left as it was."},
      {std::string("12\r\n\x89PNG\0\x1a", 10),
       " is not a grid file: it holds binary data. A grid file is text with one split position a line, as "
       "Save Grid writes it."},
  };
  for (const auto& [text, message] : wholeFileCases) {
    try {
      LoadGrid(grid, Write("whole.grd", text), 640, 480, hooks);
      ADD_FAILURE() << "no error";
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.what(), (dir_ / "whole.grd").string() + message);
    }
    EXPECT_EQ(grid, before);
  }
  EXPECT_THROW(LoadGrid(grid, dir_ / "missing.grd", 640, 480, hooks), pg::EPGStreamError);
  try {
    LoadGrid(grid, dir_, 640, 480, hooks);
    ADD_FAILURE() << "no error";
  } catch (const pg::EPGStreamError& e) {
    EXPECT_EQ(e.what(), dir_.string() + " is a folder, not a grid file; choose a .grd file");
  }
  // A device that never ends is refused instead of being read into memory without bound.
  EXPECT_THROW(LoadGrid(grid, "/dev/zero", 640, 480, hooks), pg::EPGStreamError);
  EXPECT_EQ(grid, before);
  EXPECT_EQ(used, 0);
  EXPECT_TRUE(messages.empty());  // nothing about clamped values of a grid that was not loaded
}

TEST(QuoteForMessage, BoundedEscapedAndWholeCharacters) {
  EXPECT_EQ(QuoteForMessage("abc -12 $ff"), "abc -12 $ff");
  EXPECT_EQ(QuoteForMessage(std::string(81, 'x')), std::string(80, 'x') + "...");
  EXPECT_EQ(QuoteForMessage(std::string(80, 'x')), std::string(80, 'x'));
  EXPECT_EQ(QuoteForMessage(std::string("a\tb\r\n\x1b[31m\0z\x7f", 13)), "a\\tb\\r\\n\\x1b[31m\\x00z\\x7f");
  // UTF-8 stays readable; C1 controls, stray and overlong bytes are escaped.
  EXPECT_EQ(QuoteForMessage("caf\xC3\xA9 \xE2\x82\xAC"), "caf\xC3\xA9 \xE2\x82\xAC");
  EXPECT_EQ(QuoteForMessage("\xC2\x9B"
                            "2J"),
            "\\u009b2J");
  EXPECT_EQ(QuoteForMessage("\xFF\xC3 \xC0\xAF \xED\xA0\x80"), "\\xff\\xc3 \\xc0\\xaf \\xed\\xa0\\x80");
  // The cut falls between characters, never inside one.
  std::string accents;
  for (int i = 0; i < 90; ++i) accents += "\xC3\xA9";
  EXPECT_EQ(QuoteForMessage(accents), accents.substr(0, 160) + "...");
}

TEST_F(GridFileTest, BadLineMessagesAreShortEscapedAndNameTheFile) {
  TSplitGrid grid;
  const auto errorOf = [&](const std::string& bytes) {
    try {
      LoadGrid(grid, Write("bad.grd", bytes), 640, 480);
    } catch (const EConvertError& e) {
      return std::string(e.what());
    }
    return std::string("(loaded)");
  };
  const std::string prefix = (dir_ / "bad.grd").string();
  // A line of 8 MB: about 80 characters of it are quoted.
  EXPECT_EQ(errorOf("0\r\n" + std::string(8 << 20, '7') + "x\r\n"),
            prefix + ":2: '" + std::string(80, '7') + "...' is not a valid integer value");
  // Bytes that are not UTF-8 reach the terminal as escapes.
  EXPECT_EQ(errorOf("1\n\xff\xfe\n"), prefix + ":2: '\\xff\\xfe' is not a valid integer value");
  // Escape sequences and a NUL make the file binary data: none of its bytes reach the message, and a
  // NUL does not end it.
  const std::string binary = prefix +
                             " is not a grid file: it holds binary data. A grid file is text with one "
                             "split position a line, as Save Grid writes it.";
  EXPECT_EQ(errorOf("1\n\x1b]0;owned\x07\n"), binary);
  const std::string withNul =
      errorOf(std::string("5\r7\0"
                          "8\r\n",
                          6));
  EXPECT_EQ(withNul, binary);
  EXPECT_EQ(std::strlen(withNul.c_str()), withNul.size());
}

TEST_F(GridFileTest, ManyClampedValuesGiveAFewMessagesAndOneSummary) {
  std::string text;
  constexpr int kValues = 1'000'000;
  text.reserve(kValues * 4 + 3);
  for (int i = 0; i < kValues; ++i) text += "999\n";
  text += "-\n";
  std::vector<std::string> messages;
  TGridFileHooks hooks;
  hooks.OnClamp = [&](const std::string& m) { messages.push_back(m); };
  TSplitGrid grid;
  LoadGrid(grid, Write("many.grd", text), 640, 480, hooks);
  EXPECT_EQ(grid.HorizontalSplits.Count(), kValues);
  EXPECT_EQ(grid.HorizontalSplits[kValues - 1], 480);
  std::vector<std::string> expected(kClampMessagesShown, "Grid larger than image, line 999 out of bounds!");
  expected.push_back("Grid larger than image, " + std::to_string(kValues - kClampMessagesShown) +
                     " more lines out of bounds in \"" + (dir_ / "many.grd").string() + "\"!");
  EXPECT_EQ(messages, expected);
}

TEST_F(GridFileTest, FailedWriteKeepsThePreviousFileAndLeavesNoTemporary) {
  TSplitGrid grid;
  grid.HorizontalSplits = {0, 100000, 200000};
  grid.VerticalSplits = {0, 300000};
  const fs::path path = Write("keep.grd", "old\r\n");
  int used = 0;
  {
    TFileSizeLimit limit(8);  // the new text needs 31 bytes
    EXPECT_THROW(SaveGrid(grid, path, {.OnClamp = {}, .OnUsed = [&](const fs::path&) { ++used; }}),
                 pg::EPGStreamError);
  }
  EXPECT_EQ(Read(path), "old\r\n");
  EXPECT_EQ(used, 0);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST_F(GridFileTest, WriteIntoMissingDirectoryNamesTheTarget) {
  TSplitGrid grid;
  grid.ResetGrid(10, 10);
  try {
    SaveGrid(grid, dir_ / "nope" / "g.grd");
    FAIL();
  } catch (const pg::EPGStreamError& e) {
    EXPECT_NE(std::string(e.what()).find("g.grd"), std::string::npos) << e.what();
  }
}

}  // namespace
}  // namespace tessel
