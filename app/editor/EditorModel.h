// EditorModel: the editable state of one open document: audio, file description, markers,
// envelopes, selection, cursor, active channels, loudness settings and recording bookkeeping. It
// owns the models of its other parts: the viewport (zoom and scroll), the tempo grid, the
// transport, the loudness analysis, which it tells of every change of the content, envelopes and
// selection, and the job runner (the one background job). A QObject on the GUI thread;
// every tracked getter records its Property into the innermost ObservationScope, every setter
// stores its value, runs its side effect on every assignment and emits changed(property) only on a
// change. Frames are int64 indices at the content's sample rate.
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
#include "editor/AnalysisScope.h"
#include "editor/EditState.h"
#include "editor/InspectorTab.h"
#include "editor/JobRunner.h"
#include "editor/LoudnessAdjustMode.h"
#include "editor/LoudnessAnalysis.h"
#include "editor/Marker.h"
#include "editor/Tempo.h"
#include "editor/Transport.h"
#include "editor/Viewport.h"
#include "recording/RecordMode.h"
#include "recording/TakeReceiver.h"
#include "platform/ObservationScope.h"
#include "platform/UndoManager.h"
#include "support/TimeFormat.h"

class EffectsRack;
struct ProcessorHandoff;
class Recorder;

class EditorModel final : public QObject, public TakeReceiver, public ApplyTarget {
  Q_OBJECT
public:
  enum class Property {
    content, contentVersion, fileInfo, markers, envelopes, envelopeTarget, selection, activeChannels, cursor,
    snapToZeroCrossings, showLoudnessLane,
    loudnessLaneHeight, envelopeRangeDB,
    showInspector, inspectorTab, timeFormat, recordHead, liveTakeVisible,
    linkChannelLevels, analysisScope, adjustMode, targetLUFS, ceilingDBTP, manualGainDB, limitTruePeaks,
    previewLoudness, canChangeDocument,
  };
  Q_ENUM(Property)

  // How a failed job is reported (the document presents it).
  using ErrorPresenter = std::function<void(std::exception_ptr)>;

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
  bool snapToZeroCrossings() const { return track(Property::snapToZeroCrossings), snapToZeroCrossings_; }
  void setSnapToZeroCrossings(bool snap);
  bool showLoudnessLane() const { return track(Property::showLoudnessLane), showLoudnessLane_; }
  void setShowLoudnessLane(bool show);
  // Points; stored as assigned (the initialiser alone applies the minimum of 80).
  double loudnessLaneHeight() const { return track(Property::loudnessLaneHeight), loudnessLaneHeight_; }
  void setLoudnessLaneHeight(double height);
  double envelopeRangeDB() const { return track(Property::envelopeRangeDB), envelopeRangeDB_; }
  void setEnvelopeRangeDB(double range);
  bool showInspector() const { return track(Property::showInspector), showInspector_; }
  void setShowInspector(bool show);
  InspectorTab inspectorTab() const { return track(Property::inspectorTab), inspectorTab_; }
  void setInspectorTab(InspectorTab tab);
  TimeFormat timeFormat() const { return track(Property::timeFormat), timeFormat_; }
  void setTimeFormat(TimeFormat format);
  // Where the live take currently ends; none when not recording.
  std::optional<int64_t> recordHead() const { return track(Property::recordHead), recordHead_; }
  void setRecordHead(std::optional<int64_t> frame);
  bool liveTakeVisible() const { return track(Property::liveTakeVisible), liveTakeVisible_; }
  void setLiveTakeVisible(bool visible);
  bool isPlaying() const override { return transport_.isPlaying(); }
  bool linkChannelLevels() const { return track(Property::linkChannelLevels), linkChannelLevels_; }
  void setLinkChannelLevels(bool link);
  AnalysisScope analysisScope() const { return track(Property::analysisScope), analysisScope_; }
  void setAnalysisScope(AnalysisScope scope);
  LoudnessAdjustMode adjustMode() const { return track(Property::adjustMode), adjustMode_; }
  void setAdjustMode(LoudnessAdjustMode mode);
  // LUFS.
  double targetLUFS() const { return track(Property::targetLUFS), targetLUFS_; }
  void setTargetLUFS(double lufs);
  // dBTP.
  double ceilingDBTP() const { return track(Property::ceilingDBTP), ceilingDBTP_; }
  void setCeilingDBTP(double db);
  double manualGainDB() const { return track(Property::manualGainDB), manualGainDB_; }
  void setManualGainDB(double db);
  bool limitTruePeaks() const { return track(Property::limitTruePeaks), limitTruePeaks_; }
  void setLimitTruePeaks(bool limit);
  bool previewLoudness() const { return track(Property::previewLoudness), previewLoudness_; }
  void setPreviewLoudness(bool preview);
  // Whether the document may change now: no job runs and no take is being recorded. Every
  // operation that changes the document refuses with a beep while it is false, and the controls
  // that change it are disabled; a job's own commit and a finished take still go in.
  bool canChangeDocument() const { return track(Property::canChangeDocument), canChangeDocument_; }

