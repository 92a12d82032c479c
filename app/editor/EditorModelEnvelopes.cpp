// EditorModel: gain envelope and channel trim operations, and rendering the envelopes into the
// audio. Live drags set `envelopes` directly, without undo; the end-of-drag operations turn a
// drag into one undo step, the others are one step each. All are refused with a beep unless
// canChangeDocument(); a refused drag goes back to where it began.
#include "editor/EditorModel.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "platform/Platform.h"

using quar::AudioContent;
using quar::EnvelopeSet;
using quar::GainEnvelope;

namespace {

constexpr double trimThresholdDB = 0.000001;

} // namespace

// The envelope that the lane edits (master or channel envelopeTarget).
GainEnvelope EditorModel::targetEnvelope() const { return envelopes().envelope(envelopeTarget()); }

// The envelope set with the target envelope replaced; channel envelopes are kept one per
// channel, so that undo steps never drop them. What a live drag assigns to `envelopes`.
EnvelopeSet EditorModel::replacingTargetEnvelope(GainEnvelope envelope) const {
  EnvelopeSet set = envelopes_;
  if (envelopeTarget_ && set.channels.size() < static_cast<size_t>(content_.channelCount()))
    set.channels.resize(static_cast<size_t>(content_.channelCount()));
  set.setEnvelope(envelopeTarget_, std::move(envelope));
  return set;
}

// One undo step named `name` back to the target envelope as it was when the drag began;
// nothing when the drag left it unchanged.
void EditorModel::endEnvelopeEdit(const GainEnvelope& from, const QString& name) {
  Platform::assertGuiThread();
  const GainEnvelope dragged = envelopes_.envelope(envelopeTarget_);
  if (dragged == from) return;
  if (refusesChange()) {
    setEnvelopes(replacingTargetEnvelope(from));  // no step was recorded for the live drag
    return;
  }
  EditState before = snapshot();
  before.envelope = replacingTargetEnvelope(from);
  setEnvelopes(replacingTargetEnvelope(dragged));  // the same gains, one channel envelope per channel
  registerUndo(std::move(before), name);
}

// "Delete Gain Point" from the target envelope; recorded even when no point has the id.
void EditorModel::removeEnvelopePoint(const quar::Uuid& id) {
  Platform::assertGuiThread();
  if (refusesChange()) return;
  edit(QStringLiteral("Delete Gain Point"), [&](EditState& next) {
    GainEnvelope envelope = envelopes_.envelope(envelopeTarget_);
    envelope.remove(id);
    next.envelope = replacingTargetEnvelope(std::move(envelope));
  });
}

// "Clear Gain Envelope": empties every envelope and trim; nothing when already empty.
void EditorModel::clearEnvelope() {
  Platform::assertGuiThread();
  if (refusesChange()) return;
  if (envelopes_.isEmpty()) return;
  edit(QStringLiteral("Clear Gain Envelope"), [](EditState& next) { next.envelope = EnvelopeSet(); });
}

// "Channel Levels": one undo step back to the set as it was when the level drag began;
// nothing when unchanged.
void EditorModel::endChannelTrimEdit(const EnvelopeSet& from) {
  Platform::assertGuiThread();
  if (envelopes_ == from) return;
  if (refusesChange()) {
    setEnvelopes(from);  // no step was recorded for the live drag
    return;
  }
  EditState before = snapshot();
  before.envelope = from;
  registerUndo(std::move(before), QStringLiteral("Channel Levels"));
}

// "Balance Channels": trims every channel towards the mean of the analysis' channelLoudness
// (held within +-24 dB). Beeps unless every channel of a document with 2 or more has a finite
// figure.
void EditorModel::balanceChannels() {
  Platform::assertGuiThread();
  if (refusesChange()) return;
  const int count = content_.channelCount();
  std::vector<double> figures;
  for (double lufs : analysis_.channelLoudness())
    if (std::isfinite(lufs)) figures.push_back(lufs);
  if (count < 2 || figures.size() != static_cast<size_t>(count)) {
    Platform::beep();
    return;
  }
  const double mean = std::accumulate(figures.begin(), figures.end(), 0.0) / static_cast<double>(count);
  edit(QStringLiteral("Balance Channels"), [&](EditState& next) {
    for (int c = 0; c < count; ++c)
      next.envelope.setTrim(c, envelopes_.trim(c) - (figures[static_cast<size_t>(c)] - mean), count);
  });
}

// "Reset Channel Levels": every trim back to 0 dB; nothing when all are already 0.
void EditorModel::resetChannelTrims() {
  Platform::assertGuiThread();
  if (refusesChange()) return;
  const std::vector<double>& trims = envelopes_.trimDB;
  if (std::none_of(trims.begin(), trims.end(), [](double db) { return std::abs(db) > trimThresholdDB; })) return;
  edit(QStringLiteral("Reset Channel Levels"), [](EditState& next) { next.envelope.trimDB.clear(); });
}

// "Apply Gain Envelope": renders the envelopes into the audio as a job and clears them; a flat
// set is only cleared.
void EditorModel::applyEnvelope() {
  Platform::assertGuiThread();
  if (refusesChange()) return;
  if (envelopes_.isFlat()) {
    clearEnvelope();
    return;
  }
  process(
      QStringLiteral("Apply Gain Envelope"),
      [envelopes = envelopes_](const AudioContent& content, ProgressToken& token) {
        return quar::applyingEnvelopes(content, envelopes, token.callback());
      },
      std::nullopt, {}, [](const AudioContent&) { return EnvelopeSet(); });
}
