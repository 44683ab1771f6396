// The rules every command shares, run as the real program: help and version, exit statuses, "--",
// numbers, folders given as images, library warnings, --strict and --max-pixels.
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "imaging/formats/file_format.h"
#include "imaging/formats/image_io.h"
#include "imaging/image/pixel_graphic.h"
#include "imaging/image/question.h"
#include "tessel/version.h"
#include "tests/cli/cli_test_support.h"

namespace tessel::cli {
namespace {

using test::ReadFile;
namespace fs = std::filesystem;

const std::vector<std::string> kCommands = {"info", "convert", "export", "filter"};

class CommandLineTest : public test::TCliTest {
 protected:
  void SetUp() override {
    TCliTest::SetUp();
    banner_ = (fs::path(TESSEL_SOURCE_DIR) / "samples" / "banner.png").string();
  }

  // A 256 x 256 JPEG of busy colours cut to its first `percent` per cent, so the codec warns that
  // it ends early and fills the rest.
  std::string CutJpeg(const std::string& name, int percent) {
    pg::TPixelGraphic image;
    image.NewImage(256, 256, pg::bc24Bit);
    for (int32_t y = 0; y < 256; ++y)
      for (int32_t x = 0; x < 256; ++x)
        image.SetPixels(x, y, pg::RGBColor((x * 7) & 255, (y * 13) & 255, (x ^ y) & 255));
    image.SaveToFile(Path("whole.jpg"));
    std::string bytes = ReadFile(Path("whole.jpg"));
    fs::remove(Path("whole.jpg"));
    bytes.resize(bytes.size() * static_cast<size_t>(percent) / 100);
    std::ofstream(Path(name), std::ios::binary) << bytes;
    return Path(name);
  }

  // The arguments that run `command` on `image` with outputs in the scratch folder.
  std::vector<std::string> Invocation(const std::string& command, const std::string& image) {
    if (command == "info") return {"info", image};
    if (command == "convert") return {"convert", image, Path("out.png")};
    if (command == "export") return {"export", image, "--html", Path("page.html"), "--format", "png"};
    return {"filter", image, Path("out.png"), "--rgb", "0,0,0"};
  }

