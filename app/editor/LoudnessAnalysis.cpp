// LoudnessAnalysis: the figures, and the debounced analyses of the file, of the envelopes and of
// the selection, started on the utility pool; the figures of one request are measured side by side.
#include "editor/LoudnessAnalysis.h"

#include <QPointer>

#include <functional>
#include <limits>

#include "base/Numbers.h"
#include "base/QuarError.h"
#include "dsp/ParallelFor.h"
#include "platform/JobPool.h"
#include "platform/Observable.h"

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

LoudnessAnalysis::LoudnessAnalysis(AudioContent content, QObject* parent)
    : QObject(parent), content_(std::move(content)) {}

void LoudnessAnalysis::setLoudness(std::optional<LoudnessResult> result) {
  assignObserved(this, loudness_, std::move(result), Property::loudness);
}

void LoudnessAnalysis::setContentLoudness(std::optional<LoudnessResult> result) {
  assignObserved(this, contentLoudness_, std::move(result), Property::contentLoudness);
}

void LoudnessAnalysis::setChannelLoudness(std::vector<double> values) {
  assignObserved(this, channelLoudness_, std::move(values), Property::channelLoudness);
}

void LoudnessAnalysis::setSelectionLoudness(std::optional<LoudnessResult> result) {
  assignObserved(this, selectionLoudness_, std::move(result), Property::selectionLoudness);
}

void LoudnessAnalysis::setIsAnalyzing(bool analyzing) {
  assignObserved(this, isAnalyzing_, analyzing, Property::isAnalyzing);
}

void LoudnessAnalysis::contentChanged(AudioContent content) {
  content_ = std::move(content);
  if (suspended_) return;
  scheduleFile();
  if (selection_) scheduleSelection();
}

void LoudnessAnalysis::envelopesChanged(quar::EnvelopeSet envelopes) {
  envelopes_ = std::move(envelopes);
  scheduleEnvelopes();
  if (selection_) scheduleSelection();
}

void LoudnessAnalysis::selectionChanged(std::optional<quar::FrameRange> selection) {
  selection_ = selection;
  scheduleSelection();
}

void LoudnessAnalysis::cancel() {
  fileTask_.cancel();
  envelopeTask_.cancel();
  selectionTask_.cancel();
}

LoudnessAnalysis::FileLoudness LoudnessAnalysis::measureFile(const AudioContent& content,
                                                             const quar::EnvelopeSet& envelopes, const Ticket& ticket) {
  // With flat envelopes the content is heard as it is: one analysis serves for both.
  const bool flat = envelopes.isFlat();
  HeardLoudness measured =
      measuredSideBySide(flat ? nullptr : &content, quar::EnvelopedSource(content, envelopes), ticket);
  return {flat ? measured.heard : measured.plain, measured.heard, std::move(measured.channels)};
}

void LoudnessAnalysis::scheduleFile() {
  fileTask_.cancel();
  envelopeTask_.cancel();
  if (content_.isEmpty()) {
    setLoudness(std::nullopt);
    setContentLoudness(std::nullopt);
    setChannelLoudness({});
    setIsAnalyzing(false);
    return;
  }
  setIsAnalyzing(true);
  fileTask_.schedule([this, content = content_, envelopes = envelopes_](const Ticket& ticket) {
    JobPool::startUtility([owner = QPointer<LoudnessAnalysis>(this), content, envelopes, ticket] {
      const FileLoudness result = measureFile(content, envelopes, ticket);
      JobPool::deliver(owner, [ticket, envelopes, result](LoudnessAnalysis& analysis) {
        if (ticket.isCurrent()) analysis.installFileLoudness(result, envelopes);
      });
    });
  });
}

void LoudnessAnalysis::installFileLoudness(const FileLoudness& measured, const quar::EnvelopeSet& envelopes) {
  setContentLoudness(measured.content);
  setLoudness(measured.enveloped);
  setChannelLoudness(measured.channels);
  setIsAnalyzing(false);
  // Envelopes that changed meanwhile found no figures to start from: measure them now.
  if (envelopes_ != envelopes) scheduleEnvelopes();
}

void LoudnessAnalysis::scheduleEnvelopes() {
  envelopeTask_.cancel();
  if (!contentLoudness_) return;  // the file analysis measures the envelopes too
  envelopeTask_.schedule([this, content = content_, envelopes = envelopes_](const Ticket& ticket) {
    JobPool::startUtility([owner = QPointer<LoudnessAnalysis>(this), content, envelopes, ticket] {
      const HeardLoudness measured = measuredSideBySide(nullptr, quar::EnvelopedSource(content, envelopes), ticket);
      JobPool::deliver(owner, [ticket, envelopes, measured](LoudnessAnalysis& analysis) {
        if (!ticket.isCurrent() || analysis.envelopes_ != envelopes) return;
        analysis.setLoudness(measured.heard);
        analysis.setChannelLoudness(measured.channels);
      });
    });
  });
}

void LoudnessAnalysis::scheduleSelection() {
  selectionTask_.cancel();
  const int64_t shortest = quar::clampedInt(content_.sampleRate() * 0.4, 0, std::numeric_limits<int64_t>::max());
  if (!selection_ || selection_->count() <= shortest) {
    setSelectionLoudness(std::nullopt);
    return;
  }
  selectionTask_.schedule(
      [this, content = content_, envelopes = envelopes_, range = *selection_](const Ticket& ticket) {
        JobPool::startUtility([owner = QPointer<LoudnessAnalysis>(this), content, envelopes, range, ticket] {
          const std::optional<LoudnessResult> loudness =
              measured(quar::EnvelopedSource(content, envelopes), range, ticket);
          JobPool::deliver(owner, [ticket, loudness](LoudnessAnalysis& analysis) {
            if (ticket.isCurrent()) analysis.setSelectionLoudness(loudness);
          });
        });
      });
}