  // The parts of the editor's state with models of their own.
  Viewport& viewport() { return viewport_; }
  const Viewport& viewport() const { return viewport_; }
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

  // Derived values.
  // The set [0, count).
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

  // Undo snapshots and background jobs. Every change is one undo step that restores a whole
  // snapshot; at most one job runs, through jobs(), which shows its busy state meanwhile.
  // A job's work: new content from a copy of the document's content, on a pool thread. It reports
  // progress and learns of cancellation through the token's callback; it may throw.
  using JobWork = std::function<quar::AudioContent(const quar::AudioContent& content, ProgressToken& token)>;
  // Called on the GUI thread when a job commits, with the job's new content.
  using MarkersUpdate = std::function<std::vector<Marker>(const quar::AudioContent& newContent)>;
  using EnvelopeUpdate = std::function<quar::EnvelopeSet(const quar::AudioContent& newContent)>;
  // Runs `work` as the one background job and commits its content as one undo step named `name`.
  // Refused with a beep unless canChangeDocument(). `selection`: absent keeps the selection, a
  // present none clears it, a range sets it. The commit is dropped when the job was cancelled,
  // and dropped with a beep when the document's content changed since the job started; an error
  // other than a cancellation goes to the error presenter.
  void process(const QString& name, JobWork work,
               std::optional<std::optional<quar::FrameRange>> selection = std::nullopt, MarkersUpdate markers = {},
               EnvelopeUpdate envelope = {});
  // The document's Undo and Redo; refused with a beep unless canChangeDocument().
  void undo();
  void redo();
  // Cancels the running job, the analyses and a tempo detection: they stop at their next
  // progress check and let go of their audio, their results dropped; what others measure of
  // the document (backgroundWorkCancelled) stops too. For a closing document; the destructor
  // does it too.
  void cancelBackgroundWork();

  // Splice edits and the clipboard. Immediate on the GUI thread, one undo step each (copy none),
  // refused with a beep unless canChangeDocument(); only a clip at another sample rate is
  // converted in a job ("Converting clipboard sample rate") before it is pasted, and dropped with
  // a beep if the content changed meanwhile.
  // Puts the selection of the active channels (in index order) on the clipboard.
  void copy();
  // "Cut" or "Delete": removes the selection, or silences it in the active channels when only
  // some are active.
  void deleteSelection(const QString& name);
  // Keeps only the selection (all channels), then fits the view. "Trim".
  void trimToSelection();
  // Replaces the selection (or inserts at the cursor) with the clip in every channel, conformed
  // to the document's channel count and rate; into an empty document the clip is taken as is.
  void paste();
  // Mixes the conformed clip in at the selection start or the cursor; nothing on an empty document.
  void pasteMix();
  // Inserts `frames` of silence at the selection start or the cursor and selects it.
  void insertSilence(int64_t frames);
  // Exchanges the two channels of a stereo document.
  void swapChannels();

  // Selection, snapping and zoom. No undo steps; frames and ranges are clamped to the content;
  // zoom stays within the viewport's bounds.
  // Moves the cursor (and, while playing, the play position) and keeps it in view.
  void seek(int64_t frame);
  void selectAll();
  void selectNone();
  // Sets the clamped selection (none clears it) and, when given, the active channels; the cursor
  // goes to the selection's start. The one-argument setSelection is the plain property setter.
  void setSelection(std::optional<quar::FrameRange> range, std::optional<std::set<int>> channels);
  // The frame for a pointer position: clamped to the content, then moved to the nearest zero
  // crossing within six points (at least 64 frames) when snapping is on; the ends never move.
  int64_t snapped(int64_t frame) const;
  // Multiplies framesPerPoint by `factor` about the anchor frame (default: the playhead while
  // playing, else the selection start, else the cursor), which stays under the same point or,
  // when off screen, comes to the middle. A factor that is not finite and above 0 does nothing.
  void zoom(double factor, std::optional<double> anchorFrame = std::nullopt);
  // Fits the selection into the view with a 5 % margin, centred.
  void zoomToSelection();

