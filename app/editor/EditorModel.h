// EditorModel: the editable state of one open document: audio, file description, markers,
// envelopes, selection, cursor, active channels and recording bookkeeping. It owns the models of
// its other parts: viewport, view and loudness settings, tempo grid, transport, the loudness
// analysis (told of every change of the content, envelopes and selection) and the job runner.
// A QObject on the GUI thread; tracked getters record their Property into the innermost
// ObservationScope, setters run their side effect on every assignment and emit changed(property)
// only on a change. Frames are int64 indices at the content's sample rate. Operations are
// specified at their definitions, one file per group (EditorModelSplice.cpp, …).
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "base/AudioFormats.h"
#include "base/FrameRange.h"
#include "core/AudioContent.h"
#include "core/EffectTailMode.h"
#include "core/EnvelopeSet.h"
#include "core/FadeShape.h"
#include "dsp/Limiter.h"
#include "dsp/Loudness.h"
#include "effects/ApplyTarget.h"
#include "editor/EditState.h"
#include "editor/JobRunner.h"
#include "editor/LoudnessAnalysis.h"
#include "editor/LoudnessSettings.h"
#include "editor/Marker.h"
#include "editor/Tempo.h"
#include "editor/Transport.h"
#include "editor/ViewSettings.h"
#include "editor/Viewport.h"
#include "recording/RecordMode.h"
#include "recording/TakeReceiver.h"
#include "platform/ObservationScope.h"
#include "platform/UndoManager.h"

class EffectsRack;
struct ProcessorHandoff;
class Recorder;

class EditorModel final : public QObject, public TakeReceiver, public ApplyTarget {
  Q_OBJECT
public:
  enum class Property {
    content, contentVersion, fileInfo, markers, envelopes, envelopeTarget, selection, activeChannels, cursor,
    snapToZeroCrossings, recordHead, liveTakeVisible, canChangeDocument,
  };
  Q_ENUM(Property)

  // How a failed job is reported (the document presents it).
  using ErrorPresenter = std::function<void(std::exception_ptr)>;
  // A job's work: new content from a copy of the document's content, on a pool thread. It reports
  // progress and learns of cancellation through the token's callback; it may throw.
  using JobWork = std::function<quar::AudioContent(const quar::AudioContent& content, ProgressToken& token)>;
  // Called on the GUI thread when a job commits, with the job's new content.
  using MarkersUpdate = std::function<std::vector<Marker>(const quar::AudioContent& newContent)>;
  using EnvelopeUpdate = std::function<quar::EnvelopeSet(const quar::AudioContent& newContent)>;

  EditorModel(quar::AudioContent content, std::optional<quar::AudioFileInfo> fileInfo, QObject* parent = nullptr);
  ~EditorModel() override;

  // Installs freshly decoded audio: stops playback, clears markers, envelopes and selection,
  // selects all channels and zooms to fit.
  void load(quar::AudioContent content, std::optional<quar::AudioFileInfo> fileInfo);
  // Stops playback; with keepPosition and no selection the cursor moves to the playhead.
  void stop(bool keepPosition) override;

