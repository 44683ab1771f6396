#include "workspace/ui/jpeg_page.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>
#include <QSplitter>
#include <QStandardPaths>
#include <QTimer>
#include <QVBoxLayout>
#include <memory>
#include <utility>

#include "imaging/formats/file_format.h"
#include "imaging/formats/image_io.h"
#include "imaging/image/pixel_graphic.h"
#include "imaging/view/qt_pg_image.h"
#include "workspace/ui/message_boxes.h"
#include "workspace/ui/private_dir.h"

namespace tessel {

namespace {

constexpr int kLabelHeight = 18;

pg::TPGImage* MakeView(const char* name, QWidget* parent) {
  auto* view = new pg::TPGImage(parent);
  view->setObjectName(name);
  view->SetStretch(pg::sZoomKAR);
  view->SetZoomFactor(1.0L);
  return view;
}

}  // namespace

std::filesystem::path DefaultPreviewDirectory() {
  QString base = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
  if (base.isEmpty()) base = QDir::homePath() + "/.cache";
  return std::filesystem::path(base.toStdString()) / "tessel-preview";
}

TJpegPage::TJpegPage(QWidget* parent) : QWidget(parent), tempDirectory_(DefaultPreviewDirectory()) {
  setObjectName("JPEGCompression");
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addSpacing(kLabelHeight);

  splitter_ = new QSplitter(Qt::Horizontal, this);
  splitter_->setObjectName("Splitter1");
  splitter_->setHandleWidth(5);
  splitter_->setChildrenCollapsible(false);
  left_ = MakeView("PGImage2", splitter_);
  right_ = MakeView("PGImage3", splitter_);
  splitter_->addWidget(left_);
  splitter_->addWidget(right_);
  layout->addWidget(splitter_, 1);
  label_ = new QLabel("-", this);
  label_->setObjectName("Label1");
  label_->setAlignment(Qt::AlignCenter);
  connect(splitter_, &QSplitter::splitterMoved, this, [this] { PlaceLabel(); });

  auto* controls = new QGridLayout;
  controls->setContentsMargins(4, 4, 4, 4);
  auto* zoomIn = new QPushButton("Zoom In", this);
  zoomIn->setObjectName("ZoomIn");
  auto* zoomOut = new QPushButton("Zoom Out", this);
  zoomOut->setObjectName("ZoomOut");
  auto* actual = new QPushButton("Actual Size", this);
  actual->setObjectName("ActualSize");
  connect(zoomIn, &QPushButton::clicked, this, [this] {
    left_->SetZoomFactor(left_->ZoomFactor() * 2);
    right_->SetZoomFactor(left_->ZoomFactor());
  });
  connect(zoomOut, &QPushButton::clicked, this, [this] {
    left_->SetZoomFactor(left_->ZoomFactor() * 0.5L);
    right_->SetZoomFactor(left_->ZoomFactor());
  });
  connect(actual, &QPushButton::clicked, this, [this] {
    left_->SetZoomFactor(1.0L);
    right_->SetZoomFactor(1.0L);
  });
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(zoomIn);
  buttons->addWidget(zoomOut);
  buttons->addWidget(actual);
  controls->addLayout(buttons, 0, 0, 2, 1);

  slider_ = new QSlider(Qt::Horizontal, this);
  slider_->setObjectName("TrackBar1");
  slider_->setRange(0, 100);
  slider_->setTickInterval(5);
  slider_->setTickPosition(QSlider::TicksBelow);
  slider_->setValue(pg::FormatOptions().JPEGQuality);
  auto* sliderRow = new QHBoxLayout;
  sliderRow->addWidget(new QLabel("Best Compression", this));
  sliderRow->addWidget(slider_, 1);
  sliderRow->addWidget(new QLabel("Best Quality", this));
  controls->addLayout(sliderRow, 0, 1);

  auto* qualityRow = new QHBoxLayout;
  qualityRow->addWidget(new QLabel("Quality (0-100%):", this));
  spin_ = new QSpinBox(this);
  spin_->setObjectName("SpinEdit1");
  spin_->setRange(0, 100);
  spin_->setValue(slider_->value());
  qualityRow->addWidget(spin_);
  progressive_ = new QCheckBox("Progressive Encoding", this);
  progressive_->setObjectName("Progressive");
  progressive_->setChecked(pg::FormatOptions().JPEGProgressive);
  qualityRow->addWidget(progressive_);
  qualityRow->addStretch(1);
  controls->addLayout(qualityRow, 1, 1);
  controls->setColumnStretch(1, 1);
  layout->addLayout(controls);

  // One second after the last slider move, so several moves give one compression.
  timer_ = new QTimer(this);
  timer_->setInterval(1000);
  connect(timer_, &QTimer::timeout, this, &TJpegPage::TimerStep);
  connect(slider_, &QSlider::valueChanged, this, &TJpegPage::SliderChanged);
  // A quality typed into the number field moves the slider, which then compresses as it does.
  connect(spin_, &QSpinBox::valueChanged, slider_, &QSlider::setValue);
  // The two views scroll together, so the same part of both pictures is in sight.
  for (auto [from, to] : {std::pair{left_, right_}, std::pair{right_, left_}}) {
    connect(from->horizontalScrollBar(), &QScrollBar::valueChanged, this, [this, to](int value) {
      if (syncing_) return;
      syncing_ = true;
      to->SetHorzScrollPos(value);
      syncing_ = false;
    });
    connect(from->verticalScrollBar(), &QScrollBar::valueChanged, this, [this, to](int value) {
      if (syncing_) return;
      syncing_ = true;
      to->SetVertScrollPos(value);
      syncing_ = false;
    });
  }
  connect(progressive_, &QCheckBox::clicked, this, &TJpegPage::TimerStep);
}

void TJpegPage::SourceChanged(const pg::TPixelGraphic* source) {
  if (!source) return;
  left_->SetPixelGraphic(source);
  SliderChanged(slider_->value());
}

void TJpegPage::SliderChanged(int value) {
  spin_->setValue(value);
  timer_->start();
}

void TJpegPage::Stop() {
  timer_->stop();
}

void TJpegPage::TimerStep() {
  // Without an image the timer keeps running and each step does nothing.
  if (left_->PixelGraphicWidth() <= 0 || left_->PixelGraphicHeight() <= 0) return;
  timer_->stop();
  pg::FormatOptions().JPEGProgressive = progressive_->isChecked();
  pg::FormatOptions().JPEGQuality = slider_->value();
  ++compressions_;
  RunGuarded(this, [this] {
    EnsurePrivateDirectory(tempDirectory_);
    const std::string path = TempFile().string();
    left_->PixelGraphic()->SaveToFile(path);
    std::error_code error;
    const auto size = std::filesystem::file_size(TempFile(), error);
    if (error) throw std::runtime_error("Cannot read the size of " + path + ": " + error.message());
    // Read back before anything is shown, so a failure leaves label and view as they were.
    auto compressed = std::make_unique<pg::TPixelGraphic>();
    compressed->LoadFromFile(path);
    label_->setText(QString("Compressed file size : %1 bytes").arg(static_cast<qulonglong>(size)));
    right_->AdoptPixelGraphic(std::move(compressed));
    QApplication::beep();
  });
}

void TJpegPage::PlaceLabel() {
  const QRect area = right_->geometry().translated(splitter_->pos());
  label_->setGeometry(area.left(), 0, area.width(), kLabelHeight);
}

void TJpegPage::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  PlaceLabel();
}

void TJpegPage::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  PlaceLabel();
}

}  // namespace tessel
