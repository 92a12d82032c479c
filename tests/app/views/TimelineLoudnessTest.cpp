#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "AppTestSupport.h"
#include "ViewTestSupport.h"
#include "widgets/TextDrawing.h"
#include "views/TimelineEnvelope.h"
#include "views/TimelineLoudness.h"

using namespace TimelineLoudness;
using namespace ViewTestSupport;

namespace {

const QRectF lane70(0, 230, 600, 70);

// 4800 frames a hop; 600 points at 100 frames per point from frame 480,000.
CurveSpan middleSpan() { return {4800, 480000, 100, 600, 600}; }

std::vector<double> xs(const std::vector<QPolygonF>& runs) {
  std::vector<double> result;
  for (const QPolygonF& run : runs)
    for (const QPointF& p : run) result.push_back(p.x());
  return result;
}

} // namespace

TEST(TimelineLoudnessTest, TheScaleRunsFromZeroLufsAtTheTopToMinus54AtTheBottom) {
  EXPECT_EQ(y(0, lane70), 244);
  EXPECT_EQ(y(-54, lane70), 296);
  EXPECT_EQ(y(-27, lane70), 270);
  EXPECT_EQ(y(-60, lane70), 296);
  EXPECT_EQ(y(3, lane70), 244);
}

TEST(TimelineLoudnessTest, CurvesRunFromTwoHopsLeftOfTheViewToTwoHopsRightOfIt) {
  const std::vector<float> values(1000, -20.0f);
  const std::vector<QPolygonF> runs = curve(values, middleSpan(), nullptr, 2, lane70);
  ASSERT_EQ(runs.size(), 1u);
  // Values [98, 114], value i at frame 4800 * (i + 1).
  const std::vector<double> x = xs(runs);
  ASSERT_EQ(x.size(), 17u);
  EXPECT_EQ(x.front(), (4800.0 * 99 - 480000) / 100);
  EXPECT_EQ(x.back(), (4800.0 * 115 - 480000) / 100);
  for (const QPointF& p : runs[0]) EXPECT_EQ(p.y(), y(-20, lane70));

  // Near the end of the values the curve stops at the last one.
  const std::vector<QPolygonF> end = curve(std::vector<float>(105, -20.0f), middleSpan(), nullptr, 2, lane70);
  EXPECT_EQ(xs(end).size(), 7u);
}

TEST(TimelineLoudnessTest, SilenceBreaksTheCurve) {
  std::vector<float> values(1000, -30.0f);
  values[103] = -100;
  values[104] = -100.5f;
  values[108] = -150;
  const std::vector<QPolygonF> runs = curve(values, middleSpan(), nullptr, 1, lane70);
  ASSERT_EQ(runs.size(), 3u);
  EXPECT_EQ(runs[0].size(), 5);  // [98, 102]
  EXPECT_EQ(runs[1].size(), 3);  // [105, 107]
  EXPECT_EQ(runs[2].size(), 6);  // [109, 114]
}

TEST(TimelineLoudnessTest, NoCurveWithoutAUsableHop) {
  const std::vector<float> values(1000, -20.0f);
  for (const double hop : {0.0, -4800.0, double(NAN), double(INFINITY)}) {
    CurveSpan span = middleSpan();
    span.hop = hop;
    EXPECT_TRUE(curve(values, span, nullptr, 2, lane70).empty()) << hop;
  }
  EXPECT_TRUE(curve({}, middleSpan(), nullptr, 2, lane70).empty());
}

TEST(TimelineLoudnessTest, ValuesSharingAPointShowTheirPeak) {
  std::vector<float> values(100000, -40.0f);
  values[50011] = -10;
  // 10 points wide over the whole file: 10,000 values a point.
  const CurveSpan span{4800, 0, 4800.0 * 100000 / 10, 10, 10};
  const std::vector<QPolygonF> runs = curve(values, span, nullptr, 1, lane70);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_LE(runs[0].size(), 12);
  int peaks = 0;
  for (const QPointF& p : runs[0]) peaks += p.y() == y(-10, lane70);
  EXPECT_EQ(peaks, 1);
}

