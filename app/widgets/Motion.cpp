#include "widgets/Motion.h"

#include <QApplication>
#include <QStyle>
#include <QVariantAnimation>

#include <cmath>
#include <numbers>

namespace {

std::optional<bool> forced;

constexpr double springResponse = Motion::springMs / 1000.0;
constexpr double springDamping = 0.85;

// The displacement left of an underdamped spring released from 1 at rest, after `t` seconds.
double springDisplacement(double t) {
  const double omega = 2 * std::numbers::pi / springResponse;
  const double decay = springDamping * omega;
  const double damped = omega * std::sqrt(1 - springDamping * springDamping);
  return std::exp(-decay * t) * (std::cos(damped * t) + decay / damped * std::sin(damped * t));
}

// The spring's path over its response, scaled so that it ends exactly on 1.
qreal springProgress(qreal p) {
  if (p <= 0) return 0;
  if (p >= 1) return 1;
  static const double end = 1 - springDisplacement(springResponse);
  return (1 - springDisplacement(p * springResponse)) / end;
}

bool environmentReducesMotion() {
  const QByteArray reduce = qgetenv("QUARNEL_REDUCE_MOTION");
  return !reduce.isEmpty() && reduce != "0";
}

} // namespace

namespace Motion {

bool enabled() {
  if (forced) return *forced;
  if (environmentReducesMotion()) return false;
  return QApplication::style()->styleHint(QStyle::SH_Widget_Animation_Duration) > 0;
}

void setOverride(std::optional<bool> on) { forced = on; }

QEasingCurve spring() {
  QEasingCurve curve;
  curve.setCustomType(springProgress);
  return curve;
}

QEasingCurve easeOut() {
  // The standard ease-out: control points (0, 0) and (0.58, 1).
  QEasingCurve curve(QEasingCurve::BezierSpline);
  curve.addCubicBezierSegment(QPointF(0, 0), QPointF(0.58, 1), QPointF(1, 1));
  return curve;
}

QVariantAnimation* progress(int durationMs, const QEasingCurve& curve, QObject* parent) {
  auto* animation = new QVariantAnimation(parent);
  animation->setDuration(durationMs);
  animation->setEasingCurve(curve);
  animation->setStartValue(0.0);
  animation->setEndValue(1.0);
  return animation;
}

void start(QAbstractAnimation* animation, QAbstractAnimation::DeletionPolicy policy) {
  animation->start(policy);
  // Off, it runs through the state change to its end at once, so that listeners of `finished` see it.
  if (!enabled())
    animation->setCurrentTime(animation->direction() == QAbstractAnimation::Forward ? animation->totalDuration() : 0);
}

} // namespace Motion