  // Tracked state.
  const quar::AudioContent& content() const override { return track(Property::content), content_; }
  void setContent(quar::AudioContent content);
  int64_t contentVersion() const { return track(Property::contentVersion), contentVersion_; }
  const std::optional<quar::AudioFileInfo>& fileInfo() const { return track(Property::fileInfo), fileInfo_; }
  void setFileInfo(std::optional<quar::AudioFileInfo> info);
  const std::vector<Marker>& markers() const { return track(Property::markers), markers_; }
  void setMarkers(std::vector<Marker> markers);
  const quar::EnvelopeSet& envelopes() const { return track(Property::envelopes), envelopes_; }
  void setEnvelopes(quar::EnvelopeSet envelopes);
  // Which envelope the lane edits: none = master, n = channel n.
  std::optional<int> envelopeTarget() const { return track(Property::envelopeTarget), envelopeTarget_; }
  void setEnvelopeTarget(std::optional<int> target);
  // Never an empty range: assigning one clears the selection.
  std::optional<quar::FrameRange> selection() const override { return track(Property::selection), selection_; }
  void setSelection(std::optional<quar::FrameRange> selection);
  const std::set<int>& activeChannels() const { return track(Property::activeChannels), activeChannels_; }
  void setActiveChannels(std::set<int> channels);
  int64_t cursor() const { return track(Property::cursor), cursor_; }
  void setCursor(int64_t frame);
  // Stored under "snapToZeroCrossings".
  bool snapToZeroCrossings() const { return track(Property::snapToZeroCrossings), snapToZeroCrossings_; }
  void setSnapToZeroCrossings(bool snap);
  // Where the live take currently ends; none when not recording.
  std::optional<int64_t> recordHead() const { return track(Property::recordHead), recordHead_; }
  void setRecordHead(std::optional<int64_t> frame);
  bool liveTakeVisible() const { return track(Property::liveTakeVisible), liveTakeVisible_; }
  void setLiveTakeVisible(bool visible);
  bool isPlaying() const override { return transport_.isPlaying(); }
  // Whether the document may change now: no job runs and no take is being recorded. Every
  // operation that changes the document refuses with a beep while it is false, and the controls
  // that change it are disabled; a job's own commit and a finished take still go in.
  bool canChangeDocument() const { return track(Property::canChangeDocument), canChangeDocument_; }
  // A job runs (jobs().busy() is set).
  bool runsJob() const override { return jobs_.busy().has_value(); }

  // The parts of the editor's state with models of their own; views watch the parts they read.
  Viewport& viewport() { return viewport_; }
  const Viewport& viewport() const { return viewport_; }
  ViewSettings& viewSettings() { return viewSettings_; }
  const ViewSettings& viewSettings() const { return viewSettings_; }
  LoudnessSettings& loudnessSettings() { return loudnessSettings_; }
  const LoudnessSettings& loudnessSettings() const { return loudnessSettings_; }
  Tempo& tempo() { return tempo_; }
  const Tempo& tempo() const { return tempo_; }
  Transport& transport() { return transport_; }
  const Transport& transport() const { return transport_; }
  LoudnessAnalysis& analysis() { return analysis_; }
  const LoudnessAnalysis& analysis() const { return analysis_; }
  JobRunner& jobs() { return jobs_; }
  const JobRunner& jobs() const { return jobs_; }

  // Untracked state.
  EffectsRack& rack() override { return *rack_; }
  Recorder& recorder() { return *recorder_; }
  UndoManager* undoManager() const { return undoManager_; }
  void setUndoManager(UndoManager* manager) { undoManager_ = manager; }
  void setPresentError(ErrorPresenter presenter) { presentError_ = std::move(presenter); }
  // Reports an error through the document's error presenter; nothing without one.
  void presentError(std::exception_ptr error) const override;
  void watchContentAndSelection(QObject* context, std::function<void()> changed) override;
  // Makes `tracker` listen to this model's changes.
  void watchChanges(ObservationTracker& tracker) override;

  // Derived values; allChannels(count) is the set [0, count).
  static std::set<int> allChannels(int count);
  // "<codec> · 48 kHz · 24-bit · Stereo"; the codec and bit depth only with file info.
  QString formatSummary() const;
  // "Mono"; "L"/"R"; "L R C LFE Ls Rs" for six channels; else index + 1. index < channelCount.
  QString channelName(int index) const;
  // None when every channel is active, else the active channels.
  std::optional<std::set<int>> targetChannels() const;
  // The selection when looping with a selection, else the whole content.
  quar::FrameRange playRange() const;
  // The selection's result when the scope is the selection and one exists, else the file's.
  const std::optional<quar::LoudnessResult>& activeLoudness() const;
  // What applying loudness would do; none without a finite integrated loudness.
  std::optional<quar::LoudnessNormalization::Plan> loudnessPlan() const;
  // Puts the loudness preview gain (or unity) into the playback engine.
  void updatePreviewGain();

