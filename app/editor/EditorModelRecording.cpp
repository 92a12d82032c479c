// EditorModel: recording into the document: the live take and the finished take as one edit.
// The recorder calls beginRecording once when a take starts, updateLiveTake with a growing
// snapshot while it runs and finishRecording once at its end; the document is restored to its
// state before the take, which then becomes one undo step "Record" (or "Record (converted from
// 44100 Hz)") at the cursor, over the selection or at the end. While recording, content changes
// start no analysis. TakeResult tells what became of a finished take; TakeDone learns it once,
// on the GUI thread (unless the model is gone).
#include "editor/EditorModel.h"

#include <algorithm>
#include <limits>

#include "base/Numbers.h"
#include "core/Processing.h"
#include "platform/ErrorAlert.h"
#include "platform/Platform.h"

using quar::AudioContent;
using quar::FrameRange;

// Notes the state before the take and where it goes (`mode`), for a take at `sampleRate` Hz
// with `channelCount` channels; stops playback. The take is shown live only when the document
// is empty or has the take's rate and channel count.
void EditorModel::beginRecording(RecordMode mode, double sampleRate, int channelCount) {
  Platform::assertGuiThread();
  stop(false);
  recordingBase_ = snapshot();
  updateCanChangeDocument();
  recordingMode_ = mode;
  const int64_t n = content_.frameCount();
  recordingIntoEmpty_ = n == 0;
  const int64_t p = insertionPoint();
  if (recordingIntoEmpty_) {
    recordingTarget_ = FrameRange(0, 0);
  } else {
    switch (mode) {
    case RecordMode::insert: recordingTarget_ = FrameRange(p, p); break;
    case RecordMode::replace: recordingTarget_ = selectedRange().value_or(FrameRange(p, p)); break;
    case RecordMode::append: recordingTarget_ = FrameRange(n, n); break;
    }
  }
  setLiveTakeVisible(recordingIntoEmpty_ ||
                     (sampleRate == content_.sampleRate() && channelCount == content_.channelCount()));
  analysis_.setSuspended(true);
  setRecordHead(recordingTarget_.lowerBound);
}

// Moves the record head to the end of the take so far (in document frames), shows the take in
// the document when it can, and keeps the head in view. No undo step.
void EditorModel::updateLiveTake(const AudioContent& take) {
  Platform::assertGuiThread();
  if (!recordingBase_) return;
  const AudioContent& base = recordingBase_->content;
  const int64_t lower = recordingTarget_.lowerBound;
  int64_t length = take.frameCount();
  if (!recordingIntoEmpty_ && take.sampleRate() > 0)
    length = quar::clampedInt(base.sampleRate() / take.sampleRate() * static_cast<double>(take.frameCount()), 0,
                              std::numeric_limits<int64_t>::max() - lower);
  setRecordHead(lower + length);
  if (liveTakeVisible_) {
    if (recordingIntoEmpty_) {
      setContent(take);
    } else if (take.channelCount() == base.channelCount() && take.sampleRate() == base.sampleRate()) {
      AudioContent live = base;
      const int64_t upper = recordingMode_ == RecordMode::replace
                                ? std::min(lower + take.frameCount(), recordingTarget_.upperBound)
                                : lower;
      // A view of the take that finds no room waits for a later snapshot; the take records on.
      if (!failureOf([&] { live.replaceSubrange(FrameRange(lower, upper), take); })) setContent(std::move(live));
    }
  }
  followRecordHead();
}

// Keeps the record head within the view while recording.
void EditorModel::followRecordHead() {
  if (!recordHead_) return;
  const auto head = static_cast<double>(*recordHead_);
  const double span = viewport_.viewWidth() * viewport_.framesPerPoint();
  if (viewport_.scrollFrame() <= head && head <= viewport_.scrollFrame() + span * 0.9) return;
  if (recordingIntoEmpty_) {
    viewport_.zoomToFit();
  } else {
    viewport_.setScrollFrame(head - span * 0.1);
    viewport_.clampScroll();
  }
}

