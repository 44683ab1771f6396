// The main window's slices: the select tool's choice, the Slice panel that edits the selected
// slice, and the slice numbers with their link and ALT state drawn over the picture.
#include <QAction>
#include <QFontMetrics>
#include <QMenu>
#include <QPainter>
#include <algorithm>

#include "imaging/view/qt_pg_image.h"
#include "workspace/output_formats.h"
#include "workspace/slice_properties.h"
#include "workspace/ui/main_window.h"
#include "workspace/ui/settings.h"
#include "workspace/ui/slice_panel.h"

namespace tessel {

namespace {

constexpr char kSliceNumbersKey[] = "ShowSliceNumbers";
// More cells than this on the screen at once are too small to carry a number.
constexpr int64_t kMostNumberedCells = 20000;

const QColor kSelectedFill(0, 120, 215, 70);
const QColor kSelectedEdge(0, 120, 215);
const QColor kBadge(20, 20, 20, 180);
const QColor kNumberInk(255, 255, 255);
const QColor kAltInk(150, 230, 150);
const QColor kLinkInk(140, 200, 255);
const QColor kFormatInk(255, 210, 120);

// The columns (rows) of a sorted list that reach into [from, to]: first and last, from 1.
std::pair<int32_t, int32_t> ReachingInto(const std::vector<int32_t>& sorted, int32_t from, int32_t to) {
  if (sorted.size() < 2) return {1, 0};
  const auto first =
      static_cast<int32_t>(std::upper_bound(sorted.begin(), sorted.end(), from) - sorted.begin());
  const auto last = static_cast<int32_t>(std::upper_bound(sorted.begin(), sorted.end(), to) - sorted.begin());
  return {std::max(first, 1), std::min(last, static_cast<int32_t>(sorted.size()) - 1)};
}

}  // namespace

void TMainWindow::BuildSlicePanel() {
  slicePanel_ = new TSlicePanel(this);
  addDockWidget(Qt::RightDockWidgetArea, slicePanel_);
  // The panel comes up with the select tool; until then the picture has the room.
  slicePanel_->hide();
  slicePanel_->OnChange = [this](const TSliceProperties& properties) {
    SetSelectedSliceProperties(properties);
  };

  viewMenu_->addSeparator();
  QAction* numbers = AddAction(viewMenu_, "Slice &Numbers", "SliceNumbers");
  numbers->setCheckable(true);
  numbers->setToolTip("Show each slice's number, with its link and ALT text, on the picture");
  QSettings settings = OpenSettings();
  settings.beginGroup(kWindowGroup);
  sliceNumbers_ = settings.value(kSliceNumbersKey, true).toBool();
  numbers->setChecked(sliceNumbers_);
  connect(numbers, &QAction::toggled, this, [this](bool on) { ShowSliceNumbers(on); });
  QAction* panel = slicePanel_->toggleViewAction();
  panel->setObjectName("SlicePanelShown");
  panel->setText("Slice &Panel");
  viewMenu_->addAction(panel);
}

void TMainWindow::ShowSliceNumbers(bool on) {
  sliceNumbers_ = on;
  if (auto* action = findChild<QAction*>("SliceNumbers"); action != nullptr && action->isChecked() != on)
    action->setChecked(on);
  QSettings settings = OpenSettings();
  settings.beginGroup(kWindowGroup);
  settings.setValue(kSliceNumbersKey, on);
  view_->Invalidate();
}

void TMainWindow::SelectSlice(std::optional<TSliceKey> key) {
  editor_.SelectSlice(key);
  view_->Invalidate();
  SlicesChanged();
}

void TMainWindow::SetSelectedSliceProperties(const TSliceProperties& properties) {
  const std::optional<TSliceKey> key = editor_.SelectedSlice();
  if (!key || exporting_) return;
  if (editor_.SetSliceProperties(*key, properties)) {
    view_->Invalidate();
    UpdateMenuState();
    SlicesChanged();
  }
}

void TMainWindow::SlicesChanged() {
  UpdateCaption();
  if (slicePanel_ == nullptr) return;
  const std::optional<TSliceKey> key = editor_.SelectedSlice();
  const TSortedGrid sorted(editor_.Grid());
  std::optional<TGridCell> cell;
  if (key && sorted.Contains(*key)) cell = sorted.Cell(*key);
  slicePanel_->ShowSlice(cell, key ? editor_.Slices().Get(*key) : TSliceProperties{},
                         OutputExtension().toStdString());
  slicePanel_->setEnabled(!exporting_);
}

void TMainWindow::PaintSlices(QPainter& canvas) {
  const std::optional<TSliceKey> selected = editor_.SelectedSlice();
  if (!sliceNumbers_ && !selected) return;
  const TSortedGrid sorted(editor_.Grid());
  const pg::TPGRect box = view_->PicBoxRect();
  // A cell on the screen: from its first pixel to the boundary after its last.
  const auto screenRect = [&](const TGridCell& cell) {
    const int left = box.Left + view_->ImageToPicBoxX(cell.Left);
    const int top = box.Top + view_->ImageToPicBoxY(cell.Top);
    const int right = box.Left + view_->ImageToPicBoxX(cell.Left + cell.Width);
    const int bottom = box.Top + view_->ImageToPicBoxY(cell.Top + cell.Height);
    return QRect(left, top, right - left, bottom - top);
  };
  canvas.save();
  canvas.setRenderHint(QPainter::Antialiasing, true);
  if (selected && sorted.Contains(*selected)) {
    const QRect cell = screenRect(sorted.Cell(*selected));
    canvas.fillRect(cell, kSelectedFill);
    canvas.setPen(QPen(kSelectedEdge, 2));
    canvas.setBrush(Qt::NoBrush);
    canvas.drawRect(QRectF(cell).adjusted(1, 1, -1, -1));
  }
  // Only the cells on the screen are numbered.
  const int32_t fromX = ScaleX().PixelAt(std::max(0, -box.Left));
  const int32_t toX = ScaleX().PixelAt(std::min(box.Width(), view_->ClientWidth() - box.Left));
  const int32_t fromY = ScaleY().PixelAt(std::max(0, -box.Top));
  const int32_t toY = ScaleY().PixelAt(std::min(box.Height(), view_->ClientHeight() - box.Top));
  const auto [firstColumn, lastColumn] = ReachingInto(sorted.Grid().VerticalSplits.Values(), fromX, toX);
  const auto [firstRow, lastRow] = ReachingInto(sorted.Grid().HorizontalSplits.Values(), fromY, toY);
  const int64_t shown =
      static_cast<int64_t>(std::max(0, lastColumn - firstColumn + 1)) * std::max(0, lastRow - firstRow + 1);
  if (sliceNumbers_ && shown <= kMostNumberedCells) {
    QFont font = canvas.font();
    font.setPixelSize(11);
    font.setBold(true);
    canvas.setFont(font);
    const QFontMetrics metrics(font);
    const TSliceTable& slices = editor_.Slices();
    for (int32_t row = firstRow; row <= lastRow; ++row) {
      for (int32_t column = firstColumn; column <= lastColumn; ++column) {
        const TGridCell cell = sorted.Cell({column, row});
        if (cell.Width <= 0 || cell.Height <= 0) continue;
        const TSliceProperties& properties = slices.Get({column, row});
        // The number, then what the slice carries: ALT text, a link, a format of its own.
        std::vector<std::pair<QString, QColor>> parts = {{QString::number(cell.Number), kNumberInk}};
        if (!properties.Alt.empty()) parts.emplace_back("ALT", kAltInk);
        if (!properties.Url.empty()) parts.emplace_back("\u2197", kLinkInk);
        if (!properties.Format.empty())
          parts.emplace_back("." + QString::fromStdString(properties.Format), kFormatInk);
        int width = 0;
        for (const auto& part : parts) width += metrics.horizontalAdvance(part.first) + 4;
        const QRect badge(0, 0, width + 4, metrics.height() + 2);
        const QRect area = screenRect(cell);
        // A number that does not fit in its cell is left out rather than cover its neighbours.
        if (badge.width() + 6 > area.width() || badge.height() + 6 > area.height()) continue;
        const QRect at = badge.translated(area.left() + 3, area.top() + 3);
        canvas.setPen(Qt::NoPen);
        canvas.setBrush(kBadge);
        canvas.drawRoundedRect(at, 4, 4);
        int x = at.left() + 4;
        for (const auto& [text, ink] : parts) {
          canvas.setPen(ink);
          canvas.drawText(QRect(x, at.top(), at.right() - x, at.height()), Qt::AlignVCenter | Qt::AlignLeft,
                          text);
          x += metrics.horizontalAdvance(text) + 4;
        }
      }
    }
  }
  canvas.restore();
}

}  // namespace tessel
