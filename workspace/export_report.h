// The size report of an export as JSON: the totals per format and every slice written with its
// rectangle, its size on the page and, per format, its files and their bytes.
#pragma once

#include <filesystem>
#include <string>

#include "workspace/slice_export.h"

namespace tessel {

// The report of a finished export of the page `htmlPath`, as indented JSON text (names that are not
// valid UTF-8 get replacement characters).
std::string ExportReportJson(const TExportReport& report, const std::filesystem::path& htmlPath);

}  // namespace tessel