  // Undo snapshots and background jobs (EditorModelUndo.cpp): every change is one undo step that
  // restores a whole snapshot; at most one job runs, through jobs(), which shows its busy state.
  // Every change is all or nothing: one that finds no room on the disk or no memory for its new
  // audio leaves the document, its selection and undo history as they were, and its failure
  // goes to the error presenter (the take's TakeDone for a recording).
  void process(const QString& name, JobWork work,
               std::optional<std::optional<quar::FrameRange>> selection = std::nullopt, MarkersUpdate markers = {},
               EnvelopeUpdate envelope = {});
  void undo();
  void redo();
  void cancelBackgroundWork();

  // Splice edits and the clipboard (EditorModelSplice.cpp): immediate, one undo step each.
  void copy();
  void cut();
  void deleteSelection(const QString& name);
  void trimToSelection();
  void paste();
  void pasteMix();
  void insertSilence(int64_t frames);
  void swapChannels();

  // Selection, snapping and zoom (EditorModelSelection.cpp): no undo steps; frames and ranges
  // are clamped to the content, zoom stays within the viewport's bounds.
  void seek(int64_t frame);
  void selectAll();
  void selectNone();
  void setSelection(std::optional<quar::FrameRange> range, std::optional<std::set<int>> channels);
  int64_t snapped(int64_t frame) const;
  void zoom(double factor, std::optional<double> anchorFrame = std::nullopt);
  void zoomToSelection();

  // Markers (EditorModelMarkers.cpp): kept sorted by frame except during a live move.
  void addMarker(std::optional<int64_t> frame = std::nullopt);
  void removeMarker(const quar::Uuid& id);
  void renameMarker(const quar::Uuid& id, const QString& name);
  void moveMarker(const quar::Uuid& id, int64_t frame, bool registerUndo);
  void endMarkerDrag(const std::vector<Marker>& original);
  void jumpToMarker(bool next);

  // Tempo grid: bar 1 at the playhead while playing, else the selection start, else the cursor.
  void setDownbeatAtCursor();

  // Transport and metering (EditorModelTransport.cpp); the transport timer ticks every 1/30 s.
  void play(bool selectionOnly);
  void togglePlayback();
  void goToStart();
  void goToEnd();
  void transportTick();

  // Processing edits (EditorModelProcessing.cpp): background jobs through process() on the
  // selection (or the whole content) of the target channels, one undo step each.
  void applyGain(double db);
  void normalizePeak(double toDB, bool independent);
  void fade(quar::FadeDirection direction, quar::FadeShape shape);
  void silence();
  void reverse();
  void invert();
  void removeDC();
  void convertChannels(int count);
  void changeSampleRate(double rate);

  // Effects and time-pitch (EditorModelEffects.cpp), loudness (EditorModelLoudness.cpp): jobs.
  void applyEffects() override;
  bool canApplyEffects() const override;
  void timePitch(double rate, double pitchCents);
  void applyLoudness();

  // Gain envelopes and channel trims (EditorModelEnvelopes.cpp): live drags set `envelopes`
  // directly, without undo; the end-of-drag operations turn a drag into one undo step.
  quar::GainEnvelope targetEnvelope() const;
  quar::EnvelopeSet replacingTargetEnvelope(quar::GainEnvelope envelope) const;
  void endEnvelopeEdit(const quar::GainEnvelope& from, const QString& name);
  void removeEnvelopePoint(const quar::Uuid& id);
  void clearEnvelope();
  void endChannelTrimEdit(const quar::EnvelopeSet& from);
  void balanceChannels();
  void resetChannelTrims();
  void applyEnvelope();

