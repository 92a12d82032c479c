// EditorModel: debounced loudness analyses of the file, of the envelopes and of the selection,
// started from the utility pool; the figures of one request are measured side by side.
#include "editor/EditorModel.h"

#include <functional>
#include <limits>

#include "base/Numbers.h"
#include "base/QuarError.h"
#include "dsp/ParallelFor.h"
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

// Integrated loudness (LUFS) of each channel alone: what analyze gives with a weight of 1 on the
// channel and 0 on the others, measured in one read of the source in the analyser's chunks and
// without the peaks and levels that only the whole-file figures need. Empty unless the source has
// 2 to 8 channels, and when the request is superseded.
std::vector<double> measuredChannels(const quar::AudioSource& source, const Ticket& ticket) {
  const int count = source.channelCount();
  if (count < 2 || count > 8) return {};
  std::vector<quar::LoudnessEngine> engines;
  engines.reserve(static_cast<size_t>(count));
  for (int c = 0; c < count; ++c) {
    std::vector<double> weights(static_cast<size_t>(count), 0.0);
    weights[static_cast<size_t>(c)] = 1;
    engines.emplace_back(count, source.sampleRate(), weights, false, false);
  }
  try {
    source.forEachChunk(std::nullopt, quar::LoudnessAnalyzer::chunkFrames, [&](quar::ChannelViews chunk, int64_t) {
      if (!ticket.isCurrent()) throw quar::CancellationError();
      quar::parallelFor(count, true, [&](int64_t c) { engines[static_cast<size_t>(c)].process(chunk); });
    });
  } catch (const quar::CancellationError&) {
    return {};
  }
  std::vector<double> values;
  for (const quar::LoudnessEngine& engine : engines) values.push_back(engine.integratedLUFS());
  return values;
}

// The figures of the content as heard: its loudness and that of each channel alone, and, given
// the raw content (`plain`), the loudness of that too. They run side by side on the worker pool.
struct HeardLoudness {
  std::optional<LoudnessResult> plain;
  std::optional<LoudnessResult> heard;
  std::vector<double> channels;
};
HeardLoudness measuredSideBySide(const AudioContent* plain, const quar::EnvelopedSource& heard, const Ticket& ticket) {
  HeardLoudness result;
  std::vector<std::function<void()>> tasks{
      [&] { result.heard = measured(heard, std::nullopt, ticket); },
      [&] { result.channels = measuredChannels(heard, ticket); },
  };
  if (plain) tasks.emplace_back([&] { result.plain = measured(*plain, std::nullopt, ticket); });
  quar::parallelFor(static_cast<int64_t>(tasks.size()), true, [&](int64_t task) { tasks[static_cast<size_t>(task)](); });
  return result;
}

} // namespace

EditorModel::FileLoudness EditorModel::measureFile(const AudioContent& content, const quar::EnvelopeSet& envelopes,
                                                   const Ticket& ticket) {
  // With flat envelopes the content is heard as it is: one analysis serves for both.
  const bool flat = envelopes.isFlat();
  HeardLoudness measured =
      measuredSideBySide(flat ? nullptr : &content, quar::EnvelopedSource(content, envelopes), ticket);
  return {flat ? measured.heard : measured.plain, measured.heard, std::move(measured.channels)};
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
      const HeardLoudness measured = measuredSideBySide(nullptr, quar::EnvelopedSource(content, envelopes), ticket);
      JobPool::deliver(owner, [ticket, envelopes, measured](EditorModel& model) {
        if (!ticket.isCurrent() || model.envelopes_ != envelopes) return;
        model.setLoudness(measured.heard);
        model.setChannelLoudness(measured.channels);
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
