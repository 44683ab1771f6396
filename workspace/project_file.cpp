#include "workspace/project_file.h"

#include <algorithm>
#include <limits>
#include <nlohmann/json.hpp>
#include <set>
#include <system_error>

#include "imaging/image/safe_file.h"
#include "workspace/errors.h"
#include "workspace/file_text.h"
#include "workspace/html_styles.h"
#include "workspace/message_text.h"
#include "workspace/output_formats.h"

namespace tessel {

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

// Far more than a project of the largest grid the export takes needs.
constexpr size_t kMaxProjectBytes = size_t{64} << 20;
// A project nests three levels deep; anything much deeper is not one, and the parser's work and the
// document's destruction stay bounded.
constexpr int kMaxDepth = 16;

// The keys of the document.
namespace key {
constexpr char kFormat[] = "format";
constexpr char kVersion[] = "version";
constexpr char kImage[] = "image";
constexpr char kGrid[] = "grid";
constexpr char kHorizontal[] = "horizontal";
constexpr char kVertical[] = "vertical";
constexpr char kSlices[] = "slices";
constexpr char kColumn[] = "column";
constexpr char kRow[] = "row";
constexpr char kUrl[] = "url";
constexpr char kTarget[] = "target";
constexpr char kAlt[] = "alt";
constexpr char kExport[] = "export";
constexpr char kIncludeAltTags[] = "include_alt_tags";
constexpr char kEditCode[] = "edit_code";
constexpr char kSaveGrid[] = "save_grid";
constexpr char kDoubleQuote[] = "double_quote";
constexpr char kUpperCase[] = "upper_case";
constexpr char kShowOptions[] = "show_options";
constexpr char kStyle[] = "style";
constexpr char kPictureFormats[] = "picture_formats";
constexpr char kDensity[] = "density";
constexpr char kBaseUrl[] = "base_url";
constexpr char kFragment[] = "fragment";
constexpr char kJpegQuality[] = "jpeg_quality";
constexpr char kJpegProgressive[] = "jpeg_progressive";
constexpr char kWebpQuality[] = "webp_quality";
constexpr char kAvifQuality[] = "avif_quality";
constexpr char kAvifSpeed[] = "avif_speed";
constexpr char kPng8Colors[] = "png8_colors";
constexpr char kPng8Dither[] = "png8_dither";
}  // namespace key

std::string Quoted(std::string_view text) {
  return "\"" + QuoteForMessage(text) + "\"";
}

// Reads the values of one document, naming the file and the value in every complaint.
class TProjectReader {
 public:
  explicit TProjectReader(const fs::path& path)
      : name_(QuoteForMessage(path.string(), 4 * kQuotedCharacters)) {}

  [[noreturn]] void Fail(const std::string& text) const { throw EProjectError(name_ + ": " + text); }
  [[noreturn]] void Wrong(const std::string& where, const std::string& expected) const {
    Fail("\"" + where + "\" must be " + expected);
  }

  // The member `name` of `object`, or nullptr when it is missing (or null).
  static const Json* Member(const Json& object, const char* name) {
    const auto it = object.find(name);
    return it == object.end() || it->is_null() ? nullptr : &*it;
  }

  int64_t WholeNumber(const Json& value, const std::string& where, int64_t low, int64_t high) const {
    bool inRange = false;
    int64_t number = 0;
    if (value.is_number_unsigned()) {
      const auto unsignedValue = value.get<uint64_t>();
      inRange = unsignedValue <= static_cast<uint64_t>(high) &&
                (low <= 0 || unsignedValue >= static_cast<uint64_t>(low));
      number = inRange ? static_cast<int64_t>(unsignedValue) : 0;
    } else if (value.is_number_integer()) {
      number = value.get<int64_t>();
      inRange = number >= low && number <= high;
    }
    if (!inRange) Wrong(where, "a whole number from " + std::to_string(low) + " to " + std::to_string(high));
    return number;
  }

