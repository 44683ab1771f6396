// Where Tessel keeps its per-user settings: the main window's placement and recent lists, and the
// export options, each under a group of its own in the one settings store.
#pragma once

#include <QSettings>
#include <QString>

namespace tessel {

inline constexpr char kOrganisation[] = "Orlenwick";
inline constexpr char kApplication[] = "Tessel";
// The main window's group and the export options' group.
inline constexpr char kWindowGroup[] = "Software/Orlenwick/Tessel";
inline constexpr char kOptionsGroup[] = "Orlenwick/Tessel";
// Within the export options' group: the page's style, formats, density and base URL.
inline constexpr char kPageGroup[] = "Page";
// Within the export options' group: how WebP, AVIF and png8 slices are encoded.
inline constexpr char kFormatsGroup[] = "Formats";
// In the main window's group: the largest picture it opens, in pixels.
inline constexpr char kMaxPixelsKey[] = "MaxPixels";

inline QSettings OpenSettings() {
  return QSettings(kOrganisation, kApplication);
}

}  // namespace tessel
