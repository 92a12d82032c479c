// EQBandChip: the numbered round button of one equaliser band: the band's number in white on a
// disc of its colour (faint while the band is disabled), ringed while it is selected; its help
// text names the type and frequency ("Bell 1000 Hz"). GUI thread.
#pragma once

#include <QAbstractButton>

#include "dsp/effects/EQSettings.h"
#include "widgets/Theme.h"

class EQBandChip final : public QAbstractButton {
  Q_OBJECT
public:
  static constexpr int diameter = 22;

  explicit EQBandChip(QWidget* parent = nullptr);

  // Shows the band at list position `index` (numbered index + 1).
  void showBand(size_t index, const quar::EQBand& band, bool selected);
  // The colour of the disc, at full opacity, in the current palette's appearance.
  QColor color() const;
  bool isBandEnabled() const { return enabled_; }
  bool isSelected() const { return selected_; }

  QSize sizeHint() const override { return {diameter, diameter}; }

  // "Bell 1000 Hz".
  static QString help(const quar::EQBand& band);

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  ThemeColor color_;
  bool enabled_ = true;
  bool selected_ = false;
};
