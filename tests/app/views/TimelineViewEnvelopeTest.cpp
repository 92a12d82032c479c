#include <QFocusEvent>
#include <QWheelEvent>

#include "TimelineViewFixture.h"
#include "support/TimeFormat.h"

using quar::FrameRange;

namespace {

using Points = std::vector<std::pair<int64_t, double>>;

// Whether the envelope has exactly these points: the frames equal, the gains within 1e-9 dB
// (a gain read back from a y is not always exact).
testing::AssertionResult hasPoints(const quar::GainEnvelope& envelope, const Points& expected) {
  std::string actual;
  bool same = envelope.points.size() == expected.size();
  for (size_t i = 0; i < envelope.points.size(); ++i) {
    const quar::EnvelopePoint& p = envelope.points[i];
    actual += " " + std::to_string(p.frame) + ":" + std::to_string(p.gainDB);
    if (same) same = p.frame == expected[i].first && std::abs(p.gainDB - expected[i].second) < 1e-9;
  }
  if (same) return testing::AssertionSuccess();
  return testing::AssertionFailure() << "points" << actual;
}

} // namespace

// The loudness lane below y 270 of a 400-point view: the envelope band from y 288 to 394.
class TimelineViewEnvelopeTest : public TimelineViewFixture {
protected:
  void SetUp() override {
    TimelineViewFixture::SetUp();
    model.viewSettings().setShowLoudnessLane(true);
    model.viewSettings().setLoudnessLaneHeight(130);
    view.resize(600, 400);
    settle();
  }
  // The y of a gain at the model's range.
  double yOf(double dB) const { return 341 - 53 * dB / model.viewSettings().envelopeRangeDB(); }
  void wheel(QPointF p, QPoint pixelDelta, QPoint angleDelta, Qt::KeyboardModifiers modifiers) {
    QWheelEvent event(p, view.mapToGlobal(p), pixelDelta, angleDelta, Qt::NoButton, modifiers, Qt::NoScrollPhase,
                      false);
    QCoreApplication::sendEvent(&view, &event);
  }
};

TEST_F(TimelineViewEnvelopeTest, ChipsPickTheEditedEnvelope) {
  const std::vector<TimelineEnvelope::TargetChip> chips = view.targetChips();
  ASSERT_EQ(chips.size(), 3u);
  const QRectF right = chips[1].rect;
  ASSERT_EQ(chips[1].target, 1);
  click({right.left() - 1.5, right.center().y()});
  EXPECT_EQ(model.envelopeTarget(), 1);
  click({chips[0].rect.center().x(), chips[0].rect.bottom() + 2});
  EXPECT_EQ(model.envelopeTarget(), std::nullopt);
  EXPECT_TRUE(model.envelopes().isEmpty());
  EXPECT_FALSE(undo.canUndo());

  // A point added for a channel lands in that channel's envelope, one envelope per channel.
  model.setEnvelopeTarget(0);
  click({300, yOf(3)});
  EXPECT_TRUE(hasPoints(model.envelopes().envelope(0), Points{{30000, 3}}));
  EXPECT_EQ(model.envelopes().channels.size(), 2u);
  EXPECT_TRUE(model.envelopes().master.points.empty());
  model.undo();
  EXPECT_TRUE(model.envelopes().envelope(0).points.empty());
}

TEST_F(TimelineViewEnvelopeTest, PointDragsStopAtZeroDecibelsAndSnapToQuarterBeats) {
  press({300, yOf(2)});
  EXPECT_TRUE(hasPoints(model.targetEnvelope(), Points{{30000, 2}}));
  drag({350, yOf(0.3)});
  EXPECT_TRUE(hasPoints(model.targetEnvelope(), Points{{35000, 0}}));
  const quar::Uuid id = model.targetEnvelope().points[0].id;
  EXPECT_EQ(view.envelopeGesture().draggedPoint, id);
  ASSERT_TRUE(view.envelopeGesture().readout);
  EXPECT_EQ(view.envelopeGesture().readout->text,
            QStringLiteral("+0.0 dB  @ ") + timeString(model.viewSettings().timeFormat(), 35000, 48000));
  EXPECT_FALSE(undo.canUndo());
  release({350, yOf(0.3)});
  EXPECT_EQ(undo.undoActionName(), QStringLiteral("Adjust Gain Point"));
  EXPECT_EQ(view.envelopeGesture().readout, std::nullopt);
  EXPECT_EQ(view.envelopeGesture().draggedPoint, std::nullopt);

  model.viewSettings().setEnvelopeRangeDB(3);
  settle();
  press({350, 341});
  drag({350, yOf(0.3)});
  release({350, yOf(0.3)});
  EXPECT_NEAR(model.targetEnvelope().points[0].gainDB, 0.3, 1e-9);

  model.tempo().setGrid(quar::TempoGrid(120, 4, 0));  // quarter beats 6000 frames apart
  model.tempo().setShowGrid(true);
  model.tempo().setSnapToGrid(true);
  model.setEnvelopes({});
  settle();
  press({70, yOf(1)});
  release({70, yOf(1)});
  EXPECT_EQ(model.targetEnvelope().points[0].frame, 6000);
  press({170, yOf(1)}, Qt::ControlModifier);  // Ctrl keeps the frame
  drag({170, yOf(1)}, Qt::ControlModifier);
  release({170, yOf(1)}, Qt::ControlModifier);
  EXPECT_TRUE(hasPoints(model.targetEnvelope(), Points{{6000, 1}, {17000, 1}}));
}

