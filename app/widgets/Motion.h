// Motion: whether the editor animates its transitions, and their curves and durations.
// Animations are off when the environment variable QUARNEL_REDUCE_MOTION is set to anything but
// "" or "0", or when the style's widget animation duration is 0; an override set in the program
// (tests, a preference) wins over both. With animations off, `start` shows the end state at
// once. GUI thread only.
#pragma once

#include <QAbstractAnimation>
#include <QEasingCurve>

#include <optional>

class QVariantAnimation;

namespace Motion {

bool enabled();
// Forces animations on or off; none goes back to what the environment says.
void setOverride(std::optional<bool> on);

// A spring of response 0.2 s and damping fraction 0.85, settled within its response: side
// panels showing and hiding, an effect card expanding.
inline constexpr int springMs = 200;
QEasingCurve spring();
// The ease-out of the busy overlay's fade.
inline constexpr int easeOutMs = 150;
QEasingCurve easeOut();
// The cross-fades of a replaced toolbar symbol and of a changed numeric readout.
inline constexpr int symbolReplaceMs = 200;
inline constexpr int numericTextMs = 150;

// An animation of `durationMs` along `curve` from 0 to 1, owned by `parent`.
QVariantAnimation* progress(int durationMs, const QEasingCurve& curve, QObject* parent);
// Runs `animation`, or with animations off jumps it to its end state (emitting its last value
// and `finished`) without waiting.
void start(QAbstractAnimation* animation,
           QAbstractAnimation::DeletionPolicy policy = QAbstractAnimation::KeepWhenStopped);

} // namespace Motion