TEST(TimelineLoudnessTest, EnvelopesShiftTheCurvesByTheirMeanPowerGain) {
  const std::vector<float> values(1000, -30.0f);
  quar::EnvelopeSet master;
  master.master.insert(0, 6);
  quar::EnvelopeSet left;
  left.setEnvelope(0, quar::GainEnvelope({quar::EnvelopePoint(0, 6)}));
  left.setEnvelope(1, quar::GainEnvelope());
  const double stereoShift = 10 * std::log10((std::pow(10, 0.6) + 1) / 2);
  EXPECT_NEAR(stereoShift, 3.96, 0.005);
  EXPECT_NEAR(envelopeShiftDB(master, 2, 1000), 6, 1e-12);
  EXPECT_NEAR(envelopeShiftDB(left, 2, 1000), stereoShift, 1e-12);
  const std::vector<QPolygonF> raised = curve(values, middleSpan(), &master, 2, lane70);
  for (const QPointF& p : raised.at(0)) EXPECT_NEAR(p.y(), y(-24, lane70), 1e-9);
  const std::vector<QPolygonF> leftRaised = curve(values, middleSpan(), &left, 2, lane70);
  for (const QPointF& p : leftRaised.at(0)) EXPECT_NEAR(p.y(), y(-30 + stereoShift, lane70), 1e-9);

  // The gain five hops before a value's place applies; silence stays silent.
  quar::EnvelopeSet step;
  step.master.insert(4800 * 104, 0);
  step.master.insert(4800 * 105, -12);
  std::vector<float> withSilence = values;
  withSilence[112] = -101;
  const std::vector<QPolygonF> runs = curve(withSilence, middleSpan(), &step, 1, lane70);
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_NEAR(runs[0][110 - 98].y(), y(-42, lane70), 1e-9);  // value 110 at 111 hops, gain at 106
  EXPECT_NEAR(runs[0][108 - 98].y(), y(-30, lane70), 1e-9);  // gain at 104
}

TEST(TimelineLoudnessTest, TheLegendShowsTheIntegratedFigureOnlyWhenFinite) {
  using Kind = LegendRun::Kind;
  EXPECT_EQ(legend(-23, -23, 12), (std::vector<LegendRun>{{Kind::shortTerm, "Short-term LUFS  "},
                                                           {Kind::integrated, "Integrated -23.0  "},
                                                           {Kind::target, "Target -23"},
                                                           {Kind::gainRange, QStringLiteral(u"   Gain ±12 dB")}}));
  EXPECT_EQ(legend(-INFINITY, -14, 3), (std::vector<LegendRun>{{Kind::shortTerm, "Short-term LUFS  "},
                                                                {Kind::target, "Target -14"},
                                                                {Kind::gainRange, QStringLiteral(u"   Gain ±3 dB")}}));
  EXPECT_EQ(legend(NAN, -16, 24.5).size(), 3u);
  EXPECT_EQ(legend(-9.96, -16, 24.5)[1].text, QStringLiteral("Integrated -10.0  "));
  EXPECT_EQ(legend(-9.96, -16, 24.5)[3].text, QStringLiteral(u"   Gain ±24 dB"));
}

