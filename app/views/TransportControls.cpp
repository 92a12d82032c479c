#include "views/TransportControls.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QPainter>
#include <QSignalBlocker>
#include <QToolButton>

#include "editor/EditorModel.h"
#include "platform/Icons.h"
#include "platform/ObservedRefresh.h"
#include "recording/Recorder.h"
#include "widgets/Motion.h"
#include "widgets/ViewStyle.h"

using ViewStyle::iconButton;

namespace {

// `from` fading out over `to` fading in, `mix` of the way (0…1), at `size` points.
QIcon blended(const QIcon& from, const QIcon& to, double mix, QSize size, qreal ratio) {
  QPixmap picture(size * ratio);
  picture.setDevicePixelRatio(ratio);
  picture.fill(Qt::transparent);
  QPainter painter(&picture);
  painter.setOpacity(1 - mix);
  from.paint(&painter, QRect(QPoint(), size));
  painter.setOpacity(mix);
  to.paint(&painter, QRect(QPoint(), size));
  painter.end();
  return QIcon(picture);
}

} // namespace

TransportControls::TransportControls(EditorModel* model, QWidget* parent)
    : QWidget(parent), model_(model), observer_(new ObservedRefresh([this] { refresh(); }, this)) {
  setObjectName(QStringLiteral("transportControls"));
  auto* layout = new QHBoxLayout(this);
  layout->setSpacing(2);
  layout->setContentsMargins(4, 0, 4, 0);

  goToStart_ = iconButton(QStringLiteral("backward.end.fill"), QStringLiteral("Go to start (\u21A9)"), 22, 18, this);
  goToStart_->setObjectName(QStringLiteral("goToStartButton"));
  connect(goToStart_, &QToolButton::clicked, this, [this] { model_->goToStart(); });

  playPause_ = iconButton(QStringLiteral("play.fill"), playTooltip(false), 22, 18, this);
  playPause_->setObjectName(QStringLiteral("playPauseButton"));
  connect(playPause_, &QToolButton::clicked, this, [this] { model_->togglePlayback(); });

  stop_ = iconButton(QStringLiteral("stop.fill"), QStringLiteral("Stop (Ctrl+.)"), 22, 18, this);
  stop_->setObjectName(QStringLiteral("stopButton"));
  connect(stop_, &QToolButton::clicked, this, [this] { model_->stop(false); });

  record_ = iconButton(QStringLiteral("record.circle"), recordTooltip(false, false), 22, 18, this);
  record_->setObjectName(QStringLiteral("recordButton"));
  connect(record_, &QToolButton::clicked, this, [this] { model_->recorder().toggle(); });

  loop_ = iconButton(QStringLiteral("repeat"), QStringLiteral("Loop selection (Ctrl+L)"), 22, 18, this);
  loop_->setObjectName(QStringLiteral("loopButton"));
  loop_->setCheckable(true);
  connect(loop_, &QToolButton::toggled, this, [this](bool on) { model_->transport().setIsLooping(on); });

  for (QToolButton* button : {goToStart_, playPause_, stop_, record_, loop_}) layout->addWidget(button);
  observer_->watch(&model_->transport());
  observer_->watch(&model_->recorder());
  observer_->run();
}

QString TransportControls::playTooltip(bool playing) {
  return playing ? QStringLiteral("Pause (Space)") : QStringLiteral("Play (Space)");
}

QString TransportControls::recordTooltip(bool armed, bool recording) {
  if (recording) return QStringLiteral("Stop recording (Ctrl+R)");
  return armed ? QStringLiteral("Record (Ctrl+R)") : QStringLiteral("Show recording controls (Ctrl+R)");
}

void TransportControls::replacePlaySymbol(const QIcon& symbol) {
  delete symbolReplacement_.data();
  const QIcon from = playPause_->icon();
  symbolReplacement_ = Motion::progress(Motion::symbolReplaceMs, QEasingCurve::InOutQuad, this);
  connect(symbolReplacement_, &QVariantAnimation::valueChanged, playPause_, [this, from, symbol](const QVariant& value) {
    playPause_->setIcon(blended(from, symbol, value.toDouble(), playPause_->iconSize(), devicePixelRatioF()));
  });
  connect(symbolReplacement_, &QVariantAnimation::finished, playPause_, [this, symbol] { playPause_->setIcon(symbol); });
  Motion::start(symbolReplacement_, QAbstractAnimation::DeleteWhenStopped);
}

void TransportControls::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::PaletteChange) observer_->run();
}

void TransportControls::refresh() {
  const bool playing = model_->transport().isPlaying();
  const QIcon symbol = Icons::tinted(playing ? QStringLiteral("pause.fill") : QStringLiteral("play.fill"));
  if (shownPlaying_ && *shownPlaying_ != playing)
    replacePlaySymbol(symbol);
  else if (!symbolReplacement_)
    playPause_->setIcon(symbol);
  shownPlaying_ = playing;
  playPause_->setToolTip(playTooltip(playing));
  stop_->setEnabled(playing);

  const Recorder& recorder = model_->recorder();
  record_->setIcon(Icons::tinted(recorder.isRecording() ? QStringLiteral("stop.circle.fill") : QStringLiteral("record.circle"),
                                  ViewStyle::systemRed.resolved(palette())));
  record_->setToolTip(recordTooltip(recorder.isArmed(), recorder.isRecording()));

  const QSignalBlocker blocker(loop_);
  loop_->setChecked(model_->transport().isLooping());
}