// Restores the state before the take, then adds the take: into an empty document at once
// (its rate and channels become the document's, all selected, the view fitted); otherwise as
// a job (refused with a beep while a job runs) that converts it to the document's rate and
// splices it in, selecting the recorded audio and moving markers and envelopes by its actual
// length. A take with another channel count than the document's is remixed first. `done`
// learns the result; without `done`, a failure goes to the error presenter.
void EditorModel::finishRecording(std::optional<AudioContent> take, TakeDone done) {
  Platform::assertGuiThread();
  if (!done)
    done = [owner = QPointer<EditorModel>(this)](TakeResult result, std::exception_ptr error) {
      if (owner && result == TakeResult::failed) owner->presentError(error);
    };
  analysis_.setSuspended(false);
  setRecordHead(std::nullopt);
  const bool captured = take && take->frameCount() > 0;
  if (!recordingBase_) {
    done(captured ? TakeResult::refused : TakeResult::empty, nullptr);
    return;
  }
  const EditState base = std::move(*recordingBase_);
  recordingBase_.reset();
  updateCanChangeDocument();
  restore(base);
  if (!captured) {
    done(TakeResult::empty, nullptr);
    return;
  }
  if (recordingIntoEmpty_) {
    if (const std::exception_ptr failure = tryEdit(QStringLiteral("Record"), [&](EditState& next) {
          next.content = std::move(*take);
          next.selection = FrameRange(0, next.content.frameCount());
          next.activeChannels = allChannels(next.content.channelCount());
          next.cursor = 0;
        })) {
      done(TakeResult::failed, failure);
      return;
    }
    setFileInfo(std::nullopt);
    viewport_.zoomToFit();
    done(TakeResult::committed, nullptr);
    return;
  }
  const double rate = content_.sampleRate();
  const QString name = take->sampleRate() == rate
                           ? QStringLiteral("Record")
                           : QStringLiteral("Record (converted from %1 Hz)")
                                 .arg(quar::clampedInt(take->sampleRate(), std::numeric_limits<int64_t>::min(),
                                                       std::numeric_limits<int64_t>::max()));
  if (jobs_.busy()) {
    Platform::beep();
    done(TakeResult::refused, nullptr);
    return;
  }
  // The recorder takes the document's channels; a document changed since it armed gets a remix.
  jobs_.run(
      name,
      [take = std::move(*take), rate, channels = content_.channelCount()](ProgressToken& token) {
        const AudioContent conformed =
            take.channelCount() == channels ? take : quar::remixed(take, channels, token.callback());
        return conformed.sampleRate() == rate ? conformed : resampled(conformed, rate, token);
      },
      [this, stamp = contentStamp(), name, target = recordingTarget_,
       mode = recordingMode_, done = std::move(done)](const ProgressToken& token, const JobRunner::Outcome& outcome) {
        if (!outcome.content) {
          if (token.isCancelled() || ErrorAlert::isCancellation(outcome.error))
            done(TakeResult::cancelled, nullptr);
          else
            done(TakeResult::failed, outcome.error);
        } else if (token.isCancelled()) {
          done(TakeResult::cancelled, nullptr);
        } else if (!JobRunner::acceptsResult(token, stamp, contentStamp())) {
          done(TakeResult::refused, nullptr);
        } else if (const std::exception_ptr failure = commitTake(*outcome.content, name, target, mode)) {
          done(TakeResult::failed, failure);
        } else {
          done(TakeResult::committed, nullptr);
        }
      });
}

// Installs a take in the document's channels and rate at `target` (replacing it for `replace`,
// else inserting at its start) as one undo step named `name`, selecting the take. What kept it
// out (no room for compaction's blocks) is returned; null when it went in.
std::exception_ptr EditorModel::commitTake(const AudioContent& take, const QString& name, FrameRange target,
                                           RecordMode mode) {
  const int64_t n = take.frameCount();
  const int64_t lower = std::clamp<int64_t>(target.lowerBound, 0, content_.frameCount());
  const int64_t upper = mode == RecordMode::replace
                            ? std::clamp<int64_t>(std::min(lower + n, target.upperBound), lower, content_.frameCount())
                            : lower;
  const FrameRange replaced(lower, upper);
  return tryEdit(name, [&](EditState& next) {
    next.content.replaceSubrange(replaced, take);
    next.selection = FrameRange(lower, lower + n);
    next.markers = markersAfterReplacing(replaced, n);
    next.envelope = envelopes_.adjusted(replaced, n);
  });
}