  bool Flag(const Json& object, const char* name, const std::string& where, bool fallback) const {
    const Json* value = Member(object, name);
    if (value == nullptr) return fallback;
    if (!value->is_boolean()) Wrong(where + name, "true or false");
    return value->get<bool>();
  }

  std::string Text(const Json& object, const char* name, const std::string& where,
                   const std::string& fallback = {}) const {
    const Json* value = Member(object, name);
    if (value == nullptr) return fallback;
    if (!value->is_string()) Wrong(where + name, "a text");
    return value->get<std::string>();
  }

  int64_t Number(const Json& object, const char* name, const std::string& where, int64_t low, int64_t high,
                 int64_t fallback) const {
    const Json* value = Member(object, name);
    return value == nullptr ? fallback : WholeNumber(*value, where + name, low, high);
  }

  const Json& Object(const Json& value, const std::string& where) const {
    if (!value.is_object()) Wrong(where, "an object ({...})");
    return value;
  }

  const Json& Array(const Json& value, const std::string& where) const {
    if (!value.is_array()) Wrong(where, "a list ([...])");
    return value;
  }

 private:
  std::string name_;
};

// Line and column of byte `offset` (from 0) of `text`, both from 1.
std::pair<size_t, size_t> LineAndColumn(std::string_view text, size_t offset) {
  offset = std::min(offset, text.size());
  size_t line = 1, column = 1;
  for (size_t i = 0; i < offset; ++i) {
    if (text[i] == '\n') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
  }
  return {line, column};
}

Json ParseJson(std::string_view text, const TProjectReader& reader) {
  const Json::parser_callback_t limitDepth = [&reader](int depth, Json::parse_event_t, Json&) {
    if (depth > kMaxDepth) reader.Fail("is not a Tessel project: its values nest deeper than a project's");
    return true;
  };
  try {
    return Json::parse(text.begin(), text.end(), limitDepth);
  } catch (const Json::parse_error& error) {
    const auto [line, column] = LineAndColumn(text, error.byte > 0 ? error.byte - 1 : 0);
    reader.Fail("is damaged or not a Tessel project: it is not valid JSON (line " + std::to_string(line) +
                ", column " + std::to_string(column) + ")");
  } catch (const Json::exception&) {
    // A number beyond what JSON can hold ("1e99999"), say.
    reader.Fail("is damaged or not a Tessel project: it is not valid JSON (a value too large to read)");
  }
}

void ReadSplits(const Json& grid, const char* name, TIntegerList& list, const TProjectReader& reader) {
  const std::string where = std::string(key::kGrid) + "." + name;
  const Json* values = TProjectReader::Member(grid, name);
  if (values == nullptr) reader.Wrong(where, "a list of split positions");
  reader.Array(*values, where);
  std::vector<int32_t> positions;
  positions.reserve(values->size());
  for (size_t i = 0; i < values->size(); ++i) {
    positions.push_back(static_cast<int32_t>(
        reader.WholeNumber((*values)[i], where + "[" + std::to_string(i) + "]",
                           std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max())));
  }
  list.Assign(std::move(positions));
}

void ReadSlices(const Json& document, TProject& project, const TProjectReader& reader) {
  const Json* slices = TProjectReader::Member(document, key::kSlices);
  if (slices == nullptr) return;
  reader.Array(*slices, key::kSlices);
  const TSortedGrid sorted(project.Grid);
  std::set<TSliceKey> seen;
  for (size_t i = 0; i < slices->size(); ++i) {
    const std::string where = std::string(key::kSlices) + "[" + std::to_string(i) + "]";
    const Json& slice = reader.Object((*slices)[i], where);
    const TSliceKey sliceKey{static_cast<int32_t>(reader.Number(slice, key::kColumn, where + ".", 1,
                                                                std::numeric_limits<int32_t>::max(), 0)),
                             static_cast<int32_t>(reader.Number(slice, key::kRow, where + ".", 1,
                                                                std::numeric_limits<int32_t>::max(), 0))};
    if (sliceKey.Column == 0 || sliceKey.Row == 0) reader.Wrong(where, "a slice with its column and row");
    if (!sorted.Contains(sliceKey)) {
      reader.Fail("the slice at column " + std::to_string(sliceKey.Column) + ", row " +
                  std::to_string(sliceKey.Row) + " lies outside the grid (" +
                  std::to_string(sorted.ColumnCount()) + " columns, " + std::to_string(sorted.RowCount()) +
                  " rows)");
    }
    if (!seen.insert(sliceKey).second) {
      reader.Fail("the slice at column " + std::to_string(sliceKey.Column) + ", row " +
                  std::to_string(sliceKey.Row) + " is given twice");
    }
    TSliceProperties properties;
    properties.Url = reader.Text(slice, key::kUrl, where + ".");
    properties.Target = reader.Text(slice, key::kTarget, where + ".");
    properties.Alt = reader.Text(slice, key::kAlt, where + ".");
    properties.Format = reader.Text(slice, key::kFormat, where + ".");
    if (!properties.Format.empty() && FindSliceFormat(properties.Format) == nullptr) {
      reader.Wrong(where + "." + key::kFormat,
                   "one of " + SliceFormatChoices() + ", not " + Quoted(properties.Format));
    }
    project.Slices.Set(sliceKey, properties);
  }
}

void ReadExport(const Json& document, TProjectExport& settings, const TProjectReader& reader) {
  const Json* found = TProjectReader::Member(document, key::kExport);
  if (found == nullptr) return;
  const std::string where = std::string(key::kExport) + ".";
  const Json& exportSettings = reader.Object(*found, key::kExport);
  settings.Format = reader.Text(exportSettings, key::kFormat, where, settings.Format);
  const TSliceFormat* format = FindSliceFormat(settings.Format);
  if (format == nullptr || format->Name != settings.Format) {
    reader.Wrong(where + key::kFormat, "one of " + SliceFormatChoices() + ", not " + Quoted(settings.Format));
  }
  TExportOptions& options = settings.Options;
  options.IncAltTags = reader.Flag(exportSettings, key::kIncludeAltTags, where, options.IncAltTags);
  options.EditCode = reader.Flag(exportSettings, key::kEditCode, where, options.EditCode);
  options.AlwaysGrid = reader.Flag(exportSettings, key::kSaveGrid, where, options.AlwaysGrid);
  options.DoubleQuote = reader.Flag(exportSettings, key::kDoubleQuote, where, options.DoubleQuote);
  options.UpperCase = reader.Flag(exportSettings, key::kUpperCase, where, options.UpperCase);
  options.ShowOptions = reader.Flag(exportSettings, key::kShowOptions, where, options.ShowOptions);
  const std::string style =
      reader.Text(exportSettings, key::kStyle, where, std::string(OutputStyleName(options.Style)));
  const std::optional<TOutputStyle> foundStyle = FindOutputStyle(style);
  if (!foundStyle)
    reader.Wrong(where + key::kStyle, "one of " + OutputStyleChoices() + ", not " + Quoted(style));
  options.Style = *foundStyle;
  if (const Json* formats = TProjectReader::Member(exportSettings, key::kPictureFormats)) {
    reader.Array(*formats, where + key::kPictureFormats);
    options.PictureFormats.clear();
    for (size_t i = 0; i < formats->size(); ++i) {
      const std::string at = where + key::kPictureFormats + "[" + std::to_string(i) + "]";
      if (!(*formats)[i].is_string()) reader.Wrong(at, "a format's name");
      const std::string name = (*formats)[i].get<std::string>();
      if (FindSliceFormat(name) == nullptr)
        reader.Wrong(at, "one of " + SliceFormatChoices() + ", not " + Quoted(name));
      options.PictureFormats.push_back(name);
    }
  }
  options.Density = static_cast<int32_t>(
      reader.Number(exportSettings, key::kDensity, where, 1, kMaxDensity, options.Density));
  options.BaseUrl = reader.Text(exportSettings, key::kBaseUrl, where, options.BaseUrl);
  options.Fragment = reader.Flag(exportSettings, key::kFragment, where, options.Fragment);
  settings.JpegQuality = static_cast<int32_t>(
      reader.Number(exportSettings, key::kJpegQuality, where, 0, 100, settings.JpegQuality));
  settings.JpegProgressive =
      reader.Flag(exportSettings, key::kJpegProgressive, where, settings.JpegProgressive);
  TFormatSettings& encoding = settings.Encoding;
  encoding.WebPQuality = static_cast<int32_t>(
      reader.Number(exportSettings, key::kWebpQuality, where, 0, 100, encoding.WebPQuality));
  encoding.AVIFQuality = static_cast<int32_t>(
      reader.Number(exportSettings, key::kAvifQuality, where, 0, 100, encoding.AVIFQuality));
  encoding.AVIFSpeed = static_cast<int32_t>(
      reader.Number(exportSettings, key::kAvifSpeed, where, 0, kMaxAVIFSpeed, encoding.AVIFSpeed));
  encoding.PNGColors = static_cast<int32_t>(reader.Number(exportSettings, key::kPng8Colors, where,
                                                          kMinPNGColors, kMaxPNGColors, encoding.PNGColors));
  encoding.PNGDither = reader.Flag(exportSettings, key::kPng8Dither, where, encoding.PNGDither);
}

fs::path Folder(const fs::path& projectPath) {
  std::error_code ignored;
  fs::path absolute = fs::absolute(projectPath, ignored);
  return (absolute.empty() ? projectPath : absolute).lexically_normal().parent_path();
}

}  // namespace

