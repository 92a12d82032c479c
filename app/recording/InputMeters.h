// InputMeters: the recording bar's input level meters: one row per recorded channel with a
// level bar (green to red across the full scale, filled from -60 dB to 0 dB) and a clip dot
// that resets the clip indicators when clicked; one grey placeholder bar without channels.
// Holds only what it was last given to show. GUI thread.
#pragma once

#include <QRectF>
#include <QSizeF>
#include <QWidget>

#include <vector>

class InputMeters final : public QWidget {
  Q_OBJECT
public:
  static constexpr double barHeight = 7;
  static constexpr double rowSpacing = 3;
  static constexpr double dotSize = 8;
  static constexpr double dotSpacing = 4;

  explicit InputMeters(QWidget* parent = nullptr);

  void setLevels(std::vector<double> peaksDB, std::vector<bool> clipped);
  const std::vector<double>& peaksDB() const { return peaksDB_; }
  const std::vector<bool>& clipped() const { return clipped_; }

  // The filled part of a bar for a level in dB: 0 at or below -60 dB, 1 at or above 0 dB.
  static double fraction(double levelDB);
  // Row `row` of `rows` (at least one row, the placeholder) in a widget of `size`: the level bar
  // and the clip dot, centred vertically as a group.
  static QRectF barRect(int row, int rows, QSizeF size);
  static QRectF dotRect(int row, int rows, QSizeF size);

  QSize sizeHint() const override;

Q_SIGNALS:
  // A clip dot was clicked.
  void resetClips();

protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

private:
  // The row whose clip dot is at `point`; -1 for none.
  int dotAt(QPointF point) const;

  std::vector<double> peaksDB_;
  std::vector<bool> clipped_;
};
