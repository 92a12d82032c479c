// TransportControls: the toolbar's transport buttons, in order go to start, play/pause, stop,
// record and loop. Each button calls an editor-model (or recorder) operation; icons, tooltips
// and enabled states follow the model. GUI thread only.
#pragma once

#include <QString>
#include <QWidget>

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

protected:
  void changeEvent(QEvent* event) override;

private:
  void refresh();

  EditorModel* model_;
  QToolButton* playPause_;
  QToolButton* stop_;
  QToolButton* record_;
  QToolButton* loop_;
  QToolButton* goToStart_;
  ObservedRefresh* observer_;
};
