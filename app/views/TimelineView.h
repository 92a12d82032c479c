// TimelineView: the waveform timeline of one document: ruler, channel lanes, selection, markers,
// cursor, loudness lane with the gain envelope and tempo grid, with the play position line on
// top, and the editing surface for them. It holds no document state (only the gesture under
// way): it draws the EditorModel into a backing image at the device-pixel ratio, inside an
// ObservationScope, and redraws that image only when a model property the last drawing read
// changes, the gesture's look changes, or the size, device-pixel ratio or palette changes.
// The play position is painted over the image from a display-rate timer and never redraws it.
// Its first layout fits the document into the view; later ones keep the zoom.
// Input turns into model operations: the mouse places the cursor, selects, grabs selection
// edges, moves markers, scrubs, resizes the loudness lane and edits the gain envelope in it
// (one gesture from press to release, each edit one undo step; a drag past the side scrolls
// 1/30 s at a time; a release that never arrives ends the gesture at focus-out, hide or the
// next press); keys move the cursor, select, play and add markers; the wheel and pinch scroll
// and zoom, and with Alt over the loudness lane step its dB range; the context menu offers the
// commands that the window gives it and the view's own marker items; dropped files open as
// documents. GUI thread.
#pragma once

#include <QImage>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <variant>
#include <vector>

#include "core/GainEnvelope.h"
#include "editor/Marker.h"
#include "views/TimelineEnvelope.h"
#include "views/TimelineEnvelopeEditing.h"
#include "views/TimelineGeometry.h"
#include "views/TimelineLoudness.h"

class EditorModel;
class ObservationTracker;
class QAction;
class QMenu;

class TimelineView final : public QWidget {
  Q_OBJECT
public:
  explicit TimelineView(EditorModel* model, QWidget* parent = nullptr);

  EditorModel* model() const { return model_; }
  // The geometry of the current size over the model.
  TimelineGeometry timelineGeometry() const;

  // Redraws the backing image at the next paint, for state of the view's own that drawing shows.
  void invalidate();
  // The image of the last drawing and how many drawings there have been.
  const QImage& backingImage() const { return backing_; }
  int drawCount() const { return drawCount_; }

  // Where playback is heard, read at display rate while playing: the playback engine's audible
  // position unless replaced.
  void setAudiblePosition(std::function<int64_t()> position) { audiblePosition_ = std::move(position); }
  // One display refresh: moves the play position line (called by the display timer).
  void advancePlayhead();
  // The line's frame in points; none while hidden.
  std::optional<QRectF> playheadFrame() const { return playheadFrame_; }

  // An entry of the context menu as the window gives it: one of its commands, a separator, or
  // the place of the view's own marker items.
  struct ContextEntry {
    enum class Kind { command, separator, markerItems };
    Kind kind = Kind::command;
    // A command's title, shown as given.
    QString title;
    // A command's action in the window, asked for while a context menu is built, just before
    // it shows; none, or null, for a command the window does not offer.
    std::function<QAction*()> action;
  };
  using ContextEntries = std::vector<ContextEntry>;
  void setContextEntries(ContextEntries entries) { contextEntries_ = std::move(entries); }
  // The context menu for a click at `point`, not shown, owned by the caller (parented to the
  // view), with the entries in order. A command appears under its title without a shortcut,
  // enabled and triggered with the window's action (disabled without one); the marker items,
  // "Add Marker Here" and, near a marker, "Remove “name”", act on the model directly.
  QMenu* contextMenu(QPointF point, const ContextEntries& entries);

  // What the gesture in the loudness lane shows: the hovered and the dragged envelope point, the
  // section or bars being dragged and the value read-out.
  TimelineEnvelope::Gesture envelopeGesture() const;
  // The envelope target chips as last drawn, which presses in the lane hit.
  const std::vector<TimelineEnvelope::TargetChip>& targetChips() const { return targetChips_; }

  // One tick of the 1/30 s timer that scrolls while a drag is past the view's side.
  void autoscrollTick();
  bool isAutoscrolling() const { return autoscrollTimer_.isActive(); }

protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  bool event(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

private:
  // A job runs or a take records: the document is not edited until it ends.
  bool documentLocked() const;
  // The gesture of the mouse from press to release (none: std::monostate).
  struct SelectDrag {
    int64_t anchor;  // the frame that stays while the other end follows the pointer
    std::set<int> channels;
  };
  struct MarkerDrag {
    quar::Uuid id;
    std::vector<Marker> original;  // the markers at the press
  };
  struct EnvelopePointDrag {
    quar::Uuid id;
    quar::GainEnvelope original;  // the edited envelope before the press (and any point it added)
  };
  struct EnvelopeSpanDrag {
    TimelineEnvelopeEditing::PreparedSpan points;  // raised or lowered together
    double startY;
    quar::FrameRange span;
    quar::GainEnvelope original;  // before the section was pinned
  };
  struct LaneResizeDrag {
    double startY;
    double startHeight;
  };
  struct EnvelopeBarsDrag {
    int64_t anchorBar;
    double startY;
    quar::GainEnvelope original;  // every update starts again from it
  };
  struct ScrubDrag {};
  using Drag = std::variant<std::monostate, SelectDrag, MarkerDrag, EnvelopePointDrag, EnvelopeSpanDrag,
                            LaneResizeDrag, EnvelopeBarsDrag, ScrubDrag>;

  void redrawBacking(QSize pixels, qreal ratio);

  // Pointer.
  void press(QMouseEvent* event, int clickCount);
  void pressInLanes(QPointF p, Qt::KeyboardModifiers modifiers, int clickCount);
  void pressInRuler(QPointF p, int clickCount);
  // Sets the selection from the select drag's anchor to `frame`; no selection (the cursor at
  // the anchor) when they meet.
  void updateSelection(int64_t frame);
  void applyDrag(QPointF p);
  // Ends the gesture as a release does: a marker or envelope drag becomes one undo step.
  void finishDrag();
  void updateCursor(QPointF p);
  // The context menu's marker items for a click at `point`.
  void addMarkerItems(QMenu& menu, QPointF point);

  // The gain envelope in the loudness lane.
  void envelopeMouseDown(QPointF p, Qt::KeyboardModifiers modifiers, int clickCount);
  void applyEnvelopeDrag(QPointF p);

  // Keys.
  // Moves the cursor by `delta` frames from the selection's edge in that direction, or moves
  // the selection's edge that the cursor is on (extend).
  void moveCursor(int64_t delta, bool extend);

  EditorModel* model_;
  ObservationTracker* tracker_;
  QImage backing_;
  TimelineLoudness::UnderlayCache underlayCache_;  // the loudness lane of the last drawing
  bool backingValid_ = false;
  int drawCount_ = 0;
  QTimer displayTimer_;
  QPointer<QWidget> window_;  // the window the view last appeared in
  std::function<int64_t()> audiblePosition_;
  std::optional<QRectF> playheadFrame_;
  QColor playheadColor_;
  Drag drag_;
  QTimer autoscrollTimer_;
  QPointF lastDragPoint_;  // where the last press or drag event was
  std::optional<quar::Uuid> hoveredPoint_;  // the envelope point under the pointer
  std::optional<TimelineEnvelope::Readout> dragReadout_;
  std::optional<quar::FrameRange> barSpan_;  // the bars of a bar drag
  std::vector<TimelineEnvelope::TargetChip> targetChips_;  // as last drawn
  ContextEntries contextEntries_;
};
