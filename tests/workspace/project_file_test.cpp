#include "workspace/project_file.h"

#include <gtest/gtest.h>

#include <fstream>

#include "imaging/image/exceptions.h"
#include "tests/workspace/export_test_support.h"
#include "workspace/errors.h"

namespace tessel {
namespace {

using namespace tessel::testing;

TProject SampleProject(const fs::path& image) {
  TProject project;
  project.ImagePath = image;
  // Unsorted, with a repeated position: the lists come back as they were.
  project.Grid.HorizontalSplits = {0, 100, 40};
  project.Grid.VerticalSplits = {0, 200, 120, 120};
  project.Slices.Set({1, 1}, {"index.html", "main", "Logo \"quoted\" \xC3\xA9", ""});
  project.Slices.Set({3, 2}, {"", "", "", "png"});
  project.Export.Format = "png";
  project.Export.Options.IncAltTags = true;
  project.Export.Options.UpperCase = true;
  project.Export.Options.ShowOptions = false;
  project.Export.Options.Style = TOutputStyle::Responsive;
  project.Export.Options.PictureFormats = {"jpg"};
  project.Export.Options.Density = 2;
  project.Export.Options.BaseUrl = "https://example.org/img/";
  project.Export.JpegQuality = 35;
  project.Export.JpegProgressive = true;
  project.Export.Encoding = {
      .WebPQuality = 55, .AVIFQuality = 41, .AVIFSpeed = 6, .PNGColors = 16, .PNGDither = false};
  return project;
}

TEST(ProjectFile, SavesAndReadsBackEverythingWithThePictureRelativeToTheProject) {
  const TTempDir dir("project-roundtrip");
  fs::create_directories(dir.Path() / "work" / "pictures");
  const fs::path image = dir.Path() / "work" / "pictures" / "photo.jpg";
  const fs::path path = dir.Path() / "work" / "photo.tessel";
  const TProject project = SampleProject(image);
  SaveProject(project, path);
  const std::string text = ReadFile(path);
  EXPECT_NE(text.find("\"image\": \"pictures/photo.jpg\""), std::string::npos) << text;
  EXPECT_NE(text.find("\"version\": 1"), std::string::npos);
  EXPECT_EQ(LoadProject(path), project);

  // Project and picture moved together: the picture is found beside the project again.
  fs::rename(dir.Path() / "work", dir.Path() / "moved");
  const TProject moved = LoadProject(dir.Path() / "moved" / "photo.tessel");
  EXPECT_EQ(moved.ImagePath, dir.Path() / "moved" / "pictures" / "photo.jpg");
  EXPECT_EQ(moved.Grid, project.Grid);
  // A picture in another folder is reached with "..".
  TProject sibling = project;
  sibling.ImagePath = dir.Path() / "elsewhere" / "p.png";
  SaveProject(sibling, dir.Path() / "moved" / "s.tessel");
  EXPECT_NE(ReadFile(dir.Path() / "moved" / "s.tessel").find("\"image\": \"../elsewhere/p.png\""),
            std::string::npos);
  EXPECT_EQ(LoadProject(dir.Path() / "moved" / "s.tessel").ImagePath, sibling.ImagePath);
}

TEST(ProjectFile, OlderAndNewerFilesOfTheSameVersionReadWithDefaults) {
  const fs::path path = "/projects/p.tessel";
  // Only what every project has: slices and export settings take their defaults.
  TProject plain = ParseProjectText(
      R"({"format": "tessel-project", "version": 1, "image": "p.bmp",
          "grid": {"horizontal": [0, 10], "vertical": [0, 20]}})",
      path);
  EXPECT_EQ(plain.ImagePath, fs::path("/projects/p.bmp"));
  EXPECT_TRUE(plain.Slices.Empty());
  EXPECT_EQ(plain.Export, TProjectExport{});
  // Keys this version does not know are passed over; null stands for a missing value.
  TProject later = ParseProjectText(
      R"({"format": "tessel-project", "version": 1, "image": "/abs/p.bmp", "colour": "blue",
          "grid": {"horizontal": [0, 10], "vertical": [0, 20], "guides": [5]},
          "slices": [{"column": 1, "row": 1, "alt": "A", "rotation": 90}],
          "export": {"format": "bmp", "jpeg_quality": null, "webp_quality": 70, "sharpen": 2}})",
      path);
  EXPECT_EQ(later.ImagePath, fs::path("/abs/p.bmp"));
  EXPECT_EQ(later.Slices.Get({1, 1}).Alt, "A");
  EXPECT_EQ(later.Export.Format, "bmp");
  EXPECT_EQ(later.Export.JpegQuality, 80);
  // One encoding setting given, the others at their defaults.
  TFormatSettings encoding;
  encoding.WebPQuality = 70;
  EXPECT_EQ(later.Export.Encoding, encoding);
}

