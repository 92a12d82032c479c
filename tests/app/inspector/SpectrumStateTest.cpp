#include <gtest/gtest.h>

#include <QTest>

#include <map>

#include "AppTestSupport.h"
#include "editor/EditorModelFixture.h"
#include "inspector/SpectrumState.h"

using EditorModelFixtureSupport::tone;
using quar::FrameRange;

namespace {

// Counts a state's notifications per property.
struct StateChanges {
  explicit StateChanges(SpectrumState& state) {
    QObject::connect(&state, &SpectrumState::changed, [this](SpectrumState::Property p) { ++counts[p]; });
  }
  int operator[](SpectrumState::Property p) const { return counts.contains(p) ? counts.at(p) : 0; }
  std::map<SpectrumState::Property, int> counts;
};

} // namespace

// The state over a model without frames, which starts no average of its own.
class SpectrumStateTest : public EditorModelFixture {
protected:
  std::unique_ptr<EditorModel> model = makeModel(quar::AudioContent(std::vector<std::vector<float>>(1), 48000));
};

TEST_F(SpectrumStateTest, StartsAt8192LogDecibelsHoldingPeaks) {
  const SpectrumState state(model.get());
  EXPECT_EQ(state.fftSize(), 8192);
  EXPECT_EQ(state.frequencyScale(), FrequencyScale::logarithmic);
  EXPECT_EQ(state.amplitudeScale(), AmplitudeScale::decibels);
  EXPECT_TRUE(state.holdPeaks());
  EXPECT_TRUE(state.spectrum().empty());
  EXPECT_TRUE(state.peakHold().empty());
  EXPECT_FALSE(state.hasAnalyzer());
}

TEST_F(SpectrumStateTest, SettingTheFFTSizeAlwaysDropsTheAnalyserAndTheHeldPeaks) {
  SpectrumState state(model.get());
  StateChanges changes(state);
  EXPECT_EQ(state.ensureAnalyzer().fftSize(), 8192);
  EXPECT_EQ(state.ensureAnalyzer().window(), quar::WindowFunction::blackmanHarris);
  state.setPeakHold({-1, -2, -3});
  state.setFFTSize(8192);
  EXPECT_FALSE(state.hasAnalyzer());
  EXPECT_TRUE(state.peakHold().empty());
  EXPECT_EQ(changes[SpectrumState::Property::fftSize], 0);

  state.setFFTSize(1024);
  EXPECT_EQ(changes[SpectrumState::Property::fftSize], 1);
  EXPECT_EQ(state.ensureAnalyzer().fftSize(), 1024);

  state.setPeakHold({-1, -2, -3});
  state.setHoldPeaks(true);  // unchanged, yet the held peaks go
  EXPECT_TRUE(state.peakHold().empty());
  EXPECT_EQ(changes[SpectrumState::Property::holdPeaks], 0);
}

TEST_F(SpectrumStateTest, LiveLevelsFallAndHeldPeaksSink) {
  SpectrumState state(model.get());
  state.mergeLive({-20, -20});
  EXPECT_EQ(state.spectrum(), (std::vector<float>{-20, -20}));  // the first update is taken whole
  state.mergeLive({-40, -10});
  EXPECT_EQ(state.spectrum(), (std::vector<float>{-22.5f, -10}));
  state.mergeLive({-90, -90, -90});  // another length replaces without falling
  EXPECT_EQ(state.spectrum(), (std::vector<float>{-90, -90, -90}));

  state.setSpectrum({-30, -5});
  state.accumulateHold();
  EXPECT_EQ(state.peakHold(), (std::vector<float>{-30, -5}));  // an empty hold takes the spectrum
  state.setPeakHold({-10, -10});
  state.accumulateHold();
  EXPECT_FLOAT_EQ(state.peakHold()[0], -10.15f);
  EXPECT_FLOAT_EQ(state.peakHold()[1], -5);

  state.setHoldPeaks(false);
  state.setPeakHold({-1, -1, -1});
  state.accumulateHold();
  EXPECT_EQ(state.peakHold(), (std::vector<float>{-1, -1, -1}));
}

TEST_F(SpectrumStateTest, OnlyTheLastOfTwoAveragesIsPublishedAfterTheDelay) {
  // Silence in the first second, a tone in the second.
  quar::AudioContent content = tone(96000, {0.5f});
  content.replaceSubrange(FrameRange(0, 48000), tone(48000, {0.0f}));
  SpectrumState state(model.get());
  StateChanges changes(state);
  state.setPeakHold({-1});
  EXPECT_EQ(state.averageTask().delay(), std::chrono::milliseconds(80));
  state.updateAverage(content, FrameRange(0, 48000));
  state.updateAverage(content, FrameRange(48000, 96000));
  QCoreApplication::processEvents();
  EXPECT_TRUE(state.isAverageWaiting());  // nothing is published before the delay
  EXPECT_TRUE(state.spectrum().empty());
  state.averageTask().fireNow();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !state.spectrum().empty(); }));
  EXPECT_EQ(changes[SpectrumState::Property::spectrum], 1);
  quar::SpectrumAnalyzer analyzer(8192, quar::WindowFunction::blackmanHarris);
  EXPECT_EQ(state.spectrum(), analyzer.averagedSpectrum(content, FrameRange(48000, 96000), 256));
  EXPECT_TRUE(state.peakHold().empty());
}

TEST_F(SpectrumStateTest, AnAverageUsesTheFFTSizeOfItsRequest) {
  SpectrumState state(model.get());
  state.updateAverage(tone(48000, {0.5f}), FrameRange(0, 48000));
  state.setFFTSize(1024);
  state.averageTask().fireNow();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !state.spectrum().empty(); }));
  EXPECT_EQ(state.spectrum().size(), 8192u / 2 + 1);
}

TEST_F(SpectrumStateTest, ScalesReadOnlyTheirRawValues) {
  EXPECT_EQ(quar::fromRawValue<FrequencyScale>(std::string_view("linear")), FrequencyScale::linear);
  EXPECT_EQ(quar::fromRawValue<FrequencyScale>(std::string_view("logarithmic")), FrequencyScale::logarithmic);
  EXPECT_EQ(quar::fromRawValue<FrequencyScale>(std::string_view("Log")), std::nullopt);
  EXPECT_EQ(quar::fromRawValue<AmplitudeScale>(std::string_view("decibels")), AmplitudeScale::decibels);
  EXPECT_EQ(quar::fromRawValue<AmplitudeScale>(std::string_view("linear")), AmplitudeScale::linear);
  EXPECT_EQ(quar::fromRawValue<AmplitudeScale>(std::string_view("dB")), std::nullopt);
}
