#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "ViewTestSupport.h"
#include "views/TimelineWaveform.h"

using namespace ViewTestSupport;
using TimelineWaveform::LaneSpan;

namespace {

// A lane 50 points wide and 100 high at 4 frames per point on a 2x screen: 100 columns of 2 frames.
LaneSpan peakSpan() { return {QRectF(0, 0, 50, 100), 50, 0, 4, 50, 2}; }

// Frame k holds k / divisor.
quar::AudioContent ramp(int frames, float divisor = 1000) {
  std::vector<float> samples(static_cast<size_t>(frames));
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<float>(i) / divisor;
  return quar::AudioContent(std::vector<std::vector<float>>{samples}, 48000);
}

void expectNear(const QRectF& actual, const QRectF& expected) {
  EXPECT_NEAR(actual.x(), expected.x(), 1e-5);
  EXPECT_NEAR(actual.y(), expected.y(), 1e-5);
  EXPECT_NEAR(actual.width(), expected.width(), 1e-5);
  EXPECT_NEAR(actual.height(), expected.height(), 1e-5);
}

quar::EnvelopeSet masterAt(double dB) {
  quar::EnvelopeSet set;
  set.master.insert(0, dB);
  return set;
}

} // namespace

TEST(TimelineWaveform, PeakColumnsCoverTwoFramesPerDevicePixel) {
  // Each frame one point higher than the one before.
  const quar::AudioContent content = ramp(1000, 50);
  const TimelineWaveform::Bars bars = TimelineWaveform::bars(content, 0, nullptr, peakSpan());
  ASSERT_EQ(bars.peak.size(), 100u);
  // Column 3 covers frames 6 and 7.
  expectNear(bars.peak[3], QRectF(1.5, 50 - 7, 0.5, 1));

  // From a fractional scroll position column i starts at frame trunc(10.5 + 2i).
  LaneSpan scrolled = peakSpan();
  scrolled.scrollFrame = 10.5;
  expectNear(TimelineWaveform::bars(content, 0, nullptr, scrolled).peak.at(0), QRectF(0, 50 - 11, 0.5, 1));

  // A file shorter than the lane ends the columns with its last frame.
  EXPECT_EQ(TimelineWaveform::bars(ramp(41), 0, nullptr, peakSpan()).peak.size(), 21u);
}

TEST(TimelineWaveform, SilenceDrawsOneDevicePixelAndNoRms) {
  const TimelineWaveform::Bars bars = TimelineWaveform::bars(constant(1000, 0), 0, nullptr, peakSpan());
  ASSERT_EQ(bars.peak.size(), 100u);
  for (const QRectF& bar : bars.peak) EXPECT_EQ(bar, QRectF(bar.x(), 50, 0.5, 0.5));
  EXPECT_TRUE(bars.rms.empty());
  EXPECT_TRUE(bars.clip.empty());
}

TEST(TimelineWaveform, ClipTicksFromFullScale) {
  struct Case {
    float value;
    bool clips;
  };
  for (const Case& c : {Case{0.999f, true}, Case{0.9989f, false}, Case{-0.999f, true}, Case{-0.9989f, false}}) {
    const TimelineWaveform::Bars bars = TimelineWaveform::bars(constant(1000, c.value), 0, nullptr, peakSpan());
    ASSERT_EQ(bars.clip.size(), c.clips ? 100u : 0u) << c.value;
    if (c.clips) {
      EXPECT_EQ(bars.clip[7], QRectF(3.5, 0, 0.5, 2));
    }
  }
  // An envelope boost that drives a column to full scale marks it too.
  const quar::EnvelopeSet boost = masterAt(6);
  EXPECT_EQ(TimelineWaveform::bars(constant(1000, 0.6f), 0, &boost, peakSpan()).clip.size(), 100u);
}

TEST(TimelineWaveform, EnvelopeScalesBarsAndSamples) {
  std::vector<float> samples(1000);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = i % 2 ? -0.2f : 0.8f;
  const quar::AudioContent content({samples, samples}, 48000);
  const quar::EnvelopeSet set = masterAt(-6);
  const double g = 0.501187;
  const TimelineWaveform::Bars plain = TimelineWaveform::bars(content, 1, nullptr, peakSpan());
  const TimelineWaveform::Bars scaled = TimelineWaveform::bars(content, 1, &set, peakSpan());
  ASSERT_EQ(scaled.peak.size(), plain.peak.size());
  ASSERT_EQ(scaled.rms.size(), plain.rms.size());
  EXPECT_NEAR(50 - scaled.peak[10].top(), (50 - plain.peak[10].top()) * g, 1e-4);
  EXPECT_NEAR(scaled.peak[10].height(), plain.peak[10].height() * g, 1e-4);
  EXPECT_NEAR(50 - scaled.rms[10].top(), (50 - plain.rms[10].top()) * g, 1e-4);

  LaneSpan sampleSpan = peakSpan();
  sampleSpan.framesPerPoint = 0.5;
  const TimelineWaveform::Line line = TimelineWaveform::line(content, 1, &set, sampleSpan);
  ASSERT_FALSE(line.points.isEmpty());
  EXPECT_NEAR(50 - line.points[4].y(), 40 * g, 1e-4);
}