// Every fault of a hostile or damaged file is an EProjectError naming the file and what is wrong.
TEST(ProjectFile, BadDocumentsAreRefusedWithAMessageNamingTheFileAndTheFault) {
  const fs::path path = "/p/bad.tessel";
  const std::string head = R"({"format": "tessel-project", "version": 1, "image": "a.png", )";
  const std::string grid = R"("grid": {"horizontal": [0, 10, 20], "vertical": [0, 30]})";
  const std::pair<std::string, std::string> cases[] = {
      {"", "is damaged or not a Tessel project: it is not valid JSON (line 1, column 1)"},
      {"{\"format\": \"tessel-project\",\n  \"version\": }", "it is not valid JSON (line 2, column 14)"},
      {std::string("\x89PNG\r\n\x1a\n\0\0", 10), "it is not valid JSON (line 1, column 1)"},
      {head + "\"x\": \"\xff\"}", "it is not valid JSON"},
      {head + "\"x\": 1e99999}", "it is not valid JSON (a value too large to read)"},
      {"[1, 2]", "is not a Tessel project (JSON without \"format\": \"tessel-project\")"},
      {R"({"format": "grid", "version": 1})", "is not a Tessel project"},
      {R"({"format": "tessel-project"})", "has no project version Tessel knows; it may be damaged"},
      {R"({"format": "tessel-project", "version": "1"})", "has no project version Tessel knows"},
      {R"({"format": "tessel-project", "version": 0})", "has no project version Tessel knows (0)"},
      {R"({"format": "tessel-project", "version": 2})",
       "was saved by a newer Tessel (project version 2); this Tessel reads version 1. Open it with a newer "
       "Tessel"},
      {R"({"format": "tessel-project", "version": 1, )" + grid + "}",
       "\"image\" must be the path of the picture"},
      {head + R"("grid": [0, 1]})", "\"grid\" must be an object ({...})"},
      {head + R"("grid": {"horizontal": [0, 1]}})", "\"grid.vertical\" must be a list of split positions"},
      {head + R"("grid": {"horizontal": [0, "1"], "vertical": []}})",
       "\"grid.horizontal[1]\" must be a whole number from -2147483648 to 2147483647"},
      {head + R"("grid": {"horizontal": [0, 2147483648], "vertical": []}})",
       "\"grid.horizontal[1]\" must be"},
      {head + R"("grid": {"horizontal": [0, 1.5], "vertical": []}})", "\"grid.horizontal[1]\" must be"},
      {head + grid + R"(, "slices": [{"column": 2, "row": 1}]})",
       "the slice at column 2, row 1 lies outside the grid (1 columns, 2 rows)"},
      {head + grid + R"(, "slices": [{"column": 1, "row": 2}, {"column": 1, "row": 2, "alt": "b"}]})",
       "the slice at column 1, row 2 is given twice"},
      {head + grid + R"(, "slices": [{"row": 2}]})", "\"slices[0]\" must be a slice with its column and row"},
      {head + grid + R"(, "slices": [{"column": 1, "row": 1, "alt": 5}]})",
       "\"slices[0].alt\" must be a text"},
      {head + grid + R"(, "slices": [{"column": 1, "row": 1, "format": "gif"}]})",
       "\"slices[0].format\" must be one of jpg, bmp, tif, png, png8, webp, webp-lossless or avif, not "
       "\"gif\""},
      {head + grid + R"(, "export": {"format": "PNG"}})", "\"export.format\" must be one of"},
      {head + grid + R"(, "export": {"jpeg_quality": 101}})",
       "\"export.jpeg_quality\" must be a whole number from 0 to 100"},
      {head + grid + R"(, "export": {"upper_case": "yes"}})", "\"export.upper_case\" must be true or false"},
      {head + grid + R"(, "export": {"avif_speed": 11}})",
       "\"export.avif_speed\" must be a whole number from 0 to 10"},
      {head + grid + R"(, "export": {"png8_colors": 1}})",
       "\"export.png8_colors\" must be a whole number from 2 to 256"},
      {head + grid + R"(, "export": {"webp_quality": -1}})", "\"export.webp_quality\" must be"},
      {head + grid + R"(, "export": {"density": 0}})",
       "\"export.density\" must be a whole number from 1 to 3"},
      {head + grid + R"(, "export": {"style": "fancy"}})", "\"export.style\" must be one of"},
      {head + grid + ", \"x\": " + std::string(100000, '[') + std::string(100000, ']') + "}",
       "is not a Tessel project: its values nest deeper than a project's"},
  };
  for (const auto& [text, message] : cases) {
    SCOPED_TRACE(text.substr(0, 200));
    try {
      ParseProjectText(text, path);
      ADD_FAILURE() << "read";
    } catch (const EProjectError& e) {
      const std::string what = e.what();
      EXPECT_EQ(what.rfind("/p/bad.tessel: ", 0), 0u) << what;
      EXPECT_NE(what.find(message), std::string::npos) << what;
    }
  }
}

TEST(ProjectFile, AMissingPictureAFolderAndANameThatIsNotUtf8AreNamed) {
  const TTempDir dir("project-faults");
  const fs::path path = dir.Path() / "p.tessel";
  TProject project = SampleProject(dir.Path() / "gone.jpg");
  try {
    CheckProjectImage(project, path);
    ADD_FAILURE() << "accepted";
  } catch (const EProjectError& e) {
    EXPECT_EQ(std::string(e.what()),
              path.string() + ": its picture " + (dir.Path() / "gone.jpg").string() +
                  " was not found. Put the picture back there, or keep the project beside "
                  "it when moving either");
  }
  std::ofstream(dir.Path() / "here.jpg") << "x";
  project.ImagePath = dir.Path() / "here.jpg";
  EXPECT_NO_THROW(CheckProjectImage(project, path));
  project.ImagePath = dir.Path();
  EXPECT_THROW(CheckProjectImage(project, path), EProjectError);

  try {
    LoadProject(dir.Path());
    ADD_FAILURE() << "read a folder";
  } catch (const pg::EPGStreamError& e) {
    EXPECT_EQ(std::string(e.what()),
              dir.Path().string() + " is a folder, not a project file; choose a .tessel file");
  }
  project.ImagePath = dir.Path() / "caf\xE9.jpg";  // Latin-1, not UTF-8
  EXPECT_THROW(SaveProject(project, path), EProjectError);
  EXPECT_FALSE(fs::exists(path));
}

}  // namespace
}  // namespace tessel
