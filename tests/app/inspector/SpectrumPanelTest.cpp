#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QThreadPool>

#include "InspectorTestSupport.h"
#include "inspector/SpectrumPanel.h"
#include "inspector/SpectrumPlot.h"
#include "inspector/SpectrumState.h"
#include "platform/JobPool.h"
#include "platform/NullAudioBackend.h"
#include "widgets/SegmentedControl.h"

using EditorModelFixtureSupport::tone;
using quar::FrameRange;

namespace {

NullAudioBackend& device() { return dynamic_cast<NullAudioBackend&>(AudioBackend::shared()); }

std::vector<float> average(const EditorModel& model, FrameRange range, int fftSize = 8192) {
  quar::SpectrumAnalyzer analyzer(fftSize, quar::WindowFunction::blackmanHarris);
  return analyzer.averagedSpectrum(model.content(), range, 256);
}

} // namespace

TEST(SpectrumPanelTexts, Resolution) {
  EXPECT_EQ(SpectrumPanel::resolutionText(48000, 8192),
            QStringLiteral("Resolution 5.9 Hz per bin · Blackman-Harris window"));
  EXPECT_EQ(SpectrumPanel::resolutionText(44100, 1024),
            QStringLiteral("Resolution 43.1 Hz per bin · Blackman-Harris window"));
}

class SpectrumPanelTest : public InspectorFixture {
protected:
  void TearDown() override {
    if (model) model->stop(false);
    InspectorFixture::TearDown();
  }
  SpectrumPanel* showPanel() { return show(new SpectrumPanel(model.get())); }
};

TEST_F(SpectrumPanelTest, StaticRangeIsTheSelectionElseASecondAroundTheCursor) {
  model = makeModel(tone(96000, {0.5f}));
  struct Case {
    int64_t cursor;
    std::optional<FrameRange> selection;
    FrameRange range;
  };
  for (const Case& c : {Case{0, std::nullopt, {0, 24000}}, Case{48000, std::nullopt, {24000, 72000}},
                        Case{96000, std::nullopt, {72000, 96000}}, Case{500, FrameRange(10, 20), {10, 20}},
                        // A cursor past the end is held at the end: the range never turns inverted.
                        Case{500000, std::nullopt, {72000, 96000}}, Case{-10, std::nullopt, {0, 24000}}}) {
    model->setSelection(c.selection);
    model->setCursor(c.cursor);
    EXPECT_EQ(SpectrumState::staticRange(*model), c.range) << c.cursor;
  }
}

TEST_F(SpectrumPanelTest, IdleShowsTheAverageOfTheStaticRange) {
  model = makeModel(tone(96000, {0.5f, 0.25f}));
  model->setCursor(48000);
  auto* panel = showPanel();
  EXPECT_EQ(text("spectrumMode"), QStringLiteral("Around cursor"));
  EXPECT_EQ(text("spectrumResolution"), QStringLiteral("Resolution 5.9 Hz per bin · Blackman-Harris window"));
  panel->state().averageTask().fireNow();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !panel->state().spectrum().empty(); }));
  EXPECT_EQ(panel->state().spectrum(), average(*model, FrameRange(24000, 72000)));

  model->setSelection(FrameRange(0, 9600));
  EXPECT_EQ(text("spectrumMode"), QStringLiteral("Selection average"));
  panel->state().averageTask().fireNow();
  ASSERT_TRUE(QTest::qWaitFor([&] { return panel->state().spectrum() == average(*model, FrameRange(0, 9600)); }));

  find<QComboBox>("fftSize")->setCurrentIndex(0);
  Q_EMIT find<QComboBox>("fftSize")->activated(0);
  EXPECT_EQ(panel->state().fftSize(), 1024);
  EXPECT_EQ(text("spectrumResolution"), QStringLiteral("Resolution 46.9 Hz per bin · Blackman-Harris window"));
  panel->state().averageTask().fireNow();
  ASSERT_TRUE(QTest::qWaitFor([&] { return panel->state().spectrum().size() == 513; }));
  EXPECT_EQ(panel->state().spectrum(), average(*model, FrameRange(0, 9600), 1024));
}

