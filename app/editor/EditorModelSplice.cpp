// EditorModel: splice edits (copy, cut and delete, trim, paste, paste mix, insert silence, swap
// channels) and the conforming of pasted audio. Immediate on the GUI thread, one undo step each
// (copy none), refused with a beep unless canChangeDocument(); only a clip at another sample rate
// is converted in a job ("Converting clipboard sample rate") before it is pasted, and dropped
// with a beep if the content changed meanwhile. Each goes through edit(): one that finds no room
// for the blocks it makes (silencing, remixing, mixing, silence, compaction) changes nothing.
#include "editor/EditorModel.h"

#include <algorithm>

#include "core/Processing.h"
#include "platform/Platform.h"
#include "support/AudioClipboard.h"

using quar::AudioContent;
using quar::FrameRange;

namespace {

// The clipboard's clip when it holds any frames.
std::optional<AudioContent> clipToPaste() {
  const std::optional<AudioContent>& clip = AudioClipboard::shared().content();
  if (!clip || clip->isEmpty()) return std::nullopt;
  return clip;
}

} // namespace

// The selection clamped to the content; none when that leaves nothing.
std::optional<FrameRange> EditorModel::selectedRange() const {
  if (!selection_) return std::nullopt;
  const FrameRange range = selection_->clamped({0, content_.frameCount()});
  if (range.isEmpty()) return std::nullopt;
  return range;
}

// The selection start, else the cursor, within the content: where paste mix and silence go.
int64_t EditorModel::insertionPoint() const {
  return std::clamp<int64_t>(selection_ ? selection_->lowerBound : cursor_, 0, content_.frameCount());
}

// Markers after `range` was replaced by newLength frames: those before stay, those inside stay
// unless newLength <= 0, those after move by the change in length.
std::vector<Marker> EditorModel::markersAfterReplacing(FrameRange range, int64_t newLength) const {
  const int64_t delta = newLength - range.count();
  std::vector<Marker> result;
  result.reserve(markers_.size());
  for (Marker marker : markers_) {
    if (marker.frame >= range.upperBound)
      marker.frame += delta;
    else if (marker.frame >= range.lowerBound && newLength <= 0)
      continue;
    result.push_back(std::move(marker));
  }
  return result;
}

// The frames of `range` in the active channels (in index order): what copy and cut put on the
// clipboard. Makes blocks when only some channels are active.
AudioContent EditorModel::clipOf(FrameRange range) const {
  AudioContent clip = content_.slice(range);
  if (const std::optional<std::set<int>> target = targetChannels()) {
    std::vector<int> order;  // ascending, as the set is ordered
    for (int c : *target)
      if (c >= 0 && c < clip.channelCount()) order.push_back(c);
    if (!order.empty()) clip = quar::rearrangingChannels(clip, order);
  }
  return clip;
}

// The deletion of `range` in `next`: the frames removed, or silenced in the active channels when
// only some are active.
void EditorModel::deleting(EditState& next, FrameRange range) const {
  if (const std::optional<std::set<int>> target = targetChannels()) {
    next.content = quar::silenced(content_, range, target);
    return;
  }
  next.content.removeSubrange(range);
  next.selection = std::nullopt;
  next.cursor = range.lowerBound;
  next.markers = markersAfterReplacing(range, 0);
  next.envelope = envelopes_.adjusted(range, 0);
}

// Puts the selection of the active channels on the clipboard; a clip that cannot be made leaves
// the clipboard as it was.
void EditorModel::copy() {
  Platform::assertGuiThread();
  const std::optional<FrameRange> range = selectedRange();
  if (!range) return;
  std::optional<AudioContent> clip;
  if (const std::exception_ptr failure = failureOf([&] { clip = clipOf(*range); })) {
    presentError(failure);
    return;
  }
  AudioClipboard::shared().store(std::move(*clip));
}

// "Cut": copy() and deleteSelection() as one edit: when either fails, neither the clipboard nor
// the document changes.
void EditorModel::cut() {
  Platform::assertGuiThread();
  if (refusesChange()) return;
  const std::optional<FrameRange> range = selectedRange();
  if (!range) return;
  std::optional<AudioContent> clip;
  if (edit(QStringLiteral("Cut"), [&](EditState& next) {
        clip = clipOf(*range);
        deleting(next, *range);
      }))
    AudioClipboard::shared().store(std::move(*clip));
}

// "Delete" (or another name): removes the selection, or silences it in the active channels
// when only some are active.
void EditorModel::deleteSelection(const QString& name) {
  Platform::assertGuiThread();
  if (refusesChange()) return;
  const std::optional<FrameRange> range = selectedRange();
  if (!range) return;
  edit(name, [&](EditState& next) { deleting(next, *range); });
}