TEST(TimelineLoudnessTest, ALegendTooWideDropsItsLastRunsWhole) {
  const QFont font = TextDrawing::font(10, QFont::DemiBold);
  const std::vector<LegendRun> runs = legend(-23, -23, 12);
  const auto width = [&](const char16_t* text) { return TextDrawing::size(font, QString::fromUtf16(text)).width(); };
  const double shortTerm = width(u"Short-term LUFS  ");
  const double integrated = width(u"Integrated -23.0  ");
  // Where each run's text ends, its trailing blanks aside.
  const double ends[] = {8 + width(u"Short-term LUFS"), 8 + shortTerm + width(u"Integrated -23.0"),
                         8 + shortTerm + integrated + width(u"Target -23"),
                         8 + shortTerm + integrated + width(u"Target -23") + width(u"   Gain ±12 dB")};
  struct Case {
    double right;
    LegendFit fit;
  };
  const Case cases[] = {
      {1000, {4, ends[3]}},     {ends[3], {4, ends[3]}}, {ends[3] - 0.5, {3, ends[2]}},
      {ends[1] + 1, {2, ends[1]}}, {ends[0], {1, ends[0]}}, {ends[0] - 1, {0, 8}},
  };
  for (const Case& c : cases) EXPECT_EQ(fitLegend(runs, font, 8, c.right), c.fit) << c.right;
}

class TimelineLoudnessDrawing : public AppTest {
protected:
  // The 130-point loudness lane shown and the whole 480,000-frame file across 600 points.
  static void showLaneOverTheWholeFile(EditorModel& model) {
    model.viewSettings().setShowLoudnessLane(true);
    model.viewSettings().setLoudnessLaneHeight(130);
    model.viewport().setViewWidth(600);
    model.viewport().setFramesPerPoint(800);
  }
};

TEST_F(TimelineLoudnessDrawing, DrawsTheCurvesTheLinesAndTheEnvelopesShift) {
  EditorModel model(music(480000), std::nullopt);
  showLaneOverTheWholeFile(model);  // value i at x 6 (i + 1)
  model.loudnessSettings().setTargetLUFS(-14);
  quar::LoudnessResult result;
  result.integratedLUFS = -20;
  result.hopSeconds = 0.1;
  result.shortTerm.assign(100, -26.0f);
  result.momentary.assign(100, -35.0f);
  for (size_t i = 40; i < 60; ++i) result.shortTerm[i] = -12;
  model.analysis().setContentLoudness(result);
  const QRectF lane(0, 270, 600, 130);  // in a 400-point view
  const QColor shortTerm = Theme::loudnessShortTerm.light;
  QColor integrated = Theme::loudnessIntegrated.light;
  integrated.setAlphaF(0.8f);
  const double integratedRow = std::round(y(-20, lane)) + 0.5;

  QImage image = drawTimeline(model, QSize(600, 400), 2);
  savePicture(image, QStringLiteral("timeline-loudness"));
  EXPECT_EQ(pixel(image, 100, y(-26, lane)), shortTerm);
  EXPECT_EQ(pixel(image, 330, y(-12, lane)), shortTerm);
  EXPECT_EQ(pixel(image, 20, integratedRow), over(integrated, Theme::laneBackground.light));

  // Envelopes raise the curves at once, before any new analysis: +6 dB on both channels.
  quar::EnvelopeSet boost;
  for (int channel : {0, 1}) boost.setEnvelope(channel, quar::GainEnvelope({quar::EnvelopePoint(0, 6)}));
  model.setEnvelopes(boost);
  image = drawTimeline(model, QSize(600, 400), 2);
  savePicture(image, QStringLiteral("timeline-loudness-boosted"));
  EXPECT_EQ(pixel(image, 100, y(-20, lane)), shortTerm);
  EXPECT_NE(pixel(image, 100, y(-26, lane)), shortTerm);

  // Without an integrated figure there is no integrated line.
  model.setEnvelopes({});
  result.integratedLUFS = -INFINITY;
  model.analysis().setContentLoudness(result);
  image = drawTimeline(model, QSize(600, 400), 2);
  EXPECT_EQ(pixel(image, 20, integratedRow), Theme::laneBackground.light);

  // Without a result: the caption and no curves.
  model.analysis().setContentLoudness(std::nullopt);
  model.analysis().setIsAnalyzing(true);
  image = drawTimeline(model, QSize(600, 400), 2);
  savePicture(image, QStringLiteral("timeline-loudness-measuring"));
  EXPECT_EQ(count(image, lane, shortTerm), 0);
}