TEST(TimelineWaveform, SampleModeBelowOneFramePerDevicePixel) {
  const quar::AudioContent content = ramp(1000);
  struct Case {
    double framesPerPoint;
    bool sampleMode;
    bool dots;
  };
  for (const Case& c : {Case{4, false, false}, Case{2, false, false}, Case{1.5, true, false}, Case{0.2, true, false},
                        Case{1.0 / 6, true, true}, Case{0.125, true, true}}) {
    LaneSpan span = peakSpan();
    span.framesPerPoint = c.framesPerPoint;
    EXPECT_EQ(TimelineWaveform::isSampleMode(span), c.sampleMode) << c.framesPerPoint;
    if (c.sampleMode) {
      EXPECT_EQ(TimelineWaveform::line(content, 0, nullptr, span).dots, c.dots) << c.framesPerPoint;
    }
  }

  // One frame before and two after the visible frames: [10.5, 85.5] at 1.5 frames per point.
  LaneSpan span = peakSpan();
  span.framesPerPoint = 1.5;
  span.scrollFrame = 10.5;
  const TimelineWaveform::Line line = TimelineWaveform::line(content, 0, nullptr, span);
  ASSERT_EQ(line.points.size(), 88 - 9);
  EXPECT_DOUBLE_EQ(line.points.front().x(), (9 - 10.5) / 1.5);
  EXPECT_DOUBLE_EQ(line.points.front().y(), 50 - 50 * static_cast<double>(9.0f / 1000));
  EXPECT_DOUBLE_EQ(line.points.back().x(), (87 - 10.5) / 1.5);

  span.scrollFrame = 990;  // the line stops at the last frame
  EXPECT_EQ(TimelineWaveform::line(content, 0, nullptr, span).points.size(), 11);
}

TEST(TimelineWaveform, NonFiniteAndHugeSamplesStayInsideTheLane) {
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  std::vector<float> samples(400, 0.25f);
  for (size_t i = 0; i < samples.size(); i += 4) {
    samples[i] = nan;
    samples[i + 1] = i % 8 ? inf : -inf;
    samples[i + 2] = 1e30f;
  }
  const quar::AudioContent content({samples}, 48000);
  const auto inside = [](const QRectF& rect) {
    return std::isfinite(rect.top()) && std::isfinite(rect.bottom()) && rect.top() >= -1 && rect.bottom() <= 102;
  };
  for (const double framesPerPoint : {2.0, 8.0}) {
    LaneSpan span = peakSpan();
    span.framesPerPoint = framesPerPoint;
    const TimelineWaveform::Bars bars = TimelineWaveform::bars(content, 0, nullptr, span);
    ASSERT_FALSE(bars.peak.empty());
    for (const auto* rects : {&bars.peak, &bars.rms})
      for (const QRectF& rect : *rects) EXPECT_TRUE(inside(rect)) << rect.top() << " " << rect.bottom();
  }
  LaneSpan span = peakSpan();
  span.framesPerPoint = 0.5;
  for (const QPointF& point : TimelineWaveform::line(content, 0, nullptr, span).points)
    EXPECT_TRUE(point.y() >= -1 && point.y() <= 101) << point.y();
}

TEST(TimelineWaveform, AmplitudeZoomLabel) {
  struct Case {
    double zoom;
    const char16_t* label;
  };
  for (const Case& c : {Case{1, u""}, Case{0.5, u""}, Case{1.5, u"×2"}, Case{4, u"×4"}, Case{std::nan(""), u""}})
    EXPECT_EQ(TimelineWaveform::amplitudeZoomLabel(c.zoom), QString::fromUtf16(c.label)) << c.zoom;
}

class TimelineWaveformDrawing : public AppTest {};

TEST_F(TimelineWaveformDrawing, InactiveChannelIsDimmedButKeepsItsClipTicks) {
  EditorModel model(sine(48000, 480, 1.0f), std::nullopt);
  model.setActiveChannels({0});
  const QImage image = drawTimeline(model, {300, 226}, 2);
  savePicture(image, QStringLiteral("timeline-inactive-channel"));
  const TimelineGeometry g = TimelineGeometry::of(model, {300, 226});
  const QPalette light = palette(false);
  const QRectF lane0 = g.laneRect(0);
  const QRectF lane1 = g.laneRect(1);
  EXPECT_GT(count(image, lane0, Theme::waveform.resolved(light)), 1000);
  EXPECT_EQ(count(image, lane0, Theme::waveformDimmed.resolved(light)), 0);
  EXPECT_EQ(count(image, lane1, Theme::waveform.resolved(light)), 0);
  EXPECT_EQ(count(image, lane1, Theme::waveformRMS.resolved(light)), 0);
  EXPECT_GT(count(image, lane1, Theme::waveformDimmed.resolved(light)), 1000);
  for (const QRectF& lane : {lane0, lane1})
    EXPECT_GT(count(image, QRectF(lane.left(), lane.top(), lane.width(), 2), Theme::clip.resolved(light)), 100);
  // The gap between the lanes shows the view's background.
  EXPECT_EQ(pixel(image, 150, lane0.bottom() + 0.5), Theme::background.resolved(light));
}

TEST_F(TimelineWaveformDrawing, EmptyDocumentShowsTheHint) {
  EditorModel model(quar::AudioContent(2, 48000), std::nullopt);
  const QSize size(500, 300);
  const QImage image = drawTimeline(model, size, 2);
  savePicture(image, QStringLiteral("timeline-empty"));
  EXPECT_TRUE(TimelineWaveform::emptyHint().contains(QStringLiteral("(Ctrl+V)")));
  const QPalette light = palette(false);
  const QPointF center = TimelineGeometry::of(model, QSizeF(size)).lanesRect().center();
  const QRectF hint(center.x() - 100, center.y() - 8, 200, 16);
  const int lanePixels = count(image, hint, Theme::laneBackground.resolved(light));
  EXPECT_LT(lanePixels, 200 * 16 * 4 * 0.95);  // text covers part of the hint's box
  EXPECT_EQ(count(image, QRectF(0, 26, 500, 274), Theme::waveform.resolved(light)), 0);
}
