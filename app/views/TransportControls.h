// TransportControls: the toolbar's transport buttons, in order go to start, play/pause, stop,
// record and loop. Each button calls an editor-model (or recorder) operation; icons, tooltips
// and enabled states follow the model; play and pause cross-fade into each other. GUI thread only.
#pragma once

#include <QPointer>
#include <QString>
#include <QVariantAnimation>
#include <QWidget>

#include <optional>

class EditorModel;
class ObservedRefresh;
class QToolButton;

class TransportControls final : public QWidget {
  Q_OBJECT
public:
  explicit TransportControls(EditorModel* model, QWidget* parent = nullptr);

  // "Pause (Space)" while playing, else "Play (Space)".
  static QString playTooltip(bool playing);
  // By the recorder's state: recording, armed, or neither.
  static QString recordTooltip(bool armed, bool recording);

  // The play/pause symbol's cross-fade to the other symbol while it runs.
  QVariantAnimation* symbolReplacement() const { return symbolReplacement_; }

protected:
  void changeEvent(QEvent* event) override;

private:
  void refresh();
  void replacePlaySymbol(const QIcon& symbol);

  EditorModel* model_;
  QToolButton* playPause_;
  QToolButton* stop_;
  QToolButton* record_;
  QToolButton* loop_;
  QToolButton* goToStart_;
  ObservedRefresh* observer_;
  // The symbol shown: pause (true) or play.
  std::optional<bool> shownPlaying_;
  QPointer<QVariantAnimation> symbolReplacement_;
};
