#include "views/GridSettingsView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "core/TempoGrid.h"
#include "editor/EditorModel.h"
#include "platform/Icons.h"
#include "platform/ObservedRefresh.h"
#include "support/FixedText.h"
#include "widgets/ViewStyle.h"

using quar::TempoGrid;
using ViewStyle::TextStyle;

namespace {

constexpr double minTempo = TempoGrid::bpmRange.lowerBound;
constexpr double maxTempo = TempoGrid::bpmRange.upperBound;

QLabel* rowLabel(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setFixedWidth(70);
  return label;
}

QPushButton* smallButton(const QString& text, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setFont(ViewStyle::font(TextStyle::small));
  return button;
}

} // namespace

GridSettingsView::GridSettingsView(EditorModel* model, QWidget* parent)
    : QWidget(parent), model_(model), observer_(new ObservedRefresh([this] { refresh(); }, this)) {
  setObjectName(QStringLiteral("gridSettings"));
  setFixedWidth(contentWidth);
  auto* layout = new QVBoxLayout(this);
  layout->setSpacing(12);
  layout->setContentsMargins(0, 0, 0, 0);

  showGrid_ = new QCheckBox(QStringLiteral("Show bar grid"), this);
  showGrid_->setObjectName(QStringLiteral("showGridToggle"));
  showGrid_->setFont(ViewStyle::font(TextStyle::headline));
  connect(showGrid_, &QCheckBox::toggled, this, [this](bool on) { model_->tempo().setShowGrid(on); });
  layout->addWidget(showGrid_);

  auto* tempoRow = new QHBoxLayout;
  tempoRow->addWidget(rowLabel(QStringLiteral("Tempo"), this));
  tempo_ = new QLineEdit(this);
  tempo_->setObjectName(QStringLiteral("tempoField"));
  tempo_->setPlaceholderText(QStringLiteral("BPM"));
  tempo_->setFixedWidth(64);
  tempo_->setAlignment(Qt::AlignRight);
  connect(tempo_, &QLineEdit::editingFinished, this, &GridSettingsView::commitTempo);
  tempoRow->addWidget(tempo_);
  auto* stepper = new QVBoxLayout;
  stepper->setSpacing(0);
  for (auto [name, arrow, direction] : {std::tuple{"tempoStepUp", Qt::UpArrow, 1}, {"tempoStepDown", Qt::DownArrow, -1}}) {
    auto* button = new QToolButton(this);
    button->setObjectName(QString::fromLatin1(name));
    button->setArrowType(arrow);
    button->setFixedSize(16, 11);
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoRepeat(true);
    connect(button, &QToolButton::clicked, this, [this, direction = direction] { stepTempo(direction); });
    stepper->addWidget(button);
  }
  tempoRow->addLayout(stepper);
  unit_ = new QLabel(QStringLiteral("BPM"), this);
  unit_->setObjectName(QStringLiteral("tempoUnit"));
  tempoRow->addWidget(unit_);
  tempoRow->addStretch();
  QPushButton* halve = smallButton(QStringLiteral("\u00F72"), this);
  halve->setObjectName(QStringLiteral("halveTempoButton"));
  connect(halve, &QPushButton::clicked, this, [this] { model_->tempo().scaleTempo(0.5); });
  QPushButton* twice = smallButton(QStringLiteral("\u00D72"), this);
  twice->setObjectName(QStringLiteral("doubleTempoButton"));
  connect(twice, &QPushButton::clicked, this, [this] { model_->tempo().scaleTempo(2.0); });
  tempoRow->addWidget(halve);
  tempoRow->addWidget(twice);
  layout->addLayout(tempoRow);

  auto* meterRow = new QHBoxLayout;
  meterRow->addWidget(rowLabel(QStringLiteral("Meter"), this));
  meter_ = new QComboBox(this);
  meter_->setObjectName(QStringLiteral("beatsPerBarPicker"));
  meter_->setAccessibleName(QStringLiteral("Beats per bar"));
  meter_->setFixedWidth(80);
  for (int beats = 1; beats <= 12; ++beats) meter_->addItem(QStringLiteral("%1/4").arg(beats), beats);
  connect(meter_, &QComboBox::activated, this, [this](int index) {
    TempoGrid grid = model_->tempo().grid();
    grid.beatsPerBar = meter_->itemData(index).toInt();
    model_->tempo().setGrid(grid);
  });
  meterRow->addWidget(meter_);
  meterRow->addStretch();
  layout->addLayout(meterRow);

  auto* detectRow = new QHBoxLayout;
  detect_ = new QPushButton(Icons::tinted(QStringLiteral("waveform.badge.magnifyingglass")), QStringLiteral("Detect"), this);
  detect_->setObjectName(QStringLiteral("detectButton"));
  connect(detect_, &QPushButton::clicked, this,
          [this] { model_->tempo().detectTempo(model_->content(), model_->envelopes()); });
  detecting_ = new QProgressBar(this);
  detecting_->setObjectName(QStringLiteral("detectProgress"));
  detecting_->setRange(0, 0);
  detecting_->setTextVisible(false);
  detecting_->setFixedSize(48, 8);
  auto* tap = new QPushButton(QStringLiteral("Tap"), this);
  tap->setObjectName(QStringLiteral("tapButton"));
  tap->setToolTip(QStringLiteral("Click in time with the music (4+ taps)"));
  connect(tap, &QPushButton::clicked, this, [this] { model_->tempo().tapTempo(); });
  detectRow->addWidget(detect_);
  detectRow->addWidget(detecting_);
  detectRow->addWidget(tap);
  detectRow->addStretch();
  layout->addLayout(detectRow);

  auto* barOne = new QPushButton(QStringLiteral("Set Bar 1 at Cursor"), this);
  barOne->setObjectName(QStringLiteral("setBarOneButton"));
  barOne->setToolTip(QStringLiteral("Moves the grid so bar 1 starts at the cursor (or the playhead while playing)"));
  connect(barOne, &QPushButton::clicked, this, [this] { model_->setDownbeatAtCursor(); });
  layout->addWidget(barOne, 0, Qt::AlignLeft);

  confidence_ = new QLabel(this);
  confidence_->setObjectName(QStringLiteral("confidenceText"));
  confidence_->setFont(ViewStyle::font(TextStyle::caption));
  confidence_->setWordWrap(true);
  confidence_->setMaximumWidth(contentWidth);
  layout->addWidget(confidence_);

  auto* divider = new QFrame(this);
  divider->setFrameShape(QFrame::HLine);
  divider->setFrameShadow(QFrame::Sunken);
  layout->addWidget(divider);

  // The toggle's title wraps within the width, so it is a label of its own that also toggles.
  auto* snapRow = new QHBoxLayout;
  snapToGrid_ = new QCheckBox(this);
  snapToGrid_->setObjectName(QStringLiteral("snapToGridToggle"));
  connect(snapToGrid_, &QCheckBox::toggled, this, [this](bool on) { model_->tempo().setSnapToGrid(on); });
  snapTitle_ = new QLabel(QStringLiteral("Snap gain points to the grid (hold Ctrl to bypass)"), this);
  snapTitle_->setObjectName(QStringLiteral("snapToGridTitle"));
  snapTitle_->setFont(ViewStyle::font(TextStyle::callout));
  snapTitle_->setWordWrap(true);
  snapTitle_->setMaximumWidth(contentWidth - snapToGrid_->sizeHint().width() - snapRow->spacing());
  snapTitle_->installEventFilter(this);
  snapToGrid_->setAccessibleName(snapTitle_->text());
  snapRow->addWidget(snapToGrid_, 0, Qt::AlignTop);
  snapRow->addWidget(snapTitle_, 1);
  layout->addLayout(snapRow);

  hint_ = new QLabel(QStringLiteral("With the grid on, Shift+drag in the loudness lane raises or lowers whole bars: "
                                         "press in a bar, drag sideways to take in more bars, up or down for gain."),
                          this);
  hint_->setObjectName(QStringLiteral("gridHint"));
  hint_->setFont(ViewStyle::font(TextStyle::caption));
  hint_->setWordWrap(true);
  hint_->setMaximumWidth(contentWidth);
  layout->addWidget(hint_);

  observer_->watch(&model_->tempo());
  observer_->run();
}

