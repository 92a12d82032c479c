// EditorModel: debounced loudness analyses of the file, of the envelopes and of the selection,
// measured on the utility pool.
#include "editor/EditorModel.h"

#include <limits>

#include "base/Numbers.h"
#include "platform/JobPool.h"

using quar::AudioContent;
using quar::LoudnessResult;
using Ticket = DebouncedTask::Ticket;

namespace {

// A progress callback that asks an analysis to stop once its request is superseded.
std::function<bool(double)> whileCurrent(const Ticket& ticket) {
  return [ticket](double) { return ticket.isCurrent(); };
}

// The loudness of the range (none: all) of the source; none when the analysis fails or stops.
std::optional<LoudnessResult> measured(const quar::AudioSource& source, std::optional<quar::FrameRange> range,
                                       const Ticket& ticket) {
  try {
    return quar::LoudnessAnalyzer::analyze(source, range, std::nullopt, whileCurrent(ticket));
  } catch (...) {
    return std::nullopt;
  }
}

// Integrated loudness (LUFS) of each channel alone; empty unless the source has 2 to 8 channels,
// and when an analysis fails or stops.
std::vector<double> measuredChannels(const quar::AudioSource& source, const Ticket& ticket) {
  const int count = source.channelCount();
  if (count < 2 || count > 8) return {};
  std::vector<double> values;
  try {
    for (int c = 0; c < count; ++c) {
      std::vector<double> weights(static_cast<size_t>(count), 0.0);
      weights[static_cast<size_t>(c)] = 1;
      values.push_back(
          quar::LoudnessAnalyzer::analyze(source, std::nullopt, weights, whileCurrent(ticket)).integratedLUFS);
    }
  } catch (...) {
    return {};
  }
  return values;
}

} // namespace

EditorModel::FileLoudness EditorModel::measureFile(const AudioContent& content, const quar::EnvelopeSet& envelopes,
                                                   const Ticket& ticket) {
  FileLoudness result;
  result.content = measured(content, std::nullopt, ticket);
  const quar::EnvelopedSource heard(content, envelopes);
  result.enveloped = envelopes.isFlat() ? result.content : measured(heard, std::nullopt, ticket);
  result.channels = measuredChannels(heard, ticket);
  return result;
}

void EditorModel::scheduleAnalysis() {
  analysisTask_.cancel();
  envelopeAnalysisTask_.cancel();
  if (content_.isEmpty()) {
    setLoudness(std::nullopt);
    setContentLoudness(std::nullopt);
    setChannelLoudness({});
    setIsAnalyzing(false);
    return;
  }
  setIsAnalyzing(true);
  analysisTask_.schedule([this, content = content_, envelopes = envelopes_](const Ticket& ticket) {
    JobPool::startUtility([owner = QPointer<EditorModel>(this), content, envelopes, ticket] {
      const FileLoudness result = measureFile(content, envelopes, ticket);
      JobPool::deliver(owner, [ticket, envelopes, result](EditorModel& model) {
        if (ticket.isCurrent()) model.installFileLoudness(result, envelopes);
      });
    });
  });
}

void EditorModel::installFileLoudness(const FileLoudness& measured, const quar::EnvelopeSet& envelopes) {
  setContentLoudness(measured.content);
  setLoudness(measured.enveloped);
  setChannelLoudness(measured.channels);
  setIsAnalyzing(false);
  // Envelopes that changed meanwhile found no figures to start from: measure them now.
  if (envelopes_ != envelopes) scheduleEnvelopeAnalysis();
}

void EditorModel::scheduleEnvelopeAnalysis() {
  envelopeAnalysisTask_.cancel();
  if (!contentLoudness_) return;  // the file analysis measures the envelopes too
  envelopeAnalysisTask_.schedule([this, content = content_, envelopes = envelopes_](const Ticket& ticket) {
    JobPool::startUtility([owner = QPointer<EditorModel>(this), content, envelopes, ticket] {
      const quar::EnvelopedSource heard(content, envelopes);
      const std::optional<LoudnessResult> loudness = measured(heard, std::nullopt, ticket);
      const std::vector<double> channels = measuredChannels(heard, ticket);
      JobPool::deliver(owner, [ticket, envelopes, loudness, channels](EditorModel& model) {
        if (!ticket.isCurrent() || model.envelopes_ != envelopes) return;
        model.setLoudness(loudness);
        model.setChannelLoudness(channels);
      });
    });
  });
}

void EditorModel::scheduleSelectionAnalysis() {
  selectionAnalysisTask_.cancel();
  const int64_t shortest = quar::clampedInt(content_.sampleRate() * 0.4, 0, std::numeric_limits<int64_t>::max());
  if (!selection_ || selection_->count() <= shortest) {
    setSelectionLoudness(std::nullopt);
    return;
  }
  selectionAnalysisTask_.schedule(
      [this, content = content_, envelopes = envelopes_, range = *selection_](const Ticket& ticket) {
        JobPool::startUtility([owner = QPointer<EditorModel>(this), content, envelopes, range, ticket] {
          const std::optional<LoudnessResult> loudness =
              measured(quar::EnvelopedSource(content, envelopes), range, ticket);
          JobPool::deliver(owner, [ticket, loudness](EditorModel& model) {
            if (ticket.isCurrent()) model.setSelectionLoudness(loudness);
          });
        });
      });
}
