#include "workspace/ui/color_dialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

#include "imaging/filters/filter.h"
#include "imaging/image/messages.h"
#include "imaging/image/pixel_graphic.h"
#include "imaging/view/qt_pg_image.h"

namespace tessel {

namespace {

constexpr int kPreviewWidth = 240;
constexpr int kPreviewHeight = 180;

QString Msg(int number) {
  return QString::fromStdString(pg::MessageText(number));
}

// The channel's settings: hue turns in degrees, everything else in percent.
struct TChannel {
  int minimum, maximum, step;
  bool wraps;
};

std::unique_ptr<pg::TPGFilter> BuildFilter(TColorDialog::TKind kind, const std::array<int32_t, 3>& v) {
  switch (kind) {
    case TColorDialog::kRGB: {
      auto filter = std::make_unique<pg::TRGBFilter>();
      filter->SetAdjustment(v[0], v[1], v[2]);
      return filter;
    }
    case TColorDialog::kCMY: {
      auto filter = std::make_unique<pg::TCMYFilter>();
      filter->SetAdjustment(v[0], v[1], v[2]);
      return filter;
    }
    case TColorDialog::kHLS:
      break;
  }
  auto filter = std::make_unique<pg::THLSFilter>();
  filter->SetAdjustment(v[0], v[1], v[2]);
  return filter;
}

// The hue field: a typed angle beyond the range comes round from the other end (200 is -160), as
// turning the hue by 200 degrees is turning it by -160.
class THueSpinBox : public QSpinBox {
 public:
  using QSpinBox::QSpinBox;

  QValidator::State validate(QString& input, int&) const override {
    const QString text = Bare(input);
    if (text.isEmpty() || text == "-" || text == "+") return QValidator::Intermediate;
    // At most nine digits: any such angle fits the arithmetic below.
    static const QRegularExpression number("^[+-]?[0-9]{1,9}$");
    return number.match(text).hasMatch() ? QValidator::Acceptable : QValidator::Invalid;
  }

  int valueFromText(const QString& text) const override {
    bool ok = false;
    const long long angle = Bare(text).toLongLong(&ok);
    if (!ok) return value();
    return static_cast<int>(WrapAngle(angle, minimum(), maximum()));
  }

 private:
  QString Bare(const QString& text) const {
    QString bare = text;
    if (!suffix().isEmpty() && bare.endsWith(suffix())) bare.chop(suffix().size());
    if (!prefix().isEmpty() && bare.startsWith(prefix())) bare.remove(0, prefix().size());
    return bare.trimmed();
  }
};

}  // namespace

long long WrapAngle(long long angle, int minimum, int maximum) {
  const long long turn = static_cast<long long>(maximum) - minimum;
  if (turn <= 0) return angle;
  if (angle > maximum) angle -= (angle - maximum + turn - 1) / turn * turn;
  if (angle < minimum) angle += (minimum - angle + turn - 1) / turn * turn;
  return angle;
}

TColorDialog::TColorDialog(TKind kind, const pg::TPixelGraphic& source, QWidget* parent)
    : QDialog(parent), kind_(kind) {
  const int firstMessage = kind == kRGB ? 44 : kind == kCMY ? 48 : 56;
  setObjectName(kind == kRGB ? "RGBDialog" : kind == kCMY ? "CMYDialog" : "HLSDialog");
  setWindowTitle(Msg(firstMessage));
  setModal(true);

  auto* layout = new QVBoxLayout(this);
  auto* previews = new QHBoxLayout;
  before_ = new pg::TPGImage(this);
  before_->setObjectName("Before");
  after_ = new pg::TPGImage(this);
  after_->setObjectName("After");
  for (pg::TPGImage* view : {before_, after_}) {
    view->SetStretch(pg::sShrinkKAR);
    view->SetCenter(true);
    view->setFixedSize(kPreviewWidth, kPreviewHeight);
    previews->addWidget(view);
  }
  layout->addLayout(previews);

  // A small copy is enough to judge the colours and keeps every preview quick.
  small_ = std::make_unique<pg::TPixelGraphic>();
  const int32_t w = std::max(source.Width(), 1);
  const int32_t h = std::max(source.Height(), 1);
  if (w <= kPreviewWidth && h <= kPreviewHeight) {
    small_->Assign(&source);
  } else {
    const double scale =
        std::min(static_cast<double>(kPreviewWidth) / w, static_cast<double>(kPreviewHeight) / h);
    small_->NewImage(std::max(1, static_cast<int32_t>(w * scale)),
                     std::max(1, static_cast<int32_t>(h * scale)), pg::bc24Bit);
    small_->SetStretchMode(pg::smMedium);
    small_->CopyFrom(source);
  }
  before_->SetPixelGraphic(small_.get());
  after_->SetPixelGraphic(small_.get());

  auto* grid = new QGridLayout;
  for (int i = 0; i < 3; ++i) {
    const bool hue = kind == kHLS && i == 0;
    const TChannel channel = hue ? TChannel{-180, 180, 15, true} : TChannel{-100, 100, 10, false};
    const QString unit = hue ? Msg(83) : QString("%");
    auto* name = new QLabel(Msg(firstMessage + 1 + i) + " " + (hue ? Msg(83) : Msg(82)), this);
    auto* low = new QLabel(QString("%1%2").arg(channel.minimum).arg(unit), this);
    auto* high = new QLabel(QString("+%1%2").arg(channel.maximum).arg(unit), this);
    auto* slider = new QSlider(Qt::Horizontal, this);
    slider->setObjectName(QString("Slider%1").arg(i + 1));
    slider->setRange(channel.minimum, channel.maximum);
    slider->setSingleStep(channel.step);
    slider->setPageStep(channel.step);
    slider->setTickInterval(channel.step);
    slider->setTickPosition(QSlider::TicksBelow);
    slider->setValue(0);
    QSpinBox* spin = hue ? new THueSpinBox(this) : new QSpinBox(this);
    spin->setObjectName(QString("Value%1").arg(i + 1));
    spin->setRange(channel.minimum, channel.maximum);
    spin->setSingleStep(channel.step);
    spin->setSuffix(unit);
    // A hue beyond the range comes round from the other end.
    spin->setWrapping(channel.wraps);
    spin->setValue(0);
    connect(slider, &QSlider::valueChanged, spin, &QSpinBox::setValue);
    connect(spin, &QSpinBox::valueChanged, slider, &QSlider::setValue);
    connect(slider, &QSlider::valueChanged, this, [this] { ValuesChanged(); });
    grid->addWidget(name, i, 0);
    grid->addWidget(low, i, 1);
    grid->addWidget(slider, i, 2);
    grid->addWidget(high, i, 3);
    grid->addWidget(spin, i, 4);
    sliders_[static_cast<size_t>(i)] = slider;
    spins_[static_cast<size_t>(i)] = spin;
  }
  grid->setColumnStretch(2, 1);
  layout->addLayout(grid);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  // The library's own button captions, like every other text of these dialogs.
  buttons->button(QDialogButtonBox::Ok)->setText(Msg(42));
  buttons->button(QDialogButtonBox::Cancel)->setText(Msg(43));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);

