// The source page's tool bar pictures, drawn here so that they look the same on every desktop
// (no icon theme is needed): the four split tools, the select tool, the zoom commands and snapping.
#pragma once

#include <QIcon>

namespace tessel {

enum class TToolIcon {
  VerticalLine,
  HorizontalLine,
  Rectangle,
  Cross,
  Select,
  ZoomIn,
  ZoomOut,
  ZoomFit,
  ActualSize,
  Snap
};

QIcon ToolIcon(TToolIcon kind);

}  // namespace tessel