QString GridSettingsView::tempoText(double bpm) {
  const double hundredths = std::fmod(std::round(bpm * 100), 100);
  const int decimals = hundredths == 0 ? 0 : std::fmod(hundredths, 10) == 0 ? 1 : 2;
  return QLocale().toString(bpm, 'f', decimals);
}

std::optional<double> GridSettingsView::parsedTempo(const QString& text) {
  bool ok = false;
  const double value = QLocale().toDouble(text.trimmed(), &ok);
  if (!ok || !std::isfinite(value) || value < minTempo || value > maxTempo) return std::nullopt;
  return value;
}

double GridSettingsView::steppedTempo(double bpm, int direction) {
  return std::clamp(bpm + direction, minTempo, maxTempo);
}

GridSettingsView::ConfidenceLine GridSettingsView::confidenceLine(double confidence) {
  if (confidence >= 0.3) return {QStringLiteral("Detected with ") + fixedText(confidence * 100, 0) + QStringLiteral("% confidence."), false};
  return {QStringLiteral("Low confidence \u2014 check the grid against the waveform, or use Tap."), true};
}

void GridSettingsView::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::PaletteChange) observer_->run();
}

bool GridSettingsView::eventFilter(QObject* watched, QEvent* event) {
  if (watched == snapTitle_ && event->type() == QEvent::MouseButtonRelease) snapToGrid_->click();
  return QWidget::eventFilter(watched, event);
}

