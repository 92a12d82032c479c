// SlidingPanel: holds one widget that enters and leaves by sliding across an edge. The content
// stays pinned to one edge of the panel while the panel grows or shrinks along that edge's
// axis, so that the rest of it is clipped: pinned to the left edge in a row, the content moves
// in from the right; pinned to the bottom in a column, it comes down from the top. It may also
// fade in and out. Shown, the panel takes exactly the size hints, policy and place its content
// would take without it; hidden, the panel is hidden. Transitions follow Motion's spring and
// show the end state at once while animations are off or the window is not on screen.
// GUI thread only.
#pragma once

#include <QPointer>
#include <QVariantAnimation>
#include <QWidget>

class SlidingPanel final : public QWidget {
  Q_OBJECT
public:
  SlidingPanel(Qt::Edge pinnedEdge, bool fades, QWidget* parent);

  // Takes `content` as the panel's child, dropping (later) the one it had.
  void setContent(QWidget* content);
  QWidget* content() const { return content_; }

  // Starts showing or hiding; `animated` false jumps to the end state.
  void setShown(bool shown, bool animated = true);
  // Where the panel is heading.
  bool isShown() const { return shown_; }
  // How far shown, 0…1.
  double progress() const { return progress_; }
  // The transition while one runs, else null.
  QVariantAnimation* transition() const { return transition_; }

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;
  bool hasHeightForWidth() const override;
  int heightForWidth(int width) const override;

Q_SIGNALS:
  // A hide has come to its end.
  void hidden();

protected:
  bool event(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

private:
  bool horizontal() const { return pinned_ == Qt::LeftEdge || pinned_ == Qt::RightEdge; }
  // The size the content asks for, within its limits.
  QSize fullSize() const;
  QSize scaled(QSize size) const;
  void setProgress(double progress);
  void limitSize();
  void placeContent();

  Qt::Edge pinned_;
  bool fades_;
  QPointer<QWidget> content_;
  QPointer<QVariantAnimation> transition_;
  bool shown_ = false;
  double progress_ = 0;
};
