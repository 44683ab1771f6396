#include "workspace/export_report.h"

#include <nlohmann/json.hpp>

namespace tessel {

std::string ExportReportJson(const TExportReport& report, const std::filesystem::path& htmlPath) {
  using nlohmann::ordered_json;
  const int32_t density = report.Options.Density;
  ordered_json root;
  root["html"] = htmlPath.string();
  root["style"] = std::string(OutputStyleName(report.Options.Style));
  root["density"] = density;
  root["bytes"] = report.TotalBytes();
  ordered_json totals = ordered_json::array();
  for (const TFormatTotal& total : report.Totals()) {
    totals.push_back({{"format", total.Format}, {"slices", total.Slices}, {"bytes", total.Bytes}});
  }
  root["totals"] = std::move(totals);

  ordered_json slices = ordered_json::array();
  for (const TSliceRecord& record : report.Records) {
    ordered_json slice;
    slice["column"] = record.Cell.Column;
    slice["row"] = record.Cell.Row;
    slice["x"] = record.Cell.Left;
    slice["y"] = record.Cell.Top;
    slice["width"] = record.Cell.Width;
    slice["height"] = record.Cell.Height;
    // Where a high-density slice sits on the page, in page pixels.
    if (density > 1) {
      slice["page"] = {{"x", record.PageLeft},
                       {"y", record.PageTop},
                       {"width", record.PageWidth},
                       {"height", record.PageHeight}};
    }
    ordered_json files = ordered_json::object();
    for (const TSliceFile& file : record.Files) {
      ordered_json entry = {{"file", file.File}, {"bytes", file.Bytes}};
      if (density > 1) {
        entry["dense_file"] = file.DenseFile;
        entry["dense_bytes"] = file.DenseBytes;
      }
      files[file.Format] = std::move(entry);
    }
    slice["formats"] = std::move(files);
    slices.push_back(std::move(slice));
  }
  root["slices"] = std::move(slices);
  return root.dump(2, ' ', false, ordered_json::error_handler_t::replace) + "\n";
}

}  // namespace tessel
