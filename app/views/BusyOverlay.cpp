#include "views/BusyOverlay.h"

#include <QEasingCurve>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QVariantAnimation>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

#include "base/Numbers.h"
#include "widgets/Motion.h"
#include "widgets/RoundedPanel.h"
#include "widgets/ViewStyle.h"

namespace {

constexpr int panelWidth = 340;
constexpr int panelInset = 18;
constexpr qreal panelRadius = 14;
constexpr qreal shadowRadius = 20;
constexpr qreal shadowOffset = 6;
constexpr qreal shadowAlpha = 0.33;
constexpr qreal dimAlpha = 0.12;

} // namespace

BusyOverlay::BusyOverlay(const BusyState& state, std::function<void()> cancel, QWidget* parent)
    : QWidget(parent), cancel_(std::move(cancel)), opacity_(new QGraphicsOpacityEffect(this)) {
  setObjectName(QStringLiteral("busyOverlay"));
  // Until it shows, clicks go through to the editor.
  setAttribute(Qt::WA_TransparentForMouseEvents);
  opacity_->setOpacity(0);
  setGraphicsEffect(opacity_);

  auto* centring = new QVBoxLayout(this);
  panel_ = new RoundedPanel(
      panelRadius, [](const QPalette& palette) { return palette.color(QPalette::Window); }, this);
  panel_->setObjectName(QStringLiteral("busyPanel"));
  panel_->setFixedWidth(panelWidth);
  centring->addWidget(panel_, 0, Qt::AlignCenter);

  auto* layout = new QVBoxLayout(panel_);
  layout->setSpacing(10);
  layout->setContentsMargins(panelInset, panelInset, panelInset, panelInset);
  title_ = new QLabel(panel_);
  title_->setObjectName(QStringLiteral("busyTitle"));
  title_->setFont(ViewStyle::font(ViewStyle::TextStyle::headline));
  title_->setWordWrap(true);
  title_->setMaximumHeight(title_->fontMetrics().lineSpacing() * 2);
  progress_ = new QProgressBar(panel_);
  progress_->setObjectName(QStringLiteral("busyProgress"));
  progress_->setRange(0, 1000);
  progress_->setTextVisible(false);
  progress_->setFixedHeight(6);
  auto* bottom = new QHBoxLayout;
  percent_ = new QLabel(panel_);
  percent_->setObjectName(QStringLiteral("busyPercent"));
  ViewStyle::setForeground(percent_, ViewStyle::secondary(palette()));
  auto* cancelButton = new QPushButton(QStringLiteral("Cancel"), panel_);
  cancelButton->setObjectName(QStringLiteral("busyCancel"));
  connect(cancelButton, &QPushButton::clicked, this, [this] { cancel_(); });
  // Escape cancels only once the panel shows: before that it is meant for the editor.
  escape_ = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  escape_->setEnabled(false);
  connect(escape_, &QShortcut::activated, cancelButton, &QPushButton::click);
  bottom->addWidget(percent_);
  bottom->addStretch();
  bottom->addWidget(cancelButton);
  layout->addWidget(title_);
  layout->addWidget(progress_);
  layout->addLayout(bottom);

  setState(state);
  revealTimer_.setSingleShot(true);
  revealTimer_.setInterval(revealDelayMs);
  connect(&revealTimer_, &QTimer::timeout, this, &BusyOverlay::reveal);
  revealTimer_.start();
}

void BusyOverlay::setState(const BusyState& state) {
  title_->setText(state.title);
  progress_->setValue(static_cast<int>(quar::clampedInt(state.fraction * 1000, 0, 1000)));
  percent_->setText(percentText(state.fraction));
}

QString BusyOverlay::percentText(double fraction) {
  return QString::number(quar::clampedInt(fraction * 100, 0, 100)) + QLatin1Char('%');
}

double BusyOverlay::opacity() const { return opacity_->opacity(); }

void BusyOverlay::reveal() {
  revealed_ = true;
  setAttribute(Qt::WA_TransparentForMouseEvents, false);
  escape_->setEnabled(true);
  fadeTo(1, [] {});
}

void BusyOverlay::dismiss() {
  revealTimer_.stop();
  setAttribute(Qt::WA_TransparentForMouseEvents);
  if (!revealed_) {
    delete this;
    return;
  }
  // Escape belongs to the editor again while the panel fades.
  escape_->setEnabled(false);
  fadeTo(0, [this] { deleteLater(); });
}

void BusyOverlay::fadeTo(double target, std::function<void()> done) {
  delete fade_.data();
  fade_ = Motion::progress(Motion::easeOutMs, Motion::easeOut(), this);
  fade_->setStartValue(opacity_->opacity());
  fade_->setEndValue(target);
  connect(fade_, &QVariantAnimation::valueChanged, opacity_,
          [effect = opacity_](const QVariant& value) { effect->setOpacity(value.toDouble()); });
  connect(fade_, &QVariantAnimation::finished, this, [this, target, done = std::move(done)] {
    opacity_->setOpacity(target);
    done();
  });
  Motion::start(fade_, QAbstractAnimation::DeleteWhenStopped);
}

void BusyOverlay::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), QColor(0, 0, 0, qRound(255 * dimAlpha)));
  // A soft shadow under the panel: rings of falling strength out to the blur radius.
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  const QRectF panel = QRectF(panel_->geometry()).translated(0, shadowOffset);
  constexpr int rings = 10;
  for (int i = rings; i >= 1; --i) {
    const qreal spread = shadowRadius * i / rings;
    painter.setBrush(QColor(0, 0, 0, qRound(255 * shadowAlpha * 2 / rings * (1 - qreal(i - 1) / rings))));
    painter.drawRoundedRect(panel.adjusted(-spread, -spread, spread, spread), panelRadius + spread, panelRadius + spread);
  }
}