  // Markers. Kept sorted by frame (stable) except during a live move; each change is one undo
  // step, refused with a beep unless canChangeDocument() (a refused drag goes back to where it
  // began).
  // Adds "Marker n" at the frame (default: the playhead while playing, else the selection start,
  // else the cursor). "Add Marker".
  void addMarker(std::optional<int64_t> frame = std::nullopt);
  // "Remove Marker"; recorded even when no marker has the id.
  void removeMarker(const quar::Uuid& id);
  // "Rename Marker"; nothing when the name is unchanged or no marker has the id.
  void renameMarker(const quar::Uuid& id, const QString& name);
  // Moves to the frame clamped to the content: live (in place, unsorted, no undo) or as one step
  // "Move Marker".
  void moveMarker(const quar::Uuid& id, int64_t frame, bool registerUndo);
  // Turns a finished live drag into one "Move Marker" step back to `original` (the markers
  // before the drag).
  void endMarkerDrag(const std::vector<Marker>& original);
  // Seeks to the next marker more than one frame after the position, or the previous one more
  // than one frame before it (frame 0 when there is none).
  void jumpToMarker(bool next);

  // Tempo grid: bar 1 at the playhead while playing, else the selection start, else the cursor.
  void setDownbeatAtCursor();

  // Transport and metering. While playing, the transport timer ticks every 1/30 s.
  // Plays from the selection's start (else the cursor; from 0 when that is the last frame or
  // beyond) to the end, or, with selectionOnly or looping, the selection. Nothing happens on an
  // empty document or while recording; a device failure goes to the error presenter and
  // playback stays stopped.
  void play(bool selectionOnly);
  // Stops a recording; else stops playback keeping the position, or plays.
  void togglePlayback();
  // Stops, clears the selection and seeks to frame 0 (scrolled to the start) or to the end.
  void goToStart();
  void goToEnd();
  // One tick of the transport timer: frees what playback replaced and no longer holds; when the
  // output device went away playback stops where its audio stopped, as stop(true) there; at the
  // end of the range playback stops and the playhead returns to where it started; otherwise
  // the playhead follows the audible position, the view pages along and the meters update.
  void transportTick();

  // Processing edits. Each is one background job through process() (refused with a beep unless
  // canChangeDocument()) on a copy of the content, committed as one undo step named by its
  // title. Unless said otherwise they work on the selection, or the whole content without one,
  // in the target channels, and keep the length, selection, markers and envelopes.
  // "Gain +3.0 dB". Refused with a beep when 10^(db/20) is not a finite sample factor.
  void applyGain(double db);
  // Scales the peak to toDB (dBFS): one gain for all target channels, or each on its own.
  // "Normalize". Refused with a beep when 10^(toDB/20) is not a finite sample factor.
  void normalizePeak(double toDB, bool independent);
  // "Fade In" / "Fade Out" over the selection; nothing without one.
  void fade(quar::FadeDirection direction, quar::FadeShape shape);
  // "Silence": zeroes the selection; nothing without one.
  void silence();
  void reverse();  // "Reverse"
  void invert();   // "Invert Polarity"
  void removeDC();  // "Remove DC Offset"
  // Remixes the whole content to `count` channels, all active afterwards; nothing when the count
  // is already the content's or below 1. "Convert to Mono" for 1, else "Convert to Stereo".
  void convertChannels(int count);
  // Resamples the whole content to `rate` Hz, scaling the selection, markers and envelopes by the
  // ratio of the rates (frames truncated); nothing unless rate > 0 and differs from the current
  // one. "Change Sample Rate".
  void changeSampleRate(double rate);