// Keeps only the selection (all channels), then fits the view. "Trim".
void EditorModel::trimToSelection() {
  Platform::assertGuiThread();
  if (refusesChange()) return;
  const std::optional<FrameRange> range = selectedRange();
  if (!range) return;
  const int64_t l = range->lowerBound, u = range->upperBound;
  const bool trimmed = edit(QStringLiteral("Trim"), [&](EditState& next) {
    next.content = content_.slice(*range);
    next.markers.clear();
    for (Marker marker : markers_)
      if (range->contains(marker.frame)) {
        marker.frame -= l;
        next.markers.push_back(std::move(marker));
      }
    next.envelope = envelopes_.adjusted({u, content_.frameCount()}, 0).adjusted({0, l}, 0);
    next.selection = std::nullopt;
    next.cursor = 0;
  });
  if (trimmed) viewport_.zoomToFit();
}

// Replaces the selection (or inserts at the cursor) with the clip in every channel, conformed
// to the document's channel count and rate; into an empty document the clip is taken as is.
void EditorModel::paste() {
  Platform::assertGuiThread();
  if (refusesChange()) return;
  const std::optional<AudioContent> clip = clipToPaste();
  if (!clip) return;
  if (content_.isEmpty()) {
    const bool pasted = edit(QStringLiteral("Paste"), [&](EditState& next) {
      next.content = *clip;
      next.selection = FrameRange(0, clip->frameCount());
      next.activeChannels = allChannels(clip->channelCount());
    });
    if (pasted) viewport_.zoomToFit();
    return;
  }
  const int64_t at = insertionPoint();
  const FrameRange target = selectedRange().value_or(FrameRange(at, at));
  withConformed(*clip, [target](EditorModel& model, const AudioContent& conformed) {
    model.edit(QStringLiteral("Paste"), [&](EditState& next) {
      const int64_t length = conformed.frameCount();
      next.content.replaceSubrange(target, conformed);
      next.selection = FrameRange(target.lowerBound, target.lowerBound + length);
      next.markers = model.markersAfterReplacing(target, length);
      next.envelope = model.envelopes_.adjusted(target, length);
    });
  });
}

// Mixes the conformed clip in at the selection start or the cursor; nothing on an empty document.
void EditorModel::pasteMix() {
  Platform::assertGuiThread();
  if (refusesChange()) return;
  const std::optional<AudioContent> clip = clipToPaste();
  if (!clip || content_.isEmpty()) return;
  const int64_t at = insertionPoint();
  withConformed(*clip, [at](EditorModel& model, const AudioContent& conformed) {
    model.edit(QStringLiteral("Paste Mix"), [&](EditState& next) {
      next.content = quar::mixing(model.content_, conformed, at, 0.0);
      next.selection = FrameRange(at, at + conformed.frameCount());
    });
  });
}

// Inserts `frames` of silence at the selection start or the cursor and selects it.
void EditorModel::insertSilence(int64_t frames) {
  Platform::assertGuiThread();
  if (refusesChange()) return;
  if (frames <= 0) return;
  const int64_t at = insertionPoint();
  const FrameRange insertion(at, at);
  edit(QStringLiteral("Insert Silence"), [&](EditState& next) {
    next.content.replaceSubrange(insertion,
                                 AudioContent::silence(frames, content_.channelCount(), content_.sampleRate()));
    next.selection = FrameRange(at, at + frames);
    next.markers = markersAfterReplacing(insertion, frames);
    next.envelope = envelopes_.adjusted(insertion, frames);
  });
}

// Exchanges the two channels of a stereo document.
void EditorModel::swapChannels() {
  Platform::assertGuiThread();
  if (refusesChange()) return;
  if (content_.channelCount() != 2) return;
  edit(QStringLiteral("Swap Channels"),
       [&](EditState& next) { next.content = quar::rearrangingChannels(content_, {1, 0}); });
}

// Runs `body` with the clip in the document's channel count and sample rate: at once, or after
// a conversion job when the rates differ. A remix that cannot be made is presented instead.
void EditorModel::withConformed(AudioContent clip, std::function<void(EditorModel&, const AudioContent&)> body) {
  if (clip.channelCount() != content_.channelCount())
    if (const std::exception_ptr failure = failureOf([&] { clip = quar::remixed(clip, content_.channelCount()); })) {
      presentError(failure);
      return;
    }
  if (clip.sampleRate() == content_.sampleRate()) {
    body(*this, clip);
    return;
  }
  jobs_.run(
      QStringLiteral("Converting clipboard sample rate"),
      [clip = std::move(clip), rate = content_.sampleRate()](ProgressToken& token) {
        return resampled(clip, rate, token);
      },
      [this, stamp = contentStamp(),
       body = std::move(body)](const ProgressToken& token, const JobRunner::Outcome& outcome) {
        if (!outcome.content) {
          if (JobRunner::reportsError(token, outcome.error)) presentError(outcome.error);
        } else if (JobRunner::acceptsResult(token, stamp, contentStamp())) {
          body(*this, *outcome.content);
        }
      });
}