void GridSettingsView::commitTempo() {
  // Leaving the field unchanged keeps the tempo as it is, not as rounded for showing.
  if (tempo_->text() == tempoText(model_->tempo().grid().bpm)) return;
  if (const std::optional<double> bpm = parsedTempo(tempo_->text())) {
    TempoGrid grid = model_->tempo().grid();
    grid.bpm = *bpm;
    model_->tempo().setGrid(grid);
  }
  tempo_->setText(tempoText(model_->tempo().grid().bpm));
}

void GridSettingsView::stepTempo(int direction) {
  TempoGrid grid = model_->tempo().grid();
  grid.bpm = steppedTempo(grid.bpm, direction);
  model_->tempo().setGrid(grid);
}

void GridSettingsView::refresh() {
  const TempoGrid& grid = model_->tempo().grid();
  const QSignalBlocker blockShow(showGrid_);
  showGrid_->setChecked(model_->tempo().showGrid());
  if (!tempo_->hasFocus()) tempo_->setText(tempoText(grid.bpm));
  const QSignalBlocker blockMeter(meter_);
  meter_->setCurrentIndex(grid.beatsPerBar >= 1 && grid.beatsPerBar <= meter_->count() ? static_cast<int>(grid.beatsPerBar) - 1 : -1);
  const bool detecting = model_->tempo().isDetectingTempo();
  detect_->setEnabled(!detecting);
  detecting_->setVisible(detecting);
  const QColor secondary = ViewStyle::secondary(palette());
  ViewStyle::setForeground(unit_, secondary);
  ViewStyle::setForeground(hint_, secondary);
  const std::optional<double> confidence = model_->tempo().tempoConfidence();
  confidence_->setVisible(confidence.has_value());
  if (confidence) {
    const ConfidenceLine line = confidenceLine(*confidence);
    confidence_->setText(line.text);
    ViewStyle::setForeground(confidence_, line.low ? ViewStyle::systemOrange.resolved(palette()) : secondary);
  }
  const QSignalBlocker blockSnap(snapToGrid_);
  snapToGrid_->setChecked(model_->tempo().snapToGrid());
}
