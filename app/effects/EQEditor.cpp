#include "effects/EQEditor.h"

#include <QHBoxLayout>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

#include "effects/EQBandChip.h"
#include "effects/EQBandControls.h"
#include "effects/EQGraph.h"
#include "effects/SymbolButton.h"

using quar::EQBand;
using quar::EQSettings;

namespace {

constexpr int panelSpacing = 10;
constexpr int chipSpacing = 6;
// The add button's symbol, as large as a title's text.
constexpr int addSymbolSize = 18;

// The band that adding appends: a bell at 1000 Hz, 0 dB, Q 1.
EQBand newBand() { return EQBand(quar::EQBandType::peak, 1000, 0, 1, 24, true); }

// What the selected band's controls show while no band is selected (they are hidden then).
const EQBand& placeholderBand() {
  static const EQBand band = newBand();
  return band;
}

} // namespace

const std::array<ThemeColor, 8>& EQEditor::bandColors() {
  static const std::array<ThemeColor, 8> colors{Theme::red,  Theme::orange, Theme::yellow, Theme::green,
                                                Theme::mint, Theme::cyan,   Theme::blue,   Theme::purple};
  return colors;
}

const ThemeColor& EQEditor::bandColor(size_t index) { return bandColors()[index % bandColors().size()]; }

EQEditor::EQEditor(Binding<EQSettings> settings, double sampleRate, QWidget* parent)
    : EffectEditor(parent), settings_(std::move(settings)),
      graph_(new EQGraph(settings_,
                         Binding<std::optional<quar::Uuid>>([this] { return selected_; },
                                                            [this](const std::optional<quar::Uuid>& id) { select(id); }),
                         this)),
      chipRow_(new QHBoxLayout),
      add_(new SymbolButton(QStringLiteral("plus.circle"), addSymbolSize, {}, this)),
      controls_(new EQBandControls(selectedBand(), [this] { removeSelectedBand(); }, this)),
      output_(new ParamSlider(QStringLiteral("Output"), settings_.field(&EQSettings::outputGainDB), {-24, 24},
                              QStringLiteral("dB"), QStringLiteral("%.1f"), ParamSlider::Scale::linear, 0.0, this)) {
  setObjectName(QStringLiteral("eqEditor"));
  graph_->setSampleRate(sampleRate);
  add_->setObjectName(QStringLiteral("addBand"));
  add_->setToolTip(QStringLiteral("Add a band"));
  add_->setAutoRaise(true);
  connect(add_, &QToolButton::clicked, this, &EQEditor::addBand);
  output_->setObjectName(QStringLiteral("outputGainDB"));

  chipRow_->setSpacing(chipSpacing);
  chipRow_->addWidget(add_);
  chipRow_->addStretch(1);
  QVBoxLayout* column = makeColumn();
  column->setSpacing(panelSpacing);
  column->addWidget(graph_);
  column->addLayout(chipRow_);
  column->addWidget(controls_);
  column->addWidget(output_);

  const EQSettings current = settings_.get();
  if (!current.bands.empty()) selected_ = current.bands.front().id;
  refresh();
}

void EQEditor::setSampleRate(double sampleRate) { graph_->setSampleRate(sampleRate); }

std::optional<size_t> EQEditor::selectedIndex(const EQSettings& settings) const {
  if (!selected_) return std::nullopt;
  const auto band = std::ranges::find_if(settings.bands, [&](const EQBand& b) { return b.id == *selected_; });
  if (band == settings.bands.end()) return std::nullopt;
  return static_cast<size_t>(band - settings.bands.begin());
}

Binding<EQBand> EQEditor::selectedBand() {
  return Binding<EQBand>(
      [this] {
        const EQSettings settings = settings_.get();
        const std::optional<size_t> index = selectedIndex(settings);
        return index ? settings.bands[*index] : placeholderBand();
      },
      [this](const EQBand& band) {
        EQSettings settings = settings_.get();
        const auto found = std::ranges::find_if(settings.bands, [&](const EQBand& b) { return b.id == band.id; });
        if (found == settings.bands.end()) return;
        *found = band;
        settings_.set(settings);
      });
}

void EQEditor::select(std::optional<quar::Uuid> id) {
  selected_ = id;
  refresh();
}

void EQEditor::addBand() {
  EQSettings settings = settings_.get();
  const EQBand band = newBand();
  settings.bands.push_back(band);
  selected_ = band.id;
  settings_.set(settings);
  refresh();
}

void EQEditor::removeSelectedBand() {
  EQSettings settings = settings_.get();
  const std::optional<size_t> index = selectedIndex(settings);
  if (!index) return;
  settings.bands.erase(settings.bands.begin() + static_cast<std::ptrdiff_t>(*index));
  selected_ = settings.bands.empty() ? std::nullopt : std::optional(settings.bands.front().id);
  settings_.set(settings);
  refresh();
}

void EQEditor::refresh() {
  const EQSettings settings = settings_.get();
  while (chips_.size() < settings.bands.size()) {
    auto* chip = new EQBandChip(this);
    const size_t index = chips_.size();
    connect(chip, &EQBandChip::clicked, this, [this, index] {
      const EQSettings current = settings_.get();
      if (index < current.bands.size()) select(current.bands[index].id);
    });
    chipRow_->insertWidget(static_cast<int>(index), chip);
    chips_.push_back(chip);
  }
  for (size_t i = 0; i < chips_.size(); ++i) {
    chips_[i]->setVisible(i < settings.bands.size());
    if (i < settings.bands.size()) chips_[i]->showBand(i, settings.bands[i], settings.bands[i].id == selected_);
  }
  add_->setVisible(settings.bands.size() < static_cast<size_t>(EQSettings::maxBands));
  const std::optional<size_t> index = selectedIndex(settings);
  controls_->setVisible(index.has_value());
  if (index) controls_->refresh(bandColor(*index));
  output_->refresh();
  graph_->update();
}
