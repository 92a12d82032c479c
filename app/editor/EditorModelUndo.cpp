// EditorModel: undo snapshots, restore, the job runner and the busy state.
#include "editor/EditorModel.h"

#include <QTimer>

#include <algorithm>
#include <cmath>
#include <limits>

#include "base/Numbers.h"
#include "platform/ErrorAlert.h"
#include "platform/JobPool.h"
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

void EditorModel::commit(EditState next, const QString& name) {
  EditState before = snapshot();
  restore(next);
  registerUndo(std::move(before), name);
}

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

EditorModel::ContentStamp EditorModel::contentStamp() const {
  return {contentVersion_, content_.sampleRate(), content_.channelCount()};
}

bool EditorModel::acceptsJobResult(const ProgressToken& token, const ContentStamp& stamp) {
  if (token.isCancelled()) return false;
  if (stamp.version == contentVersion_ && stamp.sampleRate == content_.sampleRate() &&
      stamp.channelCount == content_.channelCount())
    return true;
  Platform::beep();
  return false;
}

void EditorModel::process(const QString& name, JobWork work, std::optional<std::optional<FrameRange>> selection,
                          MarkersUpdate markers, EnvelopeUpdate envelope) {
  Platform::assertGuiThread();
  if (refusesChange()) return;
  runJob(
      name, [work = std::move(work), content = content_](ProgressToken& token) { return work(content, token); },
      [stamp = contentStamp(), name, selection = std::move(selection), markers = std::move(markers),
       envelope = std::move(envelope)](EditorModel& model, const ProgressToken& token, const JobOutcome& outcome) {
        model.finishJob(stamp, token, name, selection, markers, envelope, outcome);
      });
}

void EditorModel::cancelBackgroundWork() {
  if (jobToken_) jobToken_->cancel();
  analysis_.cancel();
}

void EditorModel::runJob(const QString& title, std::function<AudioContent(ProgressToken& token)> work, JobDone done) {
  auto token = std::make_shared<ProgressToken>();
  jobToken_ = token;
  const quar::Uuid id = beginExternalBusy(title, token);
  JobPool::start([owner = QPointer<EditorModel>(this), token, id, work = std::move(work),
                  done = std::move(done)]() mutable {
    JobOutcome outcome;
    try {
      outcome.content = work(*token);
    } catch (...) {
      outcome.error = std::current_exception();
    }
    JobPool::deliver(owner, [id, token, done = std::move(done), outcome = std::move(outcome)](EditorModel& model) {
      if (model.jobToken_ == token) model.jobToken_.reset();
      model.endExternalBusy(id);
      done(model, *token, outcome);
    });
  });
}

void EditorModel::finishJob(const ContentStamp& stamp, const ProgressToken& token, const QString& name,
                            const std::optional<std::optional<FrameRange>>& selection, const MarkersUpdate& markers,
                            const EnvelopeUpdate& envelope, const JobOutcome& outcome) {
  if (!outcome.content) {
    reportJobError(token, outcome.error);
    return;
  }
  if (!acceptsJobResult(token, stamp)) return;
  const AudioContent& result = *outcome.content;
  EditState next = snapshot();
  if (markers) next.markers = markers(result);
  if (envelope) next.envelope = envelope(result);
  if (selection) next.selection = *selection;
  if (result.channelCount() != content_.channelCount()) next.activeChannels = allChannels(result.channelCount());
  next.content = result;
  commit(std::move(next), name);
}

void EditorModel::reportJobError(const ProgressToken& token, const std::exception_ptr& error) {
  if (token.isCancelled() || !error || ErrorAlert::isCancellation(error)) return;
  presentError(error);
}

quar::Uuid EditorModel::beginExternalBusy(const QString& title, std::shared_ptr<ProgressToken> token) {
  Platform::assertGuiThread();
  const quar::Uuid id = quar::Uuid::random();
  setBusy(BusyState{id, title, token, 0});
  if (busyTimer_) {
    busyTimer_->stop();
    busyTimer_->deleteLater();
  }
  busyTimer_ = new QTimer(this);
  busyTimer_->setTimerType(Qt::PreciseTimer);
  busyTimer_->setInterval(50);
  connect(busyTimer_, &QTimer::timeout, this, [this, id, token] { busyTick(id, *token); });
  busyTimer_->start();
  return id;
}

void EditorModel::busyTick(const quar::Uuid& id, const ProgressToken& token) {
  if (!busy_ || busy_->id != id) return;
  BusyState state = *busy_;
  state.fraction = token.fraction();
  setBusy(std::move(state));
}

void EditorModel::endExternalBusy(const quar::Uuid& id) {
  Platform::assertGuiThread();
  if (!busy_ || busy_->id != id) return;
  if (busyTimer_) {
    busyTimer_->stop();
    busyTimer_->deleteLater();
    busyTimer_ = nullptr;
  }
  setBusy(std::nullopt);
}
