// tessel-cli filter IN OUT (--rgb R,G,B | --cmy C,M,Y | --hls H,L,S): reads IN by its content,
// adjusts its colours in place and writes OUT in the format its extension names. RGB, CMY,
// lightness and saturation are percent (-100..100), the hue a rotation in degrees (-180..180).
#include <charconv>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "imaging/filters/filter.h"
#include "imaging/image/pixel_graphic.h"

namespace tessel::cli {

namespace {

int FilterUsage() {
  std::cerr << "Usage: tessel-cli filter IN OUT (--rgb R,G,B | --cmy C,M,Y | --hls H,L,S)\n"
               "  R, G, B, C, M, Y, L, S: percent from -100 to 100; H: degrees from -180 to 180\n";
  return 2;
}

// Parses "a,b,c" of three whole numbers, each within its [low, high]; false on anything else.
bool ParseTriple(const std::string& text, const int32_t (&low)[3], const int32_t (&high)[3],
                 int32_t (&values)[3]) {
  const char* p = text.data();
  const char* const end = text.data() + text.size();
  for (int i = 0; i < 3; ++i) {
    if (i > 0) {
      if (p == end || *p != ',') return false;
      ++p;
    }
    // from_chars takes no plus sign; one may stand before digits only (not "+-5").
    if (p != end && *p == '+' && p + 1 != end && p[1] >= '0' && p[1] <= '9') ++p;
    const auto [next, error] = std::from_chars(p, end, values[i]);
    if (error != std::errc() || next == p || values[i] < low[i] || values[i] > high[i]) return false;
    p = next;
  }
  return p == end;
}

}  // namespace

int RunFilter(const TArgs& args) {
  std::vector<std::string> files;
  std::unique_ptr<pg::TPGFilter> filter;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--rgb" || arg == "--cmy" || arg == "--hls") {
      if (filter) {
        std::cerr << "tessel-cli filter: give one of --rgb, --cmy and --hls\n";
        return FilterUsage();
      }
      if (++i >= args.size()) return FilterUsage();
      const bool hls = arg == "--hls";
      const int32_t low[3] = {hls ? -180 : -100, -100, -100};
      const int32_t high[3] = {hls ? 180 : 100, 100, 100};
      int32_t v[3];
      if (!ParseTriple(args[i], low, high, v)) {
        std::cerr << "tessel-cli filter: " << arg << " wants three whole numbers like "
                  << (hls ? "30,-10,20 (degrees -180..180, then percent -100..100)"
                          : "30,-10,20 (percent -100..100)")
                  << ", not \"" << args[i] << "\"\n";
        return 2;
      }
      if (arg == "--rgb") {
        auto rgb = std::make_unique<pg::TRGBFilter>();
        rgb->SetAdjustment(v[0], v[1], v[2]);
        filter = std::move(rgb);
      } else if (arg == "--cmy") {
        auto cmy = std::make_unique<pg::TCMYFilter>();
        cmy->SetAdjustment(v[0], v[1], v[2]);
        filter = std::move(cmy);
      } else {
        auto hlsFilter = std::make_unique<pg::THLSFilter>();
        hlsFilter->SetAdjustment(v[0], v[1], v[2]);
        filter = std::move(hlsFilter);
      }
    } else if (!arg.empty() && arg[0] == '-' && arg != "-") {
      std::cerr << "tessel-cli filter: unknown option \"" << arg << "\"\n";
      return FilterUsage();
    } else {
      files.push_back(arg);
    }
  }
  if (files.size() != 2 || !filter) return FilterUsage();

  pg::TPixelGraphic image;
  image.LoadFromFile(files[0]);
  image.ApplyFilter(*filter, image);
  image.SaveToFile(files[1]);
  return 0;
}

}  // namespace tessel::cli