TEST_F(TimelineViewEnvelopeTest, DoubleClicksAndAltClicksDeletePointsAndUnchangedPressesRecordNothing) {
  doubleClick({300, yOf(3)});
  EXPECT_TRUE(model.targetEnvelope().points.empty());
  EXPECT_EQ(undo.undoActionName(), QStringLiteral("Delete Gain Point"));
  model.undo();
  EXPECT_EQ(undo.undoActionName(), QStringLiteral("Adjust Gain Point"));
  EXPECT_EQ(model.targetEnvelope().points.size(), 1u);
  model.undo();
  EXPECT_FALSE(undo.canUndo());

  quar::EnvelopeSet envelopes;
  envelopes.master.insert(30000, 0);
  model.setEnvelopes(envelopes);
  press({300, 341});
  release({300, 341});
  EXPECT_FALSE(undo.canUndo());
  EXPECT_EQ(model.envelopes(), envelopes);

  click({304, 345}, Qt::AltModifier);
  EXPECT_TRUE(model.targetEnvelope().points.empty());
  EXPECT_EQ(undo.undoActionName(), QStringLiteral("Delete Gain Point"));
}

TEST_F(TimelineViewEnvelopeTest, ShiftDragsMoveASectionWithTenMillisecondRamps) {
  model.setSelection(FrameRange(10000, 30000), std::nullopt);
  press({200, 341}, Qt::ShiftModifier);
  EXPECT_TRUE(hasPoints(model.targetEnvelope(), Points{{9520, 0}, {10000, 0}, {30000, 0}, {30480, 0}}));
  EXPECT_EQ(view.envelopeGesture().highlight, FrameRange(10000, 30000));
  drag({250, yOf(6)}, Qt::ShiftModifier);
  EXPECT_TRUE(hasPoints(model.targetEnvelope(), Points{{9520, 0}, {10000, 6}, {30000, 6}, {30480, 0}}));
  EXPECT_EQ(view.envelopeGesture().readout->text, QStringLiteral("+6.0 dB  (0.417 s)"));
  release({250, yOf(6)});
  EXPECT_EQ(undo.undoActionName(), QStringLiteral("Adjust Gain Section"));
  model.undo();
  EXPECT_TRUE(model.targetEnvelope().points.empty());

  // Between markers; a shift-click without moving still pins the section.
  model.setSelection(std::nullopt);
  model.viewport().setFramesPerPoint(200);
  model.setMarkers({{quar::Uuid::random(), 48000, QStringLiteral("A")}, {quar::Uuid::random(), 96000, QStringLiteral("B")}});
  click({300, 330}, Qt::ShiftModifier);
  EXPECT_TRUE(hasPoints(model.targetEnvelope(), Points{{47520, 0}, {48000, 0}, {96000, 0}, {96480, 0}}));
  EXPECT_EQ(undo.undoActionName(), QStringLiteral("Adjust Gain Section"));
}