TEST_F(SpectrumPanelTest, EmptyContentStartsNoAverage) {
  model = makeModel(quar::AudioContent(std::vector<std::vector<float>>(2), 48000));
  auto* panel = showPanel();
  EXPECT_FALSE(panel->state().isAverageWaiting());
  EXPECT_TRUE(panel->state().spectrum().empty());
}

TEST_F(SpectrumPanelTest, ControlsWriteTheState) {
  model = makeModel(tone(9600, {0.5f}));
  auto* panel = showPanel();
  SpectrumState& state = panel->state();
  find<SegmentedControl>("frequencyScale")->segment(0)->click();
  EXPECT_EQ(state.frequencyScale(), FrequencyScale::linear);
  find<SegmentedControl>("amplitudeScale")->segment(1)->click();
  EXPECT_EQ(state.amplitudeScale(), AmplitudeScale::linear);
  find<QCheckBox>("peakHold")->click();
  EXPECT_FALSE(state.holdPeaks());
  auto* sizes = find<QComboBox>("fftSize");
  std::vector<QString> items;
  for (int i = 0; i < sizes->count(); ++i) items.push_back(sizes->itemText(i));
  EXPECT_EQ(items, (std::vector<QString>{"1024", "2048", "4096", "8192", "16384", "32768"}));
  EXPECT_EQ(sizes->currentText(), QStringLiteral("8192"));

  // The state drives the controls back.
  state.setFrequencyScale(FrequencyScale::logarithmic);
  EXPECT_TRUE(find<SegmentedControl>("frequencyScale")->segment(1)->isChecked());
  state.setFFTSize(32768);
  EXPECT_EQ(sizes->currentText(), QStringLiteral("32768"));
}

TEST_F(SpectrumPanelTest, PlayingFoldsTheFrameAtThePlayheadEvery33ms) {
  model = makeModel(tone(96000, {0.5f, 0.5f}));
  auto* panel = showPanel();
  SpectrumState& state = panel->state();
  state.averageTask().fireNow();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !state.spectrum().empty(); }));
  EXPECT_FALSE(panel->state().liveTimer().isActive());

  model->play(false);
  EXPECT_EQ(text("spectrumMode"), QStringLiteral("Live at playhead"));
  EXPECT_TRUE(panel->state().liveTimer().isActive());
  EXPECT_EQ(panel->state().liveTimer().interval(), 33);
  EXPECT_EQ(state.peakHold().size(), state.spectrum().size());  // the first live update held its peaks

  // Selecting while playing starts no average.
  model->setSelection(FrameRange(0, 4800));
  EXPECT_FALSE(state.isAverageWaiting());

  device().pump(24000);
  model->transportTick();
  const int64_t at = model->transport().playhead();
  quar::SpectrumAnalyzer analyzer(8192, quar::WindowFunction::blackmanHarris);
  const std::vector<float> fresh = analyzer.spectrum(model->content(), at);
  // Louder bins rise at once, the others fall towards the fresh frame.
  ASSERT_TRUE(QTest::qWaitFor([&] { return state.spectrum()[170] == fresh[170]; }));
  ASSERT_TRUE(QTest::qWaitFor([&] { return state.spectrum() == fresh; }));

  // Stopping averages the selection.
  model->stop(false);
  EXPECT_FALSE(panel->state().liveTimer().isActive());
  EXPECT_EQ(text("spectrumMode"), QStringLiteral("Selection average"));
  state.averageTask().fireNow();
  ASSERT_TRUE(QTest::qWaitFor([&] { return state.spectrum() == average(*model, FrameRange(0, 4800)); }));
  EXPECT_TRUE(state.peakHold().empty());
}

TEST_F(SpectrumPanelTest, HoverFollowsThePointerOverThePlot) {
  model = makeModel(tone(9600, {0.5f}));
  showPanel();
  auto* plot = find<SpectrumPlot>("spectrumPlot");
  EXPECT_EQ(plot->height(), 220);
  hover(plot, QPointF(100, 100));
  ASSERT_TRUE(plot->hover());
  EXPECT_EQ(*plot->hover(), QPointF(100, 100));
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(plot, &leave);
  EXPECT_FALSE(plot->hover());
}
