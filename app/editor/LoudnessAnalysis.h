// LoudnessAnalysis: the loudness figures of one document and the debounced analyses that keep
// them current. Its owner reports every change of the content, envelopes and selection; the
// figures follow after a delay (file 150 ms, envelopes 350 ms, selection 250 ms), measured on the
// utility pool. A newer request of a kind supersedes the older one, whose result is never
// installed. A QObject on the GUI thread with tracked getters, like EditorModel's; the work on
// the pool sees only copies of the audio and envelopes.
#pragma once

#include <QObject>

#include <chrono>
#include <optional>
#include <vector>

#include "base/FrameRange.h"
#include "core/AudioContent.h"
#include "core/EnvelopeSet.h"
#include "dsp/Loudness.h"
#include "platform/DebouncedTask.h"
#include "platform/ObservationScope.h"

class LoudnessAnalysis final : public QObject {
  Q_OBJECT
public:
  enum class Property { loudness, contentLoudness, channelLoudness, selectionLoudness, isAnalyzing };
  Q_ENUM(Property)

  // Over `content`, without envelopes or selection; nothing is measured before the first report.
  explicit LoudnessAnalysis(quar::AudioContent content, QObject* parent = nullptr);

  // Loudness of the content as heard (envelopes applied) and of the raw content.
  const std::optional<quar::LoudnessResult>& loudness() const { return track(Property::loudness), loudness_; }
  void setLoudness(std::optional<quar::LoudnessResult> result);
  const std::optional<quar::LoudnessResult>& contentLoudness() const {
    return track(Property::contentLoudness), contentLoudness_;
  }
  void setContentLoudness(std::optional<quar::LoudnessResult> result);
  // Integrated loudness (LUFS) per channel with envelopes; empty for mono and above 8 channels.
  const std::vector<double>& channelLoudness() const { return track(Property::channelLoudness), channelLoudness_; }
  void setChannelLoudness(std::vector<double> values);
  // Loudness of the selection as heard; none without a selection longer than 0.4 s.
  const std::optional<quar::LoudnessResult>& selectionLoudness() const {
    return track(Property::selectionLoudness), selectionLoudness_;
  }
  void setSelectionLoudness(std::optional<quar::LoudnessResult> result);
  // Whether the file's figures are being measured.
  bool isAnalyzing() const { return track(Property::isAnalyzing), isAnalyzing_; }
  void setIsAnalyzing(bool analyzing);

  // What the owner reports, each with the new value. New content measures the file again (empty
  // content clears its figures at once) and the selection when there is one; new envelopes
  // measure the heard figures again once the file has figures, and the selection when there is
  // one; a new selection is measured, or its figure cleared.
  void contentChanged(quar::AudioContent content);
  void envelopesChanged(quar::EnvelopeSet envelopes);
  void selectionChanged(std::optional<quar::FrameRange> selection);
  // While suspended (a take is being recorded), content changes start no analysis. Untracked.
  bool isSuspended() const { return suspended_; }
  void setSuspended(bool suspended) { suspended_ = suspended; }
  // Supersedes every request: running analyses stop at their next progress check and let go of
  // their audio, their results dropped. For a closing document.
  void cancel();

  // The debounced requests of the file, envelope and selection analyses.
  const DebouncedTask& fileTask() const { return fileTask_; }
  const DebouncedTask& envelopeTask() const { return envelopeTask_; }
  const DebouncedTask& selectionTask() const { return selectionTask_; }
  // The same, for tests to start a waiting analysis at once.
  DebouncedTask& fileTask() { return fileTask_; }
  DebouncedTask& envelopeTask() { return envelopeTask_; }
  DebouncedTask& selectionTask() { return selectionTask_; }

Q_SIGNALS:
  void changed(LoudnessAnalysis::Property property);

private:
  struct FileLoudness {
    std::optional<quar::LoudnessResult> content;    // without envelopes
    std::optional<quar::LoudnessResult> enveloped;  // with envelopes
    std::vector<double> channels;
  };

  void track(Property property) const { ObservationScope::record(this, property); }
  void scheduleFile();
  void scheduleEnvelopes();
  void scheduleSelection();
  static FileLoudness measureFile(const quar::AudioContent& content, const quar::EnvelopeSet& envelopes,
                                  const DebouncedTask::Ticket& ticket);
  void installFileLoudness(const FileLoudness& measured, const quar::EnvelopeSet& envelopes);

  // What is measured, as last reported.
  quar::AudioContent content_;
  quar::EnvelopeSet envelopes_;
  std::optional<quar::FrameRange> selection_;
  bool suspended_ = false;

  std::optional<quar::LoudnessResult> loudness_;
  std::optional<quar::LoudnessResult> contentLoudness_;
  std::vector<double> channelLoudness_;
  std::optional<quar::LoudnessResult> selectionLoudness_;
  bool isAnalyzing_ = false;

  DebouncedTask fileTask_{std::chrono::milliseconds(150)};
  DebouncedTask envelopeTask_{std::chrono::milliseconds(350)};
  DebouncedTask selectionTask_{std::chrono::milliseconds(250)};
};