TEST_F(TimelineLoudnessDrawing, LabelsLieAboveTheCurves) {
  EditorModel model(music(480000), std::nullopt);
  showLaneOverTheWholeFile(model);
  const QRectF lane(0, 270, 600, 130);  // in a 400-point view
  const TimelineGeometry g = TimelineGeometry::of(model, QSizeF(600, 400));
  struct Case {
    const char* label;
    QRectF box;
    float lufs;  // of a short-term curve through the label
  };
  const Case cases[] = {
      {"the envelope's 0 dB",
       QRectF(QPointF(4, std::round(g.envelopeY(0)) + 0.5 - 12),
              TextDrawing::size(TextDrawing::font(9, QFont::Medium), QStringLiteral("0 dB"))),
       -26},
      {"the scale's -24",
       QRectF(QPointF(600 - 30, y(-24, lane) - 11), TextDrawing::size(TextDrawing::font(9), QStringLiteral("-24"))),
       -21.2f},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(c.box.contains(QPointF(c.box.center().x(), y(c.lufs, lane)))) << c.label;
    quar::LoudnessResult result;
    result.integratedLUFS = -20;
    result.hopSeconds = 0.1;
    result.shortTerm.assign(100, c.lufs);
    model.analysis().setContentLoudness(result);
    const QImage image = drawTimeline(model, QSize(600, 400), 2);
    savePicture(image, QStringLiteral("timeline-loudness-labels"));
    const QColor shortTerm = Theme::loudnessShortTerm.light;
    EXPECT_GT(count(image, QRectF(300, y(c.lufs, lane) - 2, 20, 4), shortTerm), 0) << c.label;
    EXPECT_EQ(count(image, c.box, shortTerm), 0) << c.label;
  }
}

TEST_F(TimelineLoudnessDrawing, TheLegendKeepsClearOfTheChipsAndTheirCaption) {
  EditorModel model(music(480000), std::nullopt);
  model.viewSettings().setShowLoudnessLane(true);
  model.viewSettings().setLoudnessLaneHeight(130);
  quar::LoudnessResult result;
  result.integratedLUFS = -13.6;
  result.hopSeconds = 0.1;
  result.shortTerm.assign(100, -30.0f);
  model.analysis().setContentLoudness(result);
  model.loudnessSettings().setTargetLUFS(-14);
  const QFont captionFont = TextDrawing::font(10);
  const QColor legendColors[] = {Theme::loudnessShortTerm.light, Theme::loudnessIntegrated.light,
                                 Theme::loudnessTarget.light, Theme::envelope.light};
  struct Case {
    int width;
    bool caption;  // "Gain for" shows before the chips
  };
  // From the default window's timeline down to the narrowest beside the inspector and below.
  for (const Case& c : {Case{880, true}, Case{600, true}, Case{459, true}, Case{400, false}}) {
    model.viewport().setViewWidth(c.width);
    model.viewport().zoomToFit();
    const QImage image = drawTimeline(model, QSize(c.width, 400), 2);
    savePicture(image, QStringLiteral("timeline-loudness-legend-%1").arg(c.width));
    const QRectF lane(0, 270, c.width, 130);
    const std::vector<TimelineEnvelope::TargetChip> chips = TimelineEnvelope::chipLayout(model, c.width, lane.top());
    ASSERT_EQ(chips.size(), 3u);
    const double chipsLeft = chips.back().rect.left();
    const double captionLeft = chipsLeft - 4 - TextDrawing::size(captionFont, QStringLiteral("Gain for")).width() - 2;
    const QRectF caption(captionLeft, lane.top() + 3, chipsLeft - 4 - captionLeft, 14);
    // The caption is the one grey text there.
    int grey = 0;
    for (double y = caption.top(); y < caption.bottom(); y += 0.5)
      for (double x = caption.left(); x < caption.right(); x += 0.5) {
        const QColor p = pixel(image, x, y);
        if (p.red() == p.green() && p.green() == p.blue() && p != Theme::laneBackground.light) ++grey;
      }
    EXPECT_EQ(grey > 20, c.caption) << c.width;
    // No legend run reaches the caption, or the chips where it is left out.
    const QRectF clear = c.caption ? caption.adjusted(-4, 0, 4, 0) : QRectF(chipsLeft - 8, lane.top() + 3, 8, 14);
    for (const QColor& color : legendColors) EXPECT_EQ(count(image, clear, color), 0) << c.width;
  }
}

