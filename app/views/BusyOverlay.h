// BusyOverlay: lies over the editor while a background job runs. For its first 0.25 s it is
// invisible (a short job never dims the window); then it fades in over 0.15 s: the window dims
// and a 340-point panel shows the job's title, its progress, the percentage done and Cancel,
// which Escape also triggers while the panel shows (an Escape before it shows cancels nothing).
// Cancel sets the cancel flag of the job still running, if any. When the job ends, a revealed
// overlay fades out over 0.15 s and then deletes itself. Both fades ease out, and are immediate
// while animations are off. GUI thread only.
#pragma once

#include <QPointer>
#include <QVariantAnimation>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <functional>

#include "editor/BusyState.h"

class QGraphicsOpacityEffect;

class QLabel;
class QProgressBar;
class QPushButton;
class QShortcut;

class BusyOverlay final : public QWidget {
  Q_OBJECT
public:
  // Delay before the overlay shows, in milliseconds; it then fades in over Motion::easeOutMs.
  static constexpr int revealDelayMs = 250;

  BusyOverlay(const BusyState& state, std::function<void()> cancel, QWidget* parent);

  // Follows the job's title and progress.
  void setState(const BusyState& state);
  // The job has ended: lets clicks through, fades out if revealed, and deletes the overlay.
  void dismiss();
  // The running fade, if any.
  QVariantAnimation* fade() const { return fade_; }
  // The opacity of the dimming and the panel, 0…1.
  double opacity() const;
  // Whether the dimming and the panel show (from 0.25 s on).
  bool isRevealed() const { return revealed_; }
  const QTimer& revealTimer() const { return revealTimer_; }

  // The whole percentage done, truncated: 0.999 gives "99%".
  static QString percentText(double fraction);

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  void reveal();
  // Fades the opacity to `target`, then calls `done`.
  void fadeTo(double target, std::function<void()> done);

  std::function<void()> cancel_;
  QWidget* panel_;
  QLabel* title_;
  QProgressBar* progress_;
  QLabel* percent_;
  QGraphicsOpacityEffect* opacity_;
  QShortcut* escape_;
  QPointer<QVariantAnimation> fade_;
  QTimer revealTimer_;
  bool revealed_ = false;
};