  // Recording into the document (EditorModelRecording.cpp), called by the recorder in this order.
  void beginRecording(RecordMode mode, double sampleRate, int channelCount) override;
  void updateLiveTake(const quar::AudioContent& take) override;
  void finishRecording(std::optional<quar::AudioContent> take, TakeDone done = {}) override;

Q_SIGNALS:
  void changed(EditorModel::Property property);
  // cancelBackgroundWork() ran: outside work on the document's audio (statistics) stops too.
  void backgroundWorkCancelled();

private:
  // Helpers of the operation groups, described at their definitions.
  void track(Property property) const { ObservationScope::record(this, property); }
  void updateCanChangeDocument();
  bool refusesChange();
  void contentDidChange();
  EditState snapshot() const;
  JobRunner::ContentStamp contentStamp() const;
  void restore(const EditState& state);
  void registerUndo(EditState state, const QString& name);
  bool edit(const QString& name, const std::function<void(EditState& next)>& build);
  std::exception_ptr tryEdit(const QString& name, const std::function<void(EditState& next)>& build);
  static std::exception_ptr failureOf(const std::function<void()>& work);
  void finishJob(const JobRunner::ContentStamp& stamp, const ProgressToken& token, const QString& name,
                 const std::optional<std::optional<quar::FrameRange>>& selection, const MarkersUpdate& markers,
                 const EnvelopeUpdate& envelope, const JobRunner::Outcome& outcome);
  void withConformed(quar::AudioContent clip, std::function<void(EditorModel&, const quar::AudioContent&)> body);
  std::vector<Marker> markersAfterReplacing(quar::FrameRange range, int64_t newLength) const;
  quar::AudioContent clipOf(quar::FrameRange range) const;
  void deleting(EditState& next, quar::FrameRange range) const;
  std::optional<quar::FrameRange> selectedRange() const;
  int64_t insertionPoint() const;
  int64_t currentPosition() const;
  quar::FrameRange processingRange() const;
  static bool isFiniteGain(double db);
  static quar::AudioContent resampled(const quar::AudioContent& content, double rate, ProgressToken& token);
  void applyEffectsChain(std::shared_ptr<ProcessorHandoff> handoff, const JobRunner::ContentStamp& stamp,
                         const quar::EnvelopeSet& envelopes, const QString& name, quar::FrameRange range,
                         const std::optional<std::set<int>>& channels, quar::EffectTailMode tail);
  std::exception_ptr commitTake(const quar::AudioContent& take, const QString& name, quar::FrameRange target,
                                RecordMode mode);
  void followRecordHead();
  float previewGain() const;

  Viewport viewport_;
  ViewSettings viewSettings_;
  LoudnessSettings loudnessSettings_;
  Tempo tempo_;
  Transport transport_;
  JobRunner jobs_;  // its jobs' outcomes reach the model through `this`: it goes with the model
  quar::AudioContent content_;
  LoudnessAnalysis analysis_;
  int64_t contentVersion_ = 0;
  std::optional<quar::AudioFileInfo> fileInfo_;
  std::vector<Marker> markers_;
  quar::EnvelopeSet envelopes_;
  std::optional<int> envelopeTarget_;
  std::optional<quar::FrameRange> selection_;
  std::set<int> activeChannels_;
  int64_t cursor_ = 0;
  bool snapToZeroCrossings_;
  std::unique_ptr<EffectsRack> rack_;
  std::unique_ptr<Recorder> recorder_;
  std::optional<int64_t> recordHead_;
  std::optional<EditState> recordingBase_;
  quar::FrameRange recordingTarget_;
  RecordMode recordingMode_ = RecordMode::insert;
  bool recordingIntoEmpty_ = false;
  bool liveTakeVisible_ = true;
  bool canChangeDocument_ = true;
  QPointer<UndoManager> undoManager_;
  ErrorPresenter presentError_;
};