std::string FormatProjectText(const TProject& project, const fs::path& projectPath) {
  Json document;
  document[key::kFormat] = kProjectFormat;
  document[key::kVersion] = kProjectVersion;
  // The picture's path from the project's folder, so that both can move together.
  std::error_code ignored;
  fs::path image = fs::absolute(project.ImagePath, ignored).lexically_normal();
  const fs::path relative = image.lexically_relative(Folder(projectPath));
  document[key::kImage] = (relative.empty() ? image : relative).generic_string();
  Json& grid = document[key::kGrid];
  grid[key::kHorizontal] = project.Grid.HorizontalSplits.Values();
  grid[key::kVertical] = project.Grid.VerticalSplits.Values();
  Json& slices = document[key::kSlices] = Json::array();
  for (const auto& [sliceKey, properties] : project.Slices.Entries()) {
    Json slice;
    slice[key::kColumn] = sliceKey.Column;
    slice[key::kRow] = sliceKey.Row;
    if (!properties.Url.empty()) slice[key::kUrl] = properties.Url;
    if (!properties.Target.empty()) slice[key::kTarget] = properties.Target;
    if (!properties.Alt.empty()) slice[key::kAlt] = properties.Alt;
    if (!properties.Format.empty()) slice[key::kFormat] = properties.Format;
    slices.push_back(std::move(slice));
  }
  const TExportOptions& options = project.Export.Options;
  Json& settings = document[key::kExport];
  settings[key::kFormat] = project.Export.Format;
  settings[key::kIncludeAltTags] = options.IncAltTags;
  settings[key::kEditCode] = options.EditCode;
  settings[key::kSaveGrid] = options.AlwaysGrid;
  settings[key::kDoubleQuote] = options.DoubleQuote;
  settings[key::kUpperCase] = options.UpperCase;
  settings[key::kShowOptions] = options.ShowOptions;
  settings[key::kStyle] = OutputStyleName(options.Style);
  settings[key::kPictureFormats] = options.PictureFormats;
  settings[key::kDensity] = options.Density;
  settings[key::kBaseUrl] = options.BaseUrl;
  settings[key::kFragment] = options.Fragment;
  settings[key::kJpegQuality] = project.Export.JpegQuality;
  settings[key::kJpegProgressive] = project.Export.JpegProgressive;
  const TFormatSettings& encoding = project.Export.Encoding;
  settings[key::kWebpQuality] = encoding.WebPQuality;
  settings[key::kAvifQuality] = encoding.AVIFQuality;
  settings[key::kAvifSpeed] = encoding.AVIFSpeed;
  settings[key::kPng8Colors] = encoding.PNGColors;
  settings[key::kPng8Dither] = encoding.PNGDither;
  try {
    return document.dump(2) + "\n";
  } catch (const Json::type_error&) {
    // JSON holds UTF-8 text only.
    throw EProjectError(
        QuoteForMessage(projectPath.string(), 4 * kQuotedCharacters) +
        ": cannot be saved, as a name or text of the project is not UTF-8 (the picture's path, "
        "say); rename the picture or change the text");
  }
}

