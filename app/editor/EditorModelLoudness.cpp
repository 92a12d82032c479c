// EditorModel: applying the loudness plan as one background job.
#include "editor/EditorModel.h"

#include "core/LoudnessProcessing.h"
#include "platform/Platform.h"

using quar::AudioContent;
using quar::FrameRange;

void EditorModel::applyLoudness() {
  Platform::assertGuiThread();
  if (refusesChange()) return;
  const std::optional<quar::LoudnessNormalization::Plan> plan = loudnessPlan();
  if (!plan) return;
  if (!isFiniteGain(plan->gainDB)) {
    Platform::beep();
    return;
  }
  const FrameRange range = analysisScope_ == AnalysisScope::selection && selection_
                               ? *selection_
                               : FrameRange(0, content_.frameCount());
  const bool toTarget = adjustMode_ == LoudnessAdjustMode::target;
  const std::optional<double> target = toTarget ? std::optional<double>(targetLUFS_) : std::nullopt;
  const QString name = toTarget ? QString::asprintf("Match Loudness %.1f LUFS", targetLUFS_)
                                : QString::asprintf("Loudness Gain %+.1f dB", plan->gainDB);
  setPreviewLoudness(false);
  process(
      name,
      [envelopes = envelopes_, range, plan = *plan, target, ceiling = ceilingDBTP_,
       limit = limitTruePeaks_](const AudioContent& content, ProgressToken& token) {
        return quar::adjustingLoudness(quar::applyingEnvelopes(content, envelopes, token.cancellationCheck()), range,
                                       plan, target, ceiling, limit, 0.1, 5, token.callback());
      },
      std::nullopt, {}, [](const AudioContent&) { return quar::EnvelopeSet(); });
}