TEST_F(TimelineViewEnvelopeTest, BarDragsStartAgainFromThePressOnEveryMove) {
  model.tempo().setGrid(quar::TempoGrid(120, 4, 0));  // 96,000 frames a bar
  model.tempo().setShowGrid(true);
  model.viewport().setFramesPerPoint(800);  // 120 points a bar
  quar::EnvelopeSet envelopes;
  envelopes.master.insert(350000, 3);
  model.setEnvelopes(envelopes);
  settle();

  press({250, 341}, Qt::ShiftModifier);  // bar index 2
  EXPECT_EQ(view.envelopeGesture().highlight, FrameRange(192000, 288000));
  drag({490, yOf(-3)}, Qt::ShiftModifier);  // bar index 4, 3 dB down
  settle();
  ViewTestSupport::savePicture(view.grab().toImage(), QStringLiteral("timeline-envelope-bars"));
  const TimelineEnvelope::Gesture across = view.envelopeGesture();
  EXPECT_EQ(across.highlight, FrameRange(192000, 480000));
  EXPECT_EQ(across.readout->text, QStringLiteral(u"-3.0 dB  \u00B7 bars 3\u20135 (3)"));
  EXPECT_TRUE(hasPoints(model.targetEnvelope(), Points{{191520, 3}, {192000, 0}, {350000, 0}, {480000, 0}, {480480, 3}}));

  drag({260, yOf(-3)}, Qt::ShiftModifier);  // back over bar index 2
  EXPECT_EQ(view.envelopeGesture().readout->text, QStringLiteral(u"-3.0 dB  \u00B7 bar 3"));
  EXPECT_TRUE(hasPoints(model.targetEnvelope(), Points{{191520, 3}, {192000, 0}, {288000, 0}, {288480, 3}, {350000, 3}}));
  release({260, 341});
  EXPECT_EQ(undo.undoActionName(), QStringLiteral("Adjust Bars"));
  EXPECT_EQ(view.envelopeGesture().highlight, std::nullopt);
  model.undo();
  EXPECT_EQ(model.envelopes(), envelopes);
}

TEST_F(TimelineViewEnvelopeTest, ALostReleaseStillMakesOneUndoStep) {
  press({300, yOf(2)});
  drag({320, yOf(4)});
  QFocusEvent out(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
  QCoreApplication::sendEvent(&view, &out);
  EXPECT_EQ(undo.undoActionName(), QStringLiteral("Adjust Gain Point"));
  EXPECT_EQ(view.envelopeGesture().readout, std::nullopt);
  drag({400, yOf(-4)});
  EXPECT_TRUE(hasPoints(model.targetEnvelope(), Points{{32000, 4}}));
  model.undo();
  EXPECT_TRUE(model.targetEnvelope().points.empty());
  EXPECT_FALSE(undo.canUndo());

  // The next press ends a section drag the same way.
  model.setSelection(FrameRange(10000, 30000), std::nullopt);
  press({200, 341}, Qt::ShiftModifier);
  drag({200, yOf(3)}, Qt::ShiftModifier);
  press({500, 100});
  release({500, 100});
  EXPECT_EQ(undo.undoActionName(), QStringLiteral("Adjust Gain Section"));
}

TEST_F(TimelineViewEnvelopeTest, AltScrollingOverTheLaneStepsItsRange) {
  struct Case {
    double from;
    QPoint pixelDelta;
    QPoint angleDelta;
    double to;
  };
  const Case cases[] = {
      {10, {}, {0, 120}, 6}, {10, {}, {0, -120}, 24}, {10, {}, {120, 0}, 6},  // X11 puts an Alt wheel in x
      {12, {0, 3}, {0, 36}, 12}, {12, {0, 5}, {0, 60}, 6}, {3, {}, {0, 120}, 3}, {12, {}, {0, 480}, 6},
  };
  for (const Case& c : cases) {
    model.viewSettings().setEnvelopeRangeDB(c.from);
    wheel({300, 350}, c.pixelDelta, c.angleDelta, Qt::AltModifier);
    EXPECT_EQ(model.viewSettings().envelopeRangeDB(), c.to) << c.from << " " << c.angleDelta.x() << "," << c.angleDelta.y();
  }
  // Over the channel lanes Alt zooms.
  model.viewSettings().setEnvelopeRangeDB(12);
  wheel({300, 100}, {}, {0, 120}, Qt::AltModifier);
  EXPECT_EQ(model.viewSettings().envelopeRangeDB(), 12);
  EXPECT_LT(model.viewport().framesPerPoint(), 100);
}

TEST_F(TimelineViewEnvelopeTest, HoveringAPointEnlargesItAndOffersToGrabIt) {
  quar::EnvelopeSet envelopes;
  envelopes.master.insert(30000, 0);
  model.setEnvelopes(envelopes);
  hover({305, 343});
  EXPECT_EQ(view.envelopeGesture().hoveredPoint, model.targetEnvelope().points[0].id);
  EXPECT_EQ(view.cursor().shape(), Qt::OpenHandCursor);
  hover({320, 343});
  EXPECT_EQ(view.envelopeGesture().hoveredPoint, std::nullopt);
  EXPECT_EQ(view.cursor().shape(), Qt::CrossCursor);
}