TEST_F(TimelineLoudnessDrawing, TheKeptUnderlayDrawsWhatDrawingAnewDoes) {
  // A view keeps the lane's picture between drawings: every drawing through it equals one drawn
  // from scratch, whether the lane changed since (curves, envelope, gesture, palette, size) or not.
  EditorModel model(music(480000), std::nullopt);
  showLaneOverTheWholeFile(model);
  quar::LoudnessResult result;
  result.integratedLUFS = -20;
  result.hopSeconds = 0.1;
  for (int i = 0; i < 100; ++i) {
    result.shortTerm.push_back(-30 + static_cast<float>(i % 9));
    result.momentary.push_back(i % 25 == 0 ? -120 : -36 + static_cast<float>(i % 13));
  }
  model.analysis().setContentLoudness(result);
  UnderlayCache cache;
  const auto drawKept = [&](QSize size, double ratio, bool dark, const TimelineEnvelope::Gesture& gesture) {
    QImage image((QSizeF(size) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    TimelineCanvas canvas(image, model, palette(dark));
    canvas.gesture = gesture;
    canvas.underlayCache = &cache;
    canvas.drawEverything();
    return image;
  };
  const auto drawAnew = [&](QSize size, double ratio, bool dark, const TimelineEnvelope::Gesture& gesture) {
    QImage image((QSizeF(size) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    TimelineCanvas canvas(image, model, palette(dark));
    canvas.gesture = gesture;
    canvas.drawEverything();
    return image;
  };
  quar::EnvelopeSet envelopes;
  envelopes.master.insert(100000, 0);
  envelopes.master.insert(300000, -6);
  TimelineEnvelope::Gesture highlight;
  highlight.highlight = quar::FrameRange(100000, 200000);
  struct Step {
    const char* change;
    std::function<void()> apply;
    QSize size;
    double ratio;
    bool dark;
    TimelineEnvelope::Gesture gesture;
  };
  const Step steps[] = {
      {"first drawing", [] {}, {600, 400}, 2, false, {}},
      {"nothing", [] {}, {600, 400}, 2, false, {}},
      {"a selection", [&] { model.setSelection(quar::FrameRange(50000, 90000)); }, {600, 400}, 2, false, {}},
      {"the envelopes", [&] { model.setEnvelopes(envelopes); }, {600, 400}, 2, false, {}},
      {"a dragged section", [] {}, {600, 400}, 2, false, highlight},
      {"the scroll", [&] { model.viewport().setScrollFrame(1000); }, {600, 400}, 2, false, highlight},
      {"the curves", [&] {
         result.shortTerm[50] = -5;
         model.analysis().setContentLoudness(result);
       }, {600, 400}, 2, false, {}},
      {"the palette", [] {}, {600, 400}, 2, true, {}},
      {"the size", [] {}, {500, 420}, 2, true, {}},
      {"the pixel ratio", [] {}, {500, 420}, 1, true, {}},
      {"a lane off the device pixels", [&] { model.viewSettings().setLoudnessLaneHeight(100.25); }, {500, 420}, 2, true, {}},
  };
  for (const Step& step : steps) {
    step.apply();
    EXPECT_TRUE(drawKept(step.size, step.ratio, step.dark, step.gesture) ==
                drawAnew(step.size, step.ratio, step.dark, step.gesture))
        << step.change;
  }
}
