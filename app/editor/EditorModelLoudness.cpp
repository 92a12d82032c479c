// EditorModel: applying the loudness plan as one background job.
#include "editor/EditorModel.h"

#include "core/LoudnessProcessing.h"
#include "platform/Platform.h"

using quar::AudioContent;
using quar::FrameRange;

// Renders the envelopes and applies loudnessPlan() to the analysed range (the selection when
// the scope is the selection and one exists, else the whole content), limiting true peaks to
// the ceiling when asked; clears the envelopes and switches the loudness preview off. Nothing
// without a plan; refused with a beep when the plan's gain is not a finite sample factor.
// "Match Loudness -14.0 LUFS" or "Loudness Gain +3.0 dB".
void EditorModel::applyLoudness() {
  Platform::assertGuiThread();
  if (refusesChange()) return;
  const std::optional<quar::LoudnessNormalization::Plan> plan = loudnessPlan();
  if (!plan) return;
  if (!isFiniteGain(plan->gainDB)) {
    Platform::beep();
    return;
  }
  const LoudnessSettings& settings = loudnessSettings_;
  const FrameRange range = settings.analysisScope() == AnalysisScope::selection && selection_
                               ? *selection_
                               : FrameRange(0, content_.frameCount());
  const bool toTarget = settings.adjustMode() == LoudnessAdjustMode::target;
  const std::optional<double> target = toTarget ? std::optional<double>(settings.targetLUFS()) : std::nullopt;
  const QString name = toTarget ? QString::asprintf("Match Loudness %.1f LUFS", settings.targetLUFS())
                                : QString::asprintf("Loudness Gain %+.1f dB", plan->gainDB);
  loudnessSettings_.setPreviewLoudness(false);
  process(
      name,
      [envelopes = envelopes_, range, plan = *plan, target, ceiling = settings.ceilingDBTP(),
       limit = settings.limitTruePeaks()](const AudioContent& content, ProgressToken& token) {
        return quar::adjustingLoudness(quar::applyingEnvelopes(content, envelopes, token.cancellationCheck()), range,
                                       plan, target, ceiling, limit, 0.1, 5, token.callback());
      },
      std::nullopt, {}, [](const AudioContent&) { return quar::EnvelopeSet(); });
}