  // Effects, time-pitch and loudness application: background jobs like the processing edits.
  // Renders the envelopes and then the rack's enabled effects into the selection (or the whole
  // content) of the target channels with the rack's tail mode, clears the envelopes and switches
  // the rack's live preview off. "Apply " + the rack's chain name. Beeps unless
  // canApplyEffects(), or when the document changed while the chain was being built; a chain
  // that cannot be built goes to the error presenter.
  void applyEffects() override;
  // Whether applyEffects() runs now: the document may change, a slot is enabled and no plug-in
  // is still loading (a loading slot would render with a fresh instance's defaults).
  bool canApplyEffects() const override;
  // Stretches the selection (or the whole content) to length / rate frames, rounded, and shifts
  // its pitch by pitchCents; the selection covers the new length, markers inside move in
  // proportion and those after it by the change in length. Nothing for rate <= 0 or for rate 1
  // with 0 cents. "Time & Pitch (125%, +0 ct)".
  void timePitch(double rate, double pitchCents);
  // Renders the envelopes and applies loudnessPlan() to the analysed range (the selection when
  // the scope is the selection and one exists, else the whole content), limiting true peaks to
  // the ceiling when asked; clears the envelopes and switches the loudness preview off. Nothing
  // without a plan; refused with a beep when the plan's gain is not a finite sample factor.
  // "Match Loudness -14.0 LUFS" or "Loudness Gain +3.0 dB".
  void applyLoudness();

  // Gain envelopes and channel trims. Live drags set `envelopes` directly, without undo; the
  // end-of-drag operations turn a drag into one undo step, the others are one step each. All are
  // refused with a beep unless canChangeDocument(); a refused drag goes back to where it began.
  // The envelope that the lane edits (master or channel envelopeTarget).
  quar::GainEnvelope targetEnvelope() const;
  // The envelope set with the target envelope replaced; channel envelopes are kept one per
  // channel, so that undo steps never drop them. What a live drag assigns to `envelopes`.
  quar::EnvelopeSet replacingTargetEnvelope(quar::GainEnvelope envelope) const;
  // One undo step named `name` back to the target envelope as it was when the drag began;
  // nothing when the drag left it unchanged.
  void endEnvelopeEdit(const quar::GainEnvelope& from, const QString& name);
  // "Delete Gain Point" from the target envelope; recorded even when no point has the id.
  void removeEnvelopePoint(const quar::Uuid& id);
  // "Clear Gain Envelope": empties every envelope and trim; nothing when already empty.
  void clearEnvelope();
  // "Channel Levels": one undo step back to the set as it was when the level drag began;
  // nothing when unchanged.
  void endChannelTrimEdit(const quar::EnvelopeSet& from);
  // "Balance Channels": trims every channel towards the mean of the analysis' channelLoudness
  // (held within +-24 dB). Beeps unless every channel of a document with 2 or more has a finite
  // figure.
  void balanceChannels();
  // "Reset Channel Levels": every trim back to 0 dB; nothing when all are already 0.
  void resetChannelTrims();
  // "Apply Gain Envelope": renders the envelopes into the audio as a job and clears them; a flat
  // set is only cleared.
  void applyEnvelope();

  // Recording into the document. The recorder calls beginRecording once when a take starts,
  // updateLiveTake with a growing snapshot while it runs and finishRecording once at its end;
  // the document is restored to its state before the take, which then becomes one undo step
  // "Record" (or "Record (converted from 44100 Hz)") at the cursor, over the selection or at the
  // end. While recording, content changes start no analysis.
  // TakeResult tells what became of a finished take; TakeDone learns it once, on the GUI thread
  // (unless the model is gone).
  // Notes the state before the take and where it goes (`mode`), for a take at `sampleRate` Hz
  // with `channelCount` channels; stops playback. The take is shown live only when the document
  // is empty or has the take's rate and channel count.
  void beginRecording(RecordMode mode, double sampleRate, int channelCount) override;
  // Moves the record head to the end of the take so far (in document frames), shows the take in
  // the document when it can, and keeps the head in view. No undo step.
  void updateLiveTake(const quar::AudioContent& take) override;
  // Restores the state before the take, then adds the take: into an empty document at once
  // (its rate and channels become the document's, all selected, the view fitted); otherwise as
  // a job (refused with a beep while a job runs) that converts it to the document's rate and
  // splices it in, selecting the recorded audio and moving markers and envelopes by its actual
  // length. A take with another channel count than the document's is remixed first. `done`
  // learns the result; without `done`, a failure goes to the error presenter.
  void finishRecording(std::optional<quar::AudioContent> take, TakeDone done = {}) override;
  // A job runs (jobs().busy() is set).
  bool runsJob() const override { return jobs_.busy().has_value(); }
  void watchContentAndSelection(QObject* context, std::function<void()> changed) override;
  // Makes `tracker` listen to this model's changes.
  void watchChanges(ObservationTracker& tracker) override;

Q_SIGNALS:
  void changed(EditorModel::Property property);
  // cancelBackgroundWork() ran: work on the document's audio started from outside the model
  // (the inspector's statistics) stops as well.
  void backgroundWorkCancelled();

private:
  void track(Property property) const { ObservationScope::record(this, property); }
  void updateCanChangeDocument();
  // Beeps and returns true when the document may not change now.
  bool refusesChange();
  void contentDidChange();

