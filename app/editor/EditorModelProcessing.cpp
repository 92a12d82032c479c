// EditorModel: processing edits (gain, normalisation, fades, silence, reverse, polarity, DC
// offset, channel conversion, sample-rate conversion). Each is one background job through
// process() (refused with a beep unless canChangeDocument()) on a copy of the content, committed
// as one undo step named by its title. Unless said otherwise they work on the selection, or the
// whole content without one, in the target channels, and keep the length, selection, markers and
// envelopes.
#include "editor/EditorModel.h"

#include <cmath>
#include <limits>

#include "base/Decibels.h"
#include "base/Numbers.h"
#include "core/AudioContentBuilder.h"
#include "core/Processing.h"
#include "dsp/Resampler.h"
#include "platform/Platform.h"

using quar::AudioContent;
using quar::FrameRange;

namespace {

// Frame `frame` at `ratio` times the sample rate, truncated toward zero.
int64_t scaledFrame(int64_t frame, double ratio) {
  return quar::clampedInt(static_cast<double>(frame) * ratio, std::numeric_limits<int64_t>::min(),
                          std::numeric_limits<int64_t>::max());
}

} // namespace

// The selection, or the whole content without one.
FrameRange EditorModel::processingRange() const { return selection_.value_or(FrameRange(0, content_.frameCount())); }

// Whether 10^(db/20) is a finite sample factor (it is applied as a 32-bit float).
bool EditorModel::isFiniteGain(double db) { return std::isfinite(static_cast<float>(quar::Decibels::toLinear(db))); }

// The content resampled to `rate` Hz, reporting to the token (a job's work).
AudioContent EditorModel::resampled(const AudioContent& content, double rate, ProgressToken& token) {
  quar::AudioContentBuilder builder(content.channelCount(), rate);
  quar::dsp::Resampler::resample(content, std::nullopt, rate, token.callback(),
                                 [&builder](quar::ChannelViews block) { builder.append(block); });
  return builder.build();
}

// "Gain +3.0 dB". Refused with a beep when 10^(db/20) is not a finite sample factor.
void EditorModel::applyGain(double db) {
  Platform::assertGuiThread();
  if (!isFiniteGain(db)) {
    Platform::beep();
    return;
  }
  process(QString::asprintf("Gain %+.1f dB", db),
          [db, range = processingRange(), channels = targetChannels()](const AudioContent& content,
                                                                        ProgressToken& token) {
            return quar::applyingGain(content, db, range, channels, token.callback());
          });
}

// Scales the peak to toDB (dBFS): one gain for all target channels, or each on its own.
// "Normalize". Refused with a beep when 10^(toDB/20) is not a finite sample factor.
void EditorModel::normalizePeak(double toDB, bool independent) {
  Platform::assertGuiThread();
  if (!isFiniteGain(toDB)) {
    Platform::beep();
    return;
  }
  process(QStringLiteral("Normalize"),
          [toDB, independent, range = processingRange(), channels = targetChannels()](const AudioContent& content,
                                                                                      ProgressToken& token) {
            return quar::normalizingPeak(content, toDB, range, channels, independent, token.callback());
          });
}

// "Fade In" / "Fade Out" over the selection; nothing without one.
void EditorModel::fade(quar::FadeDirection direction, quar::FadeShape shape) {
  Platform::assertGuiThread();
  if (!selection_) return;
  process(direction == quar::FadeDirection::fadeIn ? QStringLiteral("Fade In") : QStringLiteral("Fade Out"),
          [direction, shape, range = *selection_, channels = targetChannels()](const AudioContent& content,
                                                                               ProgressToken& token) {
            return quar::applyingFade(content, direction, shape, range, channels, token.callback());
          });
}

// "Silence": zeroes the selection; nothing without one.
void EditorModel::silence() {
  Platform::assertGuiThread();
  if (!selection_) return;
  process(QStringLiteral("Silence"),
          [range = *selection_, channels = targetChannels()](const AudioContent& content, ProgressToken& token) {
            return quar::silenced(content, range, channels, token.callback());
          });
}

void EditorModel::reverse() {
  Platform::assertGuiThread();
  process(QStringLiteral("Reverse"),
          [range = processingRange(), channels = targetChannels()](const AudioContent& content, ProgressToken& token) {
            return quar::reversed(content, range, channels, token.callback());
          });
}

void EditorModel::invert() {
  Platform::assertGuiThread();
  process(QStringLiteral("Invert Polarity"),
          [range = processingRange(), channels = targetChannels()](const AudioContent& content, ProgressToken& token) {
            return quar::inverted(content, range, channels, token.callback());
          });
}

void EditorModel::removeDC() {
  Platform::assertGuiThread();
  process(QStringLiteral("Remove DC Offset"),
          [range = processingRange(), channels = targetChannels()](const AudioContent& content, ProgressToken& token) {
            return quar::removingDCOffset(content, range, channels, token.callback());
          });
}

// Remixes the whole content to `count` channels, all active afterwards; nothing when the count
// is already the content's or below 1. "Convert to Mono" for 1, else "Convert to Stereo".
void EditorModel::convertChannels(int count) {
  Platform::assertGuiThread();
  if (count < 1 || count == content_.channelCount()) return;
  process(count == 1 ? QStringLiteral("Convert to Mono") : QStringLiteral("Convert to Stereo"),
          [count](const AudioContent& content, ProgressToken& token) {
            return quar::remixed(content, count, token.callback());
          });
}

// Resamples the whole content to `rate` Hz, scaling the selection, markers and envelopes by the
// ratio of the rates (frames truncated); nothing unless rate > 0 and differs from the current
// one. "Change Sample Rate".
void EditorModel::changeSampleRate(double rate) {
  Platform::assertGuiThread();
  if (!(rate > 0) || rate == content_.sampleRate()) return;
  const double ratio = rate / content_.sampleRate();
  std::optional<FrameRange> selection;
  if (selection_)
    selection = FrameRange(scaledFrame(selection_->lowerBound, ratio), scaledFrame(selection_->upperBound, ratio));
  std::vector<Marker> markers = markers_;
  for (Marker& marker : markers) marker.frame = scaledFrame(marker.frame, ratio);
  process(
      QStringLiteral("Change Sample Rate"),
      [rate](const AudioContent& content, ProgressToken& token) { return resampled(content, rate, token); },
      selection, [markers](const AudioContent&) { return markers; },
      [envelopes = envelopes_.scaled(ratio)](const AudioContent&) { return envelopes; });
}