  worker_ = std::thread([this] { WorkerLoop(); });
}

TColorDialog::~TColorDialog() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  generation_.fetch_add(1);  // stops a run under way at its next progress step
  wake_.notify_all();
  worker_.join();
}

std::unique_ptr<pg::TPGFilter> TColorDialog::MakeFilter() const {
  return BuildFilter(kind_, {sliders_[0]->value(), sliders_[1]->value(), sliders_[2]->value()});
}

void TColorDialog::Apply(pg::TPixelGraphic& graphic) const {
  std::unique_ptr<pg::TPGFilter> filter = MakeFilter();
  graphic.ApplyFilter(*filter, graphic);
}

void TColorDialog::ValuesChanged() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requested_ = {sliders_[0]->value(), sliders_[1]->value(), sliders_[2]->value()};
    generation_.fetch_add(1);
  }
  wake_.notify_all();
}

void TColorDialog::WorkerLoop() {
  for (;;) {
    std::array<int32_t, 3> values{};
    int64_t generation = 0;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [this] { return stop_ || generation_.load() != taken_; });
      if (stop_) return;
      generation = generation_.load();
      taken_ = generation;
      values = requested_;
    }
    auto result = std::make_unique<pg::TPixelGraphic>();
    bool aborted = false;
    result->OnProgress = [this, generation, &aborted](const void*, int32_t, int32_t, bool& abort) {
      if (generation_.load() != generation) abort = aborted = true;
    };
    try {
      std::unique_ptr<pg::TPGFilter> filter = BuildFilter(kind_, values);
      result->ApplyFilter(*filter, *small_);
    } catch (const std::exception&) {
      continue;  // a preview that cannot be made is simply not shown
    }
    result->OnProgress = nullptr;
    if (aborted || generation_.load() != generation) continue;
    // Handed to the dialog's thread; dropped there if a newer request came meanwhile (and freed
    // with the call if the dialog is gone before it runs).
    std::shared_ptr<const pg::TPixelGraphic> shared(std::move(result));
    QMetaObject::invokeMethod(
        this, [this, generation, shared] { ShowResult(generation, *shared); }, Qt::QueuedConnection);
  }
}

void TColorDialog::ShowResult(int64_t generation, const pg::TPixelGraphic& result) {
  if (generation != generation_.load()) return;
  after_->SetPixelGraphic(&result);
  ++previewsShown_;
  emit PreviewShown();
}

}  // namespace tessel