  // Undo snapshots and background jobs.
  EditState snapshot() const;
  // What a job started now would depend on.
  JobRunner::ContentStamp contentStamp() const {
    return {contentVersion_, content_.sampleRate(), content_.channelCount()};
  }
  void restore(const EditState& state);
  void registerUndo(EditState state, const QString& name);
  // restore(next), then one undo step back to the state before.
  void commit(EditState next, const QString& name);
  // Commits a processing job's content (see process()), or presents its error.
  void finishJob(const JobRunner::ContentStamp& stamp, const ProgressToken& token, const QString& name,
                 const std::optional<std::optional<quar::FrameRange>>& selection, const MarkersUpdate& markers,
                 const EnvelopeUpdate& envelope, const JobRunner::Outcome& outcome);

  // Splice edits and the clipboard.
  using ConformedBody = std::function<void(EditorModel& model, const quar::AudioContent& clip)>;
  // Runs `body` with the clip in the document's channel count and sample rate: at once, or after
  // a conversion job when the rates differ.
  void withConformed(quar::AudioContent clip, ConformedBody body);
  // Markers after `range` was replaced by newLength frames: those before stay, those inside stay
  // unless newLength <= 0, those after move by the change in length.
  std::vector<Marker> markersAfterReplacing(quar::FrameRange range, int64_t newLength) const;
  // The selection clamped to the content; none when that leaves nothing.
  std::optional<quar::FrameRange> selectedRange() const;
  // The selection start, else the cursor, within the content: where paste mix and silence go.
  int64_t insertionPoint() const;

  // Selection, snapping and zoom.
  // The default anchor of zoom, markers and bar 1: the playhead while playing, else the
  // selection start, else the cursor.
  int64_t currentPosition() const;

  // Processing edits.
  // The selection, or the whole content without one.
  quar::FrameRange processingRange() const;
  // Whether 10^(db/20) is a finite sample factor (it is applied as a 32-bit float).
  static bool isFiniteGain(double db);
  // The content resampled to `rate` Hz, reporting to the token (a job's work).
  static quar::AudioContent resampled(const quar::AudioContent& content, double rate, ProgressToken& token);

  // Effects, time-pitch and loudness application.
  // Starts the effects job once the rack's chain is built, unless the document changed meanwhile.
  void applyEffectsChain(std::shared_ptr<ProcessorHandoff> handoff, const JobRunner::ContentStamp& stamp,
                         const quar::EnvelopeSet& envelopes, const QString& name, quar::FrameRange range,
                         const std::optional<std::set<int>>& channels, quar::EffectTailMode tail);

  // Recording into the document.
  // Installs a take in the document's channels and rate at `target` (replacing it for `replace`,
  // else inserting at its start) as one undo step named `name`, selecting the take.
  void commitTake(const quar::AudioContent& take, const QString& name, quar::FrameRange target, RecordMode mode);
  // Keeps the record head within the view while recording.
  void followRecordHead();

  Viewport viewport_;
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
  bool showLoudnessLane_;
  double loudnessLaneHeight_;
  double envelopeRangeDB_ = 12;
  bool showInspector_;
  InspectorTab inspectorTab_ = InspectorTab::loudness;
  TimeFormat timeFormat_;
  std::unique_ptr<EffectsRack> rack_;
  std::unique_ptr<Recorder> recorder_;
  std::optional<int64_t> recordHead_;
  std::optional<EditState> recordingBase_;
  quar::FrameRange recordingTarget_;
  RecordMode recordingMode_ = RecordMode::insert;
  bool recordingIntoEmpty_ = false;
  bool liveTakeVisible_ = true;
  bool linkChannelLevels_ = false;
  AnalysisScope analysisScope_ = AnalysisScope::file;
  LoudnessAdjustMode adjustMode_ = LoudnessAdjustMode::target;
  double targetLUFS_;
  double ceilingDBTP_;
  double manualGainDB_ = 0;
  bool limitTruePeaks_ = true;
  bool previewLoudness_ = false;
  bool canChangeDocument_ = true;
  QPointer<UndoManager> undoManager_;
  ErrorPresenter presentError_;

  // Transport and metering.
  // The loudness preview's linear gain: the plan's gain with the preview on, else 1.
  float previewGain() const;
};
