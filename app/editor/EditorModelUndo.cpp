// EditorModel: undo snapshots, restore, and processing jobs committed as undo steps.
#include "editor/EditorModel.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

#include "base/Numbers.h"
#include "base/QuarError.h"
#include "platform/Platform.h"

using quar::AudioContent;
using quar::FrameRange;

namespace {

// The grid for content at `ratio` times the old sample rate: the downbeat scaled and rounded
// (held within the frame range), the tempo held within [20, 400].
quar::TempoGrid scaledGrid(const quar::TempoGrid& grid, double ratio) {
  const int64_t downbeat = quar::clampedInt(std::round(ratio * static_cast<double>(grid.downbeatFrame)),
                                            std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max());
  return quar::TempoGrid(grid.bpm, grid.beatsPerBar, downbeat);
}

} // namespace

// What a job started now would depend on.
JobRunner::ContentStamp EditorModel::contentStamp() const {
  return {contentVersion_, content_.sampleRate(), content_.channelCount()};
}

EditState EditorModel::snapshot() const {
  return EditState{content_, selection_, activeChannels_, cursor_, markers_, envelopes_};
}

void EditorModel::restore(const EditState& state) {
  const AudioContent& next = state.content;
  const bool formatChanged =
      next.sampleRate() != content_.sampleRate() || next.channelCount() != content_.channelCount();
  if (next.sampleRate() != content_.sampleRate() && content_.sampleRate() > 0) {
    const double ratio = next.sampleRate() / content_.sampleRate();
    viewport_.setFramesPerPoint(viewport_.framesPerPoint() * ratio);
    viewport_.setScrollFrame(viewport_.scrollFrame() * ratio);
    tempo_.setGrid(scaledGrid(tempo_.grid(), ratio));
  }
  const int channels = next.channelCount();
  setEnvelopes(state.envelope.fitted(channels));
  if (envelopeTarget_ && *envelopeTarget_ >= channels) setEnvelopeTarget(std::nullopt);
  // A step that left the audio alone (markers, envelopes, selection) is no content change: no new
  // version, no re-analysis, and a running job's result stays valid.
  const bool contentChanged = !content_.isIdentical(next);
  if (contentChanged) setContent(next);
  const int64_t n = content_.frameCount();
  if (state.selection)
    setSelection(state.selection->clamped({0, n}));
  else
    setSelection(std::nullopt);
  std::set<int> active;
  for (int c : state.activeChannels)
    if (c >= 0 && c < channels) active.insert(c);
  setActiveChannels(active.empty() ? allChannels(channels) : std::move(active));
  setCursor(std::clamp<int64_t>(state.cursor, 0, n));
  setMarkers(state.markers);
  if (transport_.isPlaying()) {
    if (formatChanged)
      stop(false);
    else
      transport_.player().replaceContent(content_, playRange());
  }
  if (transport_.meter().peakDB.size() != static_cast<size_t>(channels))
    transport_.setMeter(MeterReading::resting(channels));
  viewport_.clampScroll();
}

void EditorModel::registerUndo(EditState state, const QString& name) {
  if (!undoManager_) return;
  undoManager_->registerUndo([model = QPointer<EditorModel>(this), state = std::move(state), name] {
    if (!model) return;
    EditState current = model->snapshot();
    model->restore(state);
    model->registerUndo(std::move(current), name);
  });
  undoManager_->setActionName(name);
}

// What every change goes through: `build` makes the next state from a snapshot of this one
// (sharing its blocks); then the model shows it, with one undo step named `name` back to the
// state before. When building fails for want of disk space or memory, nothing changes and the
// failure is presented. Whether it committed.
bool EditorModel::edit(const QString& name, const std::function<void(EditState& next)>& build) {
  if (const std::exception_ptr failure = tryEdit(name, build)) {
    presentError(failure);
    return false;
  }
  return true;
}

// edit() that returns the failure (null when it committed) instead of presenting it.
std::exception_ptr EditorModel::tryEdit(const QString& name, const std::function<void(EditState& next)>& build) {
  std::optional<EditState> before, next;
  if (const std::exception_ptr failure = failureOf([&] {
        before = snapshot();
        next = before;
        build(*next);
      }))
    return failure;
  restore(*next);
  registerUndo(std::move(*before), name);
  return nullptr;
}

// Runs `work`; returns what it threw as a QuarError (no room on the disk for new audio, or
// another failure the kit tells the user of) or std::bad_alloc (no memory), null when it ran
// through. Work that makes new audio on the GUI thread runs here, so that such a failure never
// leaves an event handler.
std::exception_ptr EditorModel::failureOf(const std::function<void()>& work) {
  try {
    work();
  } catch (const quar::QuarError&) {
    return std::current_exception();
  } catch (const std::bad_alloc&) {
    return std::current_exception();
  }
  return nullptr;
}

// The document's Undo and Redo; refused with a beep unless canChangeDocument().
void EditorModel::undo() {
  Platform::assertGuiThread();
  if (refusesChange()) return;
  if (undoManager_) undoManager_->undo();
}

void EditorModel::redo() {
  Platform::assertGuiThread();
  if (refusesChange()) return;
  if (undoManager_) undoManager_->redo();
}

// Runs `work` as the one background job and commits its content as one undo step named `name`.
// Refused with a beep unless canChangeDocument(). `selection`: absent keeps the selection, a
// present none clears it, a range sets it. The commit is dropped when the job was cancelled,
// and dropped with a beep when the document's content changed since the job started; an error
// other than a cancellation goes to the error presenter.
void EditorModel::process(const QString& name, JobWork work, std::optional<std::optional<FrameRange>> selection,
                          MarkersUpdate markers, EnvelopeUpdate envelope) {
  Platform::assertGuiThread();
  if (refusesChange()) return;
  jobs_.run(
      name, [work = std::move(work), content = content_](ProgressToken& token) { return work(content, token); },
      [this, stamp = contentStamp(), name, selection = std::move(selection),
       markers = std::move(markers), envelope = std::move(envelope)](const ProgressToken& token,
                                                                     const JobRunner::Outcome& outcome) {
        finishJob(stamp, token, name, selection, markers, envelope, outcome);
      });
}

// Cancels the running job, the analyses and a tempo detection: they stop at their next
// progress check and let go of their audio, their results dropped; what others measure of
// the document (backgroundWorkCancelled) stops too. For a closing document; the destructor
// does it too.
void EditorModel::cancelBackgroundWork() {
  jobs_.cancel();
  analysis_.cancel();
  tempo_.cancelDetection();
  Q_EMIT backgroundWorkCancelled();
}

// Commits a processing job's content (see process()), or presents its error.
void EditorModel::finishJob(const JobRunner::ContentStamp& stamp, const ProgressToken& token, const QString& name,
                            const std::optional<std::optional<FrameRange>>& selection, const MarkersUpdate& markers,
                            const EnvelopeUpdate& envelope, const JobRunner::Outcome& outcome) {
  if (!outcome.content) {
    if (JobRunner::reportsError(token, outcome.error)) presentError(outcome.error);
    return;
  }
  if (!JobRunner::acceptsResult(token, stamp, contentStamp())) return;
  const AudioContent& result = *outcome.content;
  edit(name, [&](EditState& next) {
    if (markers) next.markers = markers(result);
    if (envelope) next.envelope = envelope(result);
    if (selection) next.selection = *selection;
    if (result.channelCount() != content_.channelCount()) next.activeChannels = allChannels(result.channelCount());
    next.content = result;
  });
}
