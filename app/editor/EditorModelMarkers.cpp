// EditorModel: adding, removing, renaming and moving markers, and jumping between them. Markers
// are kept sorted by frame (stable) except during a live move; each change is one undo step,
// refused with a beep unless canChangeDocument() (a refused drag goes back to where it began).
#include "editor/EditorModel.h"

#include <algorithm>

#include "platform/Platform.h"

namespace {

void sortByFrame(std::vector<Marker>& markers) {
  std::stable_sort(markers.begin(), markers.end(), [](const Marker& a, const Marker& b) { return a.frame < b.frame; });
}

// Index of the first marker with the id.
std::optional<size_t> indexOf(const std::vector<Marker>& markers, const quar::Uuid& id) {
  const auto it = std::find_if(markers.begin(), markers.end(), [&](const Marker& m) { return m.id == id; });
  if (it == markers.end()) return std::nullopt;
  return static_cast<size_t>(it - markers.begin());
}

} // namespace

// Adds "Marker n" at the frame (default: the playhead while playing, else the selection start,
// else the cursor). "Add Marker".
void EditorModel::addMarker(std::optional<int64_t> frame) {
  Platform::assertGuiThread();
  if (refusesChange()) return;
  const QString name = QStringLiteral("Marker ") + QString::number(markers_.size() + 1);
  edit(QStringLiteral("Add Marker"), [&](EditState& next) {
    next.markers.push_back(Marker{quar::Uuid::random(), frame.value_or(currentPosition()), name});
    sortByFrame(next.markers);
  });
}

// "Remove Marker"; recorded even when no marker has the id.
void EditorModel::removeMarker(const quar::Uuid& id) {
  Platform::assertGuiThread();
  if (refusesChange()) return;
  edit(QStringLiteral("Remove Marker"),
       [&](EditState& next) { std::erase_if(next.markers, [&](const Marker& m) { return m.id == id; }); });
}

// "Rename Marker"; nothing when the name is unchanged or no marker has the id.
void EditorModel::renameMarker(const quar::Uuid& id, const QString& name) {
  Platform::assertGuiThread();
  if (refusesChange()) return;
  const std::optional<size_t> index = indexOf(markers_, id);
  if (!index || markers_[*index].name == name) return;
  edit(QStringLiteral("Rename Marker"), [&](EditState& next) { next.markers[*index].name = name; });
}

// Moves to the frame clamped to the content: live (in place, unsorted, no undo) or as one step
// "Move Marker".
void EditorModel::moveMarker(const quar::Uuid& id, int64_t frame, bool registerUndo) {
  Platform::assertGuiThread();
  if (refusesChange()) return;
  const std::optional<size_t> index = indexOf(markers_, id);
  if (!index) return;
  const int64_t to = std::clamp<int64_t>(frame, 0, content_.frameCount());
  if (!registerUndo) {
    std::vector<Marker> moved = markers_;
    moved[*index].frame = to;
    setMarkers(std::move(moved));
    return;
  }
  edit(QStringLiteral("Move Marker"), [&](EditState& next) {
    next.markers[*index].frame = to;
    sortByFrame(next.markers);
  });
}

// Turns a finished live drag into one "Move Marker" step back to `original` (the markers
// before the drag).
void EditorModel::endMarkerDrag(const std::vector<Marker>& original) {
  Platform::assertGuiThread();
  if (markers_ == original) return;
  if (refusesChange()) {
    setMarkers(original);  // no step was recorded for the live moves
    return;
  }
  std::vector<Marker> dragged = markers_;
  sortByFrame(dragged);
  setMarkers(original);
  edit(QStringLiteral("Move Marker"), [&](EditState& next) { next.markers = std::move(dragged); });
}

// Seeks to the next marker more than one frame after the position, or the previous one more
// than one frame before it (frame 0 when there is none).
void EditorModel::jumpToMarker(bool next) {
  Platform::assertGuiThread();
  const int64_t position = transport_.isPlaying() ? transport_.playhead() : cursor_;
  if (next) {
    const auto it =
        std::find_if(markers_.begin(), markers_.end(), [&](const Marker& m) { return m.frame > position + 1; });
    if (it != markers_.end()) seek(it->frame);
    return;
  }
  const auto it =
      std::find_if(markers_.rbegin(), markers_.rend(), [&](const Marker& m) { return m.frame < position - 1; });
  seek(it != markers_.rend() ? it->frame : 0);
}
