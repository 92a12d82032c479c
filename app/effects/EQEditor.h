// EQEditor: the equaliser's panel: the response graph, one numbered chip per band with the
// add-band button (while fewer than 8 bands), the controls of the selected band and the
// "Output" slider. The selected band (by id) is the panel's own state: the first band when the
// panel is made, then whatever a chip, the graph, adding or removing picks. A band's colour
// follows its position in the list. GUI thread.
#pragma once

#include <array>
#include <optional>
#include <vector>

#include "dsp/effects/EQSettings.h"
#include "effects/EffectEditor.h"
#include "widgets/Theme.h"

class EQBandChip;
class EQBandControls;
class EQGraph;
class QHBoxLayout;
class QToolButton;

class EQEditor final : public EffectEditor {
  Q_OBJECT
public:
  // The band colours: red, orange, yellow, green, mint, cyan, blue, purple.
  static const std::array<ThemeColor, 8>& bandColors();
  // The colour of the band at list position `index` (entry index mod 8).
  static const ThemeColor& bandColor(size_t index);

  // `sampleRate` (Hz): the rate the graph's response is evaluated at.
  EQEditor(Binding<quar::EQSettings> settings, double sampleRate, QWidget* parent = nullptr);

  void refresh() override;
  void setSampleRate(double sampleRate);

  const std::optional<quar::Uuid>& selected() const { return selected_; }
  // Selects a band by id (none: no band).
  void select(std::optional<quar::Uuid> id);
  // Appends a bell at 1000 Hz, 0 dB, Q 1 and selects it.
  void addBand();
  // Removes the selected band, found by its id, and selects the new first band; nothing when
  // the selected band is not in the list.
  void removeSelectedBand();

private:
  // The position of the selected band; none when it is not in the list.
  std::optional<size_t> selectedIndex(const quar::EQSettings& settings) const;
  Binding<quar::EQBand> selectedBand();

  Binding<quar::EQSettings> settings_;
  std::optional<quar::Uuid> selected_;
  EQGraph* graph_;
  QHBoxLayout* chipRow_;
  std::vector<EQBandChip*> chips_;
  QToolButton* add_;
  EQBandControls* controls_;
  ParamSlider* output_;
};
