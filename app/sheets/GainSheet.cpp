#include "sheets/GainSheet.h"

#include <QCoreApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QSignalBlocker>
#include <QSlider>

#include <algorithm>
#include <cmath>

#include "core/Processing.h"
#include "editor/EditorModel.h"
#include "widgets/ParamSlider.h"
#include "inspector/InspectorText.h"
#include "platform/ObservedRefresh.h"
#include "widgets/ViewStyle.h"

namespace {

// Slider steps per dB.
constexpr int stepsPerDB = 10;

// A number typed in the user's locale, or with a point or a comma for the decimals.
std::optional<double> typedNumber(const QString& text) {
  bool ok = false;
  const double value = QLocale().toDouble(text.trimmed(), &ok);
  if (ok && !std::isnan(value)) return value;
  return ParamSlider::parse(text.trimmed());
}

} // namespace

GainSheet::GainSheet(EditorModel& model, QWidget* window)
    : SheetContainer(QStringLiteral("Gain"), QStringLiteral("Apply"), window), model_(model),
      slider_(new QSlider(Qt::Horizontal, this)), field_(new QLineEdit(this)), peakLine_(new QLabel(this)) {
  slider_->setObjectName(QStringLiteral("gainSlider"));
  slider_->setRange(static_cast<int>(minDB) * stepsPerDB, static_cast<int>(maxDB) * stepsPerDB);
  field_->setObjectName(QStringLiteral("gainField"));
  field_->setAccessibleName(QStringLiteral("dB"));
  field_->setFixedWidth(56);
  field_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  field_->installEventFilter(this);
  auto* row = new QHBoxLayout;
  row->addWidget(slider_, 1);
  row->addWidget(field_);
  row->addWidget(new QLabel(QStringLiteral("dB"), this));
  addContent(row);
  peakLine_->setObjectName(QStringLiteral("peakLine"));
  peakLine_->setFont(ViewStyle::font(ViewStyle::TextStyle::callout));
  addContent(peakLine_);
  addScopeLine(model);

  connect(slider_, &QSlider::valueChanged, this, [this](int step) { setDB(static_cast<double>(step) / stepsPerDB); });
  connect(field_, &QLineEdit::textEdited, this, [this](const QString& text) {
    if (const auto typed = typedNumber(text)) {
      db_ = std::clamp(*typed, minDB, maxDB);
      const QSignalBlocker blocker(slider_);
      slider_->setValue(static_cast<int>(std::lround(db_ * stepsPerDB)));
      showPeakLine();
    }
  });
  connect(field_, &QLineEdit::editingFinished, this, &GainSheet::showDB);
  // The peak is read again whenever the content or the selection changes.
  auto* peaks = new ObservedRefresh(
      [this] {
        const quar::AudioContent& content = model_.content();
        const std::optional<quar::FrameRange> selection = model_.selection();
        peakDB_ = peakDB(quar::samplePeaks(content, selection.value_or(quar::FrameRange(0, content.frameCount()))));
        showPeakLine();
      },
      this);
  peaks->watch(&model_);
  peaks->run();
  showDB();
}

double GainSheet::peakDB(const std::vector<float>& peaks) {
  float peak = 0;
  for (const float value : peaks)
    if (value > peak) peak = value;
  if (!(peak > 0)) return floorDB;
  return std::max(20 * std::log10(static_cast<double>(peak)), floorDB);
}

QString GainSheet::levelText(double db) { return InspectorText::level(db); }

QString GainSheet::peakLine(double peakDB, double gainDB) {
  return QStringLiteral("Current peak %1 dBFS \u2192 %2 dBFS after gain.").arg(levelText(peakDB), levelText(peakAfter(peakDB, gainDB)));
}

void GainSheet::apply() { model_.applyGain(db_); }

bool GainSheet::eventFilter(QObject* watched, QEvent* event) {
  // Up, Down, Page Up and Page Down in the field step the slider.
  if (watched == field_ && event->type() == QEvent::KeyPress) {
    switch (static_cast<const QKeyEvent*>(event)->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown: QCoreApplication::sendEvent(slider_, event); return true;
    default: break;
    }
  }
  return SheetContainer::eventFilter(watched, event);
}

void GainSheet::changeEvent(QEvent* event) {
  SheetContainer::changeEvent(event);
  if (event->type() == QEvent::PaletteChange) showPeakLine();
}

void GainSheet::setDB(double db) {
  db_ = std::clamp(db, minDB, maxDB);
  showDB();
}

void GainSheet::showDB() {
  const QSignalBlocker blocker(slider_);
  slider_->setValue(static_cast<int>(std::lround(db_ * stepsPerDB)));
  field_->setText(QLocale().toString(db_, 'f', 1));
  showPeakLine();
}

void GainSheet::showPeakLine() {
  peakLine_->setText(peakLine(peakDB_, db_));
  ViewStyle::setForeground(peakLine_, clips(peakDB_, db_) ? ViewStyle::systemRed.resolved(palette())
                                                          : ViewStyle::secondary(palette()));
}