  std::string banner_;
};

TEST_F(CommandLineTest, HelpAndVersionOnEveryCommand) {
  for (const std::string& command : kCommands) {
    EXPECT_EQ(RunCli({command, "--help"}), 0) << command;
    EXPECT_EQ(out_.rfind("Usage: tessel-cli " + command + " ", 0), 0u) << out_;
    EXPECT_NE(out_.find("Exit status: 0 success, 1 failure"), std::string::npos) << out_;
    EXPECT_EQ(err_, "");
    // -h works too, and wins over a mistake that follows it.
    EXPECT_EQ(RunCli({command, "-h", "--bogus"}), 0) << command;
    EXPECT_EQ(RunCli({command, "--version"}), 0) << command;
    EXPECT_EQ(out_, std::string("tessel-cli ") + kVersion + "\n");
  }
  EXPECT_EQ(RunCli({"--version"}), 0);
  EXPECT_EQ(out_, std::string("tessel-cli ") + kVersion + "\n");
  EXPECT_EQ(RunCli({"--help"}), 0);
  for (const std::string& command : kCommands)
    EXPECT_NE(out_.find("\n  " + command + " "), std::string::npos);
  const std::string programHelp = out_;
  EXPECT_EQ(RunCli({"help"}), 0);
  EXPECT_EQ(out_, programHelp);
  EXPECT_EQ(RunCli({"help", "export"}), 0);
  EXPECT_NE(out_.find("--max-pixels N"), std::string::npos);

  // Wrong usage: status 2, the help on standard error or a pointer to it.
  EXPECT_EQ(RunCli({}), 2);
  EXPECT_EQ(out_, "");
  EXPECT_NE(err_.find("Commands:"), std::string::npos);
  EXPECT_EQ(RunCli({"slice"}), 2);
  EXPECT_EQ(err_, "tessel-cli: unknown command \"slice\"\nTry \"tessel-cli --help\" for more information.\n");
  EXPECT_EQ(RunCli({"help", "slice"}), 2);
}

TEST_F(CommandLineTest, QualityFollowsOneRuleInEveryCommand) {
  for (const std::string quality : {"$32", "0x20", "", "+", "101", "-1"}) {
    EXPECT_EQ(RunCli({"convert", banner_, Path("a.jpg"), "--quality", quality}), 2) << quality;
    EXPECT_EQ(
        err_.rfind("tessel-cli convert: --quality: expected a whole number from 0 to 100, got \"" + quality,
                   0),
        0u)
        << err_;
    EXPECT_EQ(RunCli({"export", banner_, "--html", Path("a.html"), "--quality", quality}), 2) << quality;
    EXPECT_EQ(err_.rfind(
                  "tessel-cli export: --quality: expected a whole number from 0 to 100, got \"" + quality, 0),
              0u)
        << err_;
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 0);
  // 0 and 100 are the ends of the range for both; the equals form works too.
  EXPECT_EQ(RunCli({"convert", banner_, Path("zero.jpg"), "--quality=0"}), 0) << err_;
  EXPECT_EQ(RunCli({"convert", banner_, Path("best.jpg"), "--quality", " 100"}), 0) << err_;
  EXPECT_LT(ReadFile(Path("zero.jpg")).size() * 4, ReadFile(Path("best.jpg")).size());
  EXPECT_EQ(RunCli({"export", banner_, "--html", Path("zero.html"), "--quality", "0"}), 0) << err_;
  EXPECT_EQ(ReadFile(Path("zero_11.jpg")), ReadFile(Path("zero.jpg")));
}

TEST_F(CommandLineTest, DoubleDashEndsOptions) {
  fs::copy_file(banner_, Path("-x.png"));
  // Run from the scratch folder, so the file is named as a user would type it.
  fs::current_path(dir_);
  EXPECT_EQ(RunCli({"info", "-x.png"}), 2);
  EXPECT_NE(err_.find("put -- before a file name that begins with a dash"), std::string::npos);
  EXPECT_EQ(RunCli({"info", "--", "-x.png"}), 0) << err_;
  EXPECT_NE(out_.find("width: 600"), std::string::npos);
  EXPECT_EQ(RunCli({"convert", "--quality", "90", "--", "-x.png", "-y.bmp"}), 0) << err_;
  EXPECT_TRUE(fs::exists(dir_ / "-y.bmp"));
  EXPECT_EQ(RunCli({"filter", "--rgb", "10,0,0", "--", "-x.png", "--help.png"}), 0) << err_;
  EXPECT_TRUE(fs::exists(dir_ / "--help.png"));
  EXPECT_EQ(RunCli({"export", "--html", "-page.html", "--", "-x.png"}), 0) << err_;
  EXPECT_TRUE(fs::exists(dir_ / "-page_11.jpg"));
  fs::current_path(fs::temp_directory_path());
}

TEST_F(CommandLineTest, AFolderGivenAsAnImageIsNamedAsOne) {
  fs::create_directory(Path("photos"));
  for (const std::string& command : kCommands) {
    EXPECT_EQ(RunCli(Invocation(command, Path("photos"))), 1) << command;
    EXPECT_EQ(err_, Path("photos") + ": is a folder, not an image file\n") << command;
  }
  EXPECT_EQ(RunCli({"export", banner_, "--html", Path("page.html"), "--grid", Path("photos")}), 1);
  EXPECT_EQ(err_, Path("photos") + ": is a folder, not a grid file\n");
  EXPECT_EQ(RunCli({"export", banner_, "--html", Path("page.html"), "--links", Path("photos")}), 1);
  EXPECT_EQ(err_, Path("photos") + ": is a folder, not a links file\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST_F(CommandLineTest, WarningsArePrintedAndStrictMakesThemFailures) {
  const std::string cut = CutJpeg("t.jpg", 40);
  for (const std::string command : {"convert", "export", "filter"}) {
    EXPECT_EQ(RunCli(Invocation(command, cut)), 0) << command << ": " << err_;
    EXPECT_EQ(err_, "warning: " + cut + ": Premature end of JPEG file\n") << command;
  }
  // What was there is kept; what was missing comes out as the codec fills it, not as an error.
  pg::TPixelGraphic out;
  out.LoadFromFile(Path("out.png"));
  EXPECT_EQ(out.Height(), 256);
  EXPECT_TRUE(fs::exists(Path("page_11.png")));

  fs::remove_all(dir_);
  fs::create_directories(dir_);
  CutJpeg("t.jpg", 40);
  for (const std::string command : {"convert", "export", "filter"}) {
    std::vector<std::string> args = Invocation(command, cut);
    args.push_back("--strict");
    EXPECT_EQ(RunCli(args), 1) << command;
    EXPECT_EQ(err_, cut + ": JPG: Premature end of JPEG file\n") << command;
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);

  // A file without a fault says nothing, with or without --strict.
  EXPECT_EQ(RunCli({"convert", banner_, Path("a.jpg"), "--strict"}), 0);
  EXPECT_EQ(RunCli({"convert", Path("a.jpg"), Path("a.bmp"), "--strict"}), 0);
  EXPECT_EQ(err_, "");
}

TEST_F(CommandLineTest, MaxPixelsLimitsEveryReadingCommand) {
  // The banner has 600 x 150 = 90000 pixels.
  for (const std::string command : {"convert", "export", "filter"}) {
    std::vector<std::string> args = Invocation(command, banner_);
    args.insert(args.end(), {"--max-pixels", "89999"});
    EXPECT_EQ(RunCli(args), 1) << command;
    EXPECT_EQ(err_.rfind(banner_ + ": PNG: ", 0), 0u) << err_;
    EXPECT_NE(err_.find("89,999"), std::string::npos) << err_;
    EXPECT_NE(err_.find("\nhint: --max-pixels 90000 (or more) raises the limit enough to read this image\n"),
              std::string::npos)
        << err_;
    args.back() = "90000";
    EXPECT_EQ(RunCli(args), 0) << command << ": " << err_;
    for (const char* bad : {"0", "-5", "many", "1e6"}) {
      args.back() = bad;
      EXPECT_EQ(RunCli(args), 2) << command << " " << bad;
    }
  }
}

TEST_F(CommandLineTest, CommandsLeaveTheLibrarySettingsAsTheyFoundThem) {
  const pg::TFormatOptions before = pg::FormatOptions();
  int asked = 0;
  const pg::TQuestionHandler previous =
      pg::SetQuestionHandler([&](const std::string&, const std::string&, pg::TQuestionButtons) {
        ++asked;
        return pg::TQuestionAnswer::OK;
      });
  const std::string cut = CutJpeg("t.jpg", 40);
  EXPECT_EQ(Main({"export", banner_, "--html", Path("page.html"), "--quality", "7", "--progressive",
                  "--max-pixels", "100000", "--jobs", "2"}),
            0);
  EXPECT_EQ(Main({"convert", cut, Path("out.jpg"), "--quality", "3", "--max-pixels", "70000"}), 0);
  EXPECT_EQ(Main({"info", Path("out.jpg")}), 0);
  EXPECT_EQ(Main({"filter", cut, Path("out.bmp"), "--hls", "1,2,3", "--strict"}), 1);
  const pg::TFormatOptions& after = pg::FormatOptions();
  EXPECT_EQ(after.JPEGQuality, before.JPEGQuality);
  EXPECT_EQ(after.JPEGProgressive, before.JPEGProgressive);
  EXPECT_EQ(after.MaxPixels, before.MaxPixels);
  EXPECT_EQ(after.TIFFCountImages, before.TIFFCountImages);
  // The commands answered the codec's warnings themselves; the handler that was there is back.
  EXPECT_EQ(asked, 0);
  pg::AskQuestion("c", "t", pg::TQuestionButtons::OK);
  EXPECT_EQ(asked, 1);
  pg::SetQuestionHandler(previous);
}

}  // namespace
}  // namespace tessel::cli
