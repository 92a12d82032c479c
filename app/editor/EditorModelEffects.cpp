// EditorModel: applying the effects rack and time-stretch with pitch-shift, each one background job.
#include "editor/EditorModel.h"

#include "au/TimePitch.h"
#include "base/Numbers.h"
#include "core/EffectProcessing.h"
#include "effects/EffectsRack.h"
#include "platform/Platform.h"

using quar::AudioContent;
using quar::FrameRange;

// Renders the envelopes and then the rack's enabled effects into the selection (or the whole
// content) of the target channels with the rack's tail mode, clears the envelopes and switches
// the rack's live preview off. "Apply " + the rack's chain name. Beeps unless
// canApplyEffects(), or when the document changed while the chain was being built; a chain
// that cannot be built goes to the error presenter.
void EditorModel::applyEffects() {
  Platform::assertGuiThread();
  if (!canApplyEffects()) {
    Platform::beep();
    return;
  }
  rack_->makeOfflineChain(
      [owner = QPointer<EditorModel>(this), stamp = contentStamp(), envelopes = envelopes_,
       name = QStringLiteral("Apply ") + rack_->chainName(), range = processingRange(), channels = targetChannels(),
       tail = rack_->tailMode()](std::shared_ptr<ProcessorHandoff> handoff) {
        if (owner) owner->applyEffectsChain(std::move(handoff), stamp, envelopes, name, range, channels, tail);
      },
      [owner = QPointer<EditorModel>(this)](std::exception_ptr error) {
        if (owner) owner->presentError(error);
      });
}

// Whether applyEffects() runs now: the document may change, a slot is enabled and no plug-in
// is still loading (a loading slot would render with a fresh instance's defaults).
bool EditorModel::canApplyEffects() const {
  return canChangeDocument() && !rack_->activeSlots().empty() && rack_->loadingSlots().empty();
}

// Starts the effects job once the rack's chain is built, unless the document changed meanwhile.
void EditorModel::applyEffectsChain(std::shared_ptr<ProcessorHandoff> handoff, const JobRunner::ContentStamp& stamp,
                                    const quar::EnvelopeSet& envelopes, const QString& name, FrameRange range,
                                    const std::optional<std::set<int>>& channels, quar::EffectTailMode tail) {
  if (contentStamp() != stamp || envelopes_ != envelopes)  // the captured range may no longer fit
    Platform::beep();
  else
    process(
        name,
        [handoff, envelopes, range, channels, tail](const AudioContent& content, ProgressToken& token) {
          std::vector<quar::EffectProcessor*> chain;
          for (const auto& processor : handoff->chain) chain.push_back(processor.get());
          return quar::applyingEffects(quar::applyingEnvelopes(content, envelopes, token.cancellationCheck()), chain,
                                       range, channels, tail, token.callback());
        },
        std::nullopt, {}, [](const AudioContent&) { return quar::EnvelopeSet(); });
  rack_->setPreviewEnabled(false);
}

// Stretches the selection (or the whole content) to length / rate frames, rounded, and shifts
// its pitch by pitchCents; the selection covers the new length, markers inside move in
// proportion and those after it by the change in length. Nothing for rate <= 0 or for rate 1
// with 0 cents. "Time & Pitch (125%, +0 ct)".
void EditorModel::timePitch(double rate, double pitchCents) {
  Platform::assertGuiThread();
  if (rate <= 0 || (rate == 1 && pitchCents == 0)) return;
  const QString name = QString::asprintf("Time & Pitch (%.0f%%, %+.0f ct)", rate * 100, pitchCents);
  const FrameRange range = processingRange();
  JobWork work = [range, rate, pitchCents](const AudioContent& content, ProgressToken& token) {
    return quar::timePitched(content, range, rate, pitchCents, token.callback());
  };
  if (!quar::TimePitch::rateRange.contains(rate) || !quar::TimePitch::pitchRange.contains(pitchCents)) {
    process(name, std::move(work));  // the engine refuses these settings with its own message
    return;
  }
  const int64_t lower = range.lowerBound, upper = range.upperBound;
  const int64_t newLength = quar::TimePitch::outputFrameCount(range.count(), rate);
  const int64_t delta = newLength - range.count();

  std::vector<Marker> markers = markers_;
  for (Marker& marker : markers) {
    if (marker.frame > lower && marker.frame < upper)
      marker.frame = lower + quar::checkedInt(static_cast<double>(marker.frame - lower) / rate);
    else if (marker.frame >= upper)
      marker.frame += delta;
  }
  std::optional<FrameRange> selection;
  if (selection_) selection = FrameRange(lower, lower + newLength);

  process(
      name, std::move(work), selection, [markers](const AudioContent&) { return markers; },
      [envelopes = envelopes_.adjusted(range, newLength)](const AudioContent&) { return envelopes; });
}
