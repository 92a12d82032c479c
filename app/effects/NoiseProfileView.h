// NoiseProfileView: a learnt noise profile drawn as an orange curve of its bins' power: a
// logarithmic frequency axis from 20 Hz (left) to the Nyquist frequency (right) and a relative
// level axis from the loudest bin (top) to 60 dB below it (bottom), captioned "Noise profile".
// The geometry is in curve() (points, origin at the top left). GUI thread.
#pragma once

#include <QPointF>
#include <QSizeF>
#include <QWidget>

#include <vector>

#include "dsp/effects/NoiseProfile.h"

class NoiseProfileView final : public QWidget {
  Q_OBJECT
public:
  // Levels this far below the loudest bin lie on the bottom edge (dB).
  static constexpr double rangeDB = 60;

  explicit NoiseProfileView(QWidget* parent = nullptr);

  void setProfile(const quar::NoiseProfile& profile);
  const quar::NoiseProfile& profile() const { return profile_; }

  // One point per bin at or above 20 Hz (bin 0 never), in bin order; none for fewer than 3
  // bins or a Nyquist frequency that leaves no span above 20 Hz.
  static std::vector<QPointF> curve(const quar::NoiseProfile& profile, QSizeF size);

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  quar::NoiseProfile profile_;
};