TProject ParseProjectText(std::string_view text, const fs::path& projectPath) {
  const TProjectReader reader(projectPath);
  const Json document = ParseJson(text, reader);
  if (!document.is_object() || TProjectReader::Member(document, key::kFormat) == nullptr ||
      (*TProjectReader::Member(document, key::kFormat)) != kProjectFormat) {
    reader.Fail("is not a Tessel project (JSON without \"format\": \"" + std::string(kProjectFormat) + "\")");
  }
  const Json* version = TProjectReader::Member(document, key::kVersion);
  if (version == nullptr || !version->is_number_integer()) {
    reader.Fail("has no project version Tessel knows; it may be damaged");
  }
  const bool newer = version->is_number_unsigned()
                         ? version->get<uint64_t>() > static_cast<uint64_t>(kProjectVersion)
                         : version->get<int64_t>() > kProjectVersion;
  if (newer) {
    reader.Fail("was saved by a newer Tessel (project version " + version->dump() +
                "); this Tessel reads version " + std::to_string(kProjectVersion) +
                ". Open it with a newer Tessel");
  }
  if (version->get<int64_t>() < 1) {
    reader.Fail("has no project version Tessel knows (" + version->dump() + "); it may be damaged");
  }

  TProject project;
  const std::string image = reader.Text(document, key::kImage, "");
  if (image.empty()) reader.Wrong(key::kImage, "the path of the picture");
  fs::path imagePath(image);
  project.ImagePath = imagePath.is_absolute() ? imagePath.lexically_normal()
                                              : (Folder(projectPath) / imagePath).lexically_normal();
  const Json* grid = TProjectReader::Member(document, key::kGrid);
  if (grid == nullptr) reader.Wrong(key::kGrid, "the split lines");
  reader.Object(*grid, key::kGrid);
  ReadSplits(*grid, key::kHorizontal, project.Grid.HorizontalSplits, reader);
  ReadSplits(*grid, key::kVertical, project.Grid.VerticalSplits, reader);
  ReadSlices(document, project, reader);
  ReadExport(document, project.Export, reader);
  return project;
}

void SaveProject(const TProject& project, const fs::path& path) {
  pg::WriteFileSafely(path, FormatProjectText(project, path));
}

TProject LoadProject(const fs::path& path) {
  return ParseProjectText(ReadFileText(path, kMaxProjectBytes, "a project file", "a .tessel file"), path);
}

void CheckProjectImage(const TProject& project, const fs::path& projectPath) {
  std::error_code error;
  const fs::file_status status = fs::status(project.ImagePath, error);
  if (fs::is_regular_file(status) || fs::is_symlink(status)) return;
  const std::string name = QuoteForMessage(projectPath.string(), 4 * kQuotedCharacters);
  const std::string image = QuoteForMessage(project.ImagePath.string(), 4 * kQuotedCharacters);
  if (fs::is_directory(status)) {
    throw EProjectError(name + ": its picture " + image + " is a folder; the project cannot be opened");
  }
  throw EProjectError(name + ": its picture " + image +
                      " was not found. Put the picture back there, or keep the project beside it when moving "
                      "either");
}

}  // namespace tessel
