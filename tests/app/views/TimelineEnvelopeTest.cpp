#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "ViewTestSupport.h"
#include "views/TimelineEnvelope.h"

using namespace TimelineEnvelope;
using namespace ViewTestSupport;

TEST(TimelineEnvelopeTest, StereoEditsEachChannelOrAllAndMonoOnlyAll) {
  EXPECT_EQ(targets(1), (std::vector<std::optional<int>>{std::nullopt}));
  EXPECT_EQ(targets(2), (std::vector<std::optional<int>>{0, 1, std::nullopt}));
  EXPECT_EQ(targets(6).size(), 7u);
  EXPECT_EQ(wholeDB(12), QStringLiteral("12"));
  EXPECT_EQ(wholeDB(2.9), QStringLiteral("2"));
}

TEST(TimelineEnvelopeTest, TheReadOutFlipsAwayFromTheRightEdgeAndTheLanesTop) {
  const QSizeF text(80, 14);
  struct Case {
    QPointF at;
    QRectF box;
  };
  for (const Case& c : {Case{{100, 350}, {112, 326, 92, 20}}, Case{{520, 350}, {416, 326, 92, 20}},
                        Case{{100, 280}, {112, 290, 92, 20}}, Case{{520, 280}, {416, 290, 92, 20}}})
    EXPECT_EQ(readoutBox(text, c.at, 600, 270), c.box) << c.at.x() << "," << c.at.y();
}

TEST(TimelineEnvelopeTest, CurvesAreSampledAcrossTheView) {
  TimelineGeometry g;
  g.width = 600;
  g.height = 400;
  g.framesPerPoint = 100;
  g.showLoudnessLane = true;
  g.loudnessLaneHeight = 130;
  quar::GainEnvelope envelope;
  envelope.insert(10000, 24);  // beyond the 12 dB range: on the band's top edge
  envelope.insert(30000, -6);
  const QPolygonF line = curve(envelope, g, 2);
  ASSERT_EQ(line.size(), 302);
  EXPECT_EQ(line.back().x(), 602);
  EXPECT_EQ(line[0].y(), g.envelopeBand().top());
  EXPECT_EQ(line[150].y(), g.envelopeY(-6));
  EXPECT_EQ(curve(envelope, g, 4).size(), 152);
}

class TimelineEnvelopeDrawing : public AppTest {
protected:
  static QImage draw(const EditorModel& model, std::vector<TargetChip>* chips = nullptr, const Gesture& gesture = {}) {
    QImage image(QSize(600, 400) * 2, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2);
    TimelineCanvas canvas(image, model, palette(false));
    canvas.gesture = gesture;
    canvas.drawEverything();
    if (chips) *chips = canvas.targetChips;
    return image;
  }
};

TEST_F(TimelineEnvelopeDrawing, ChipsPickTheEditedEnvelopeAndMarkThoseWithPoints) {
  EditorModel model(music(480000), std::nullopt);
  model.viewSettings().setShowLoudnessLane(true);
  model.viewSettings().setLoudnessLaneHeight(130);
  model.viewport().setViewWidth(600);
  model.viewport().setFramesPerPoint(800);
  quar::EnvelopeSet envelopes;
  envelopes.master.insert(100000, -6);
  envelopes.master.insert(300000, 3);
  envelopes.setEnvelope(0, quar::GainEnvelope({quar::EnvelopePoint(200000, 6), quar::EnvelopePoint(400000, -3)}));
  model.setEnvelopes(envelopes);
  model.setEnvelopeTarget(0);

  std::vector<TargetChip> chips;
  QImage image = draw(model, &chips, {std::nullopt, std::nullopt, quar::FrameRange(240000, 320000),
                                      Readout{QStringLiteral("+6.0 dB  @ 0:05.000"), QPointF(300, 320)}});
  savePicture(image, QStringLiteral("timeline-envelope"));
  ASSERT_EQ(chips.size(), 3u);
  // Drawn from the right: All, R, L; so the row reads L R All.
  EXPECT_EQ(chips[0].target, std::nullopt);
  EXPECT_EQ(chips[1].target, 1);
  EXPECT_EQ(chips[2].target, 0);
  EXPECT_EQ(chips[0].rect.right(), 560);
  EXPECT_EQ(chips[1].rect.right(), chips[0].rect.left() - 4);
  for (const TargetChip& chip : chips) {
    EXPECT_EQ(chip.rect.top(), 273);
    EXPECT_EQ(chip.rect.height(), 15);
  }
  const QColor envelope = Theme::envelope.light;
  const auto dot = [&](const TargetChip& chip) { return pixel(image, chip.rect.right() - 2, chip.rect.top() + 1); };
  EXPECT_EQ(pixel(image, chips[2].rect.left() + 3, chips[2].rect.center().y()), envelope);  // L: selected, filled
  EXPECT_EQ(dot(chips[0]), envelope);  // All carries points
  EXPECT_NE(dot(chips[1]), envelope);  // R does not

  model.setEnvelopeTarget(std::nullopt);
  savePicture(draw(model), QStringLiteral("timeline-envelope-master"));

  EditorModel mono(constant(480000, 0.25f, 1), std::nullopt);
  mono.viewSettings().setShowLoudnessLane(true);
  draw(mono, &chips);
  EXPECT_TRUE(chips.empty());
}

TEST_F(TimelineEnvelopeDrawing, TheEditedCurveIsFaintWithoutPointsAndFilledTowardsZeroWhenNotFlat) {
  EditorModel model(constant(480000, 0, 1), std::nullopt);
  model.viewSettings().setShowLoudnessLane(true);
  model.viewSettings().setLoudnessLaneHeight(130);
  model.viewport().setViewWidth(600);
  model.viewport().setFramesPerPoint(100);
  const QColor lane = Theme::laneBackground.light;
  const auto at = [](double alpha) {
    QColor color = Theme::envelope.light;
    color.setAlphaF(static_cast<float>(alpha));
    return color;
  };
  // Antialiased strokes may round the blend one step away from a fill's.
  const auto near = [](const QColor& a, const QColor& b) {
    return std::abs(a.red() - b.red()) <= 1 && std::abs(a.green() - b.green()) <= 1 && std::abs(a.blue() - b.blue()) <= 1;
  };
  // 0 dB lies at y 341 in a 130-point lane of a 400-point view; +6 dB at 314.5.
  EXPECT_TRUE(near(pixel(draw(model), 300, 340.75), over(at(0.45), lane)));

  quar::EnvelopeSet flat;
  flat.master.insert(10000, 0);
  model.setEnvelopes(flat);
  QImage image = draw(model);
  EXPECT_TRUE(near(pixel(image, 300, 340.75), over(at(0.95), lane)));
  EXPECT_EQ(pixel(image, 300, 330), lane);

  quar::EnvelopeSet boost;
  boost.master.insert(10000, 6);
  model.setEnvelopes(boost);
  image = draw(model);
  EXPECT_TRUE(near(pixel(image, 300, 314.75), over(at(0.95), lane)));
  EXPECT_EQ(pixel(image, 300, 330), over(Theme::envelopeFill.light, lane));
  EXPECT_EQ(pixel(image, 300, 350), lane);
}
