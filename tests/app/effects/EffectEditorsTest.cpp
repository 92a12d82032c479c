// The built-in effects' panels on their own, each over a stored settings record: their slider
// tables, the rows that come and go with a mode, the delay's tempo sync and the noise profile's
// learning.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QAbstractButton>
#include <QToolButton>

#include "EditorTestSupport.h"
#include "effects/ChorusEditor.h"
#include "effects/CompressorEditor.h"
#include "effects/DelayEditor.h"
#include "effects/DistortionEditor.h"
#include "effects/GainReductionMeter.h"
#include "effects/GateEditor.h"
#include "effects/NoiseProfileView.h"
#include "effects/NoiseReductionEditor.h"
#include "effects/ReverbEditor.h"
#include "effects/TransferCurve.h"

using namespace EditorTestSupport;
using namespace quar;
using Scale = ParamSlider::Scale;

namespace {

struct Row {
  const char* label;
  double lower, upper;
  const char* unit;
  const char* format;
  Scale scale;
  std::optional<double> defaultValue;
};

void expectRows(QWidget& panel, const std::vector<Row>& rows) {
  const std::vector<ParamSlider*> sliders = visibleSliders(panel);
  ASSERT_EQ(sliders.size(), rows.size()) << panel.objectName().toStdString();
  for (size_t i = 0; i < rows.size(); ++i) {
    const Row& row = rows[i];
    const ParamSlider& slider = *sliders[i];
    SCOPED_TRACE(row.label);
    EXPECT_EQ(slider.label(), QString::fromUtf8(row.label));
    EXPECT_EQ(slider.range(), (ParamSlider::Range{row.lower, row.upper}));
    EXPECT_EQ(slider.unit(), QString::fromUtf8(row.unit));
    EXPECT_EQ(slider.format(), QString::fromUtf8(row.format));
    EXPECT_EQ(slider.scale(), row.scale);
    EXPECT_EQ(slider.defaultValue(), row.defaultValue);
  }
}

// Moves every visible slider to its left end, then double-clicks every label: the record is
// its default again, each slider having written once per gesture.
template <typename S>
void expectResetsToTheRecordsDefaults(QWidget& panel, Stored<S>& stored) {
  const std::vector<ParamSlider*> sliders = visibleSliders(panel);
  for (ParamSlider* slider : sliders) slide(*slider, 0);
  EXPECT_NE(stored.value, S{});
  for (ParamSlider* slider : sliders) doubleClickLabel(*slider);
  EXPECT_EQ(stored.value, S{}) << panel.objectName().toStdString();
  EXPECT_EQ(stored.writes, 2 * static_cast<int>(sliders.size()));
}

// The order of the panel's widgets from top to bottom.
bool above(QWidget& panel, QWidget* upper, QWidget* lower) {
  panel.resize(360, panel.sizeHint().height());
  panel.show();
  QCoreApplication::processEvents();
  return upper->mapTo(&panel, QPoint()).y() < lower->mapTo(&panel, QPoint()).y();
}

QAbstractButton* button(QWidget& panel, const char* name) { return panel.findChild<QAbstractButton*>(name); }

} // namespace

TEST(CompressorEditor, RowsRangesAndDefaults) {
  EffectsRack rack;
  Stored<CompressorSettings> stored{{}};
  auto* meter = new GainReductionMeter(&rack, Uuid::random(), false);
  CompressorEditor panel(stored.binding(), meter);
  expectRows(panel, {
                        {"Threshold", -60, 0, "dB", "%.1f", Scale::linear, -18},
                        {"Ratio", 1, 20, ": 1", "%.1f", Scale::log, 4},
                        {"Knee", 0, 24, "dB", "%.1f", Scale::linear, 6},
                        {"Attack", 0.05, 200, "ms", "%.2f", Scale::log, 10},
                        {"Release", 5, 2000, "ms", "%.0f", Scale::log, 120},
                        {"Makeup", -12, 24, "dB", "%.1f", Scale::linear, 0},
                        {"Mix", 0, 100, "%", "%.0f", Scale::linear, 100},
                    });
  EXPECT_TRUE(above(panel, panel.findChild<QWidget*>("transferCurve"), meter));
  EXPECT_TRUE(above(panel, meter, visibleSliders(panel).front()));
  EXPECT_EQ(panel.findChild<QWidget*>("transferCurve")->accessibleName(), "Compressor transfer curve");
  expectResetsToTheRecordsDefaults(panel, stored);
}

// The switches and the detection picker write their field only; the make-up readout and the
// curve follow every change.
TEST(CompressorEditor, OptionsWriteTheirFieldAndTheReadoutFollows) {
  EffectsRack rack;
  Stored<CompressorSettings> stored{{}};
  CompressorEditor panel(stored.binding(), new GainReductionMeter(&rack, Uuid::random(), false));
  auto* makeup = panel.findChild<QLabel*>("makeup");
  EXPECT_EQ(makeup->text(), "Makeup +0.0 dB");
  panel.findChild<QCheckBox*>("autoMakeup")->click();
  EXPECT_TRUE(stored.value.autoMakeup);
  panel.refresh();
  EXPECT_EQ(makeup->text(), "Makeup +6.8 dB");
  EXPECT_EQ(panel.findChild<TransferCurve*>()->settings(), stored.value);
  panel.findChild<QCheckBox*>("stereoLink")->click();
  button(panel, "RMS")->click();
  CompressorSettings expected;
  expected.autoMakeup = true;
  expected.stereoLink = false;
  expected.detection = DetectionMode::rms;
  EXPECT_EQ(stored.value, expected);
  EXPECT_EQ(stored.writes, 3);
}

TEST(GateEditor, MeterAboveTheSlidersAndStereoLinkBelow) {
  EffectsRack rack;
  Stored<GateSettings> stored{{}};
  auto* meter = new GainReductionMeter(&rack, Uuid::random(), false);
  GateEditor panel(stored.binding(), meter);
  expectRows(panel, {
                        {"Threshold", -90, 0, "dB", "%.1f", Scale::linear, -45},
                        {"Range", -90, 0, "dB", "%.1f", Scale::linear, -60},
                        {"Attack", 0.05, 100, "ms", "%.2f", Scale::log, 1},
                        {"Hold", 0, 1000, "ms", "%.0f", Scale::linear, 50},
                        {"Release", 5, 3000, "ms", "%.0f", Scale::log, 150},
                        {"Hysteresis", 0, 12, "dB", "%.1f", Scale::linear, 3},
                    });
  EXPECT_TRUE(above(panel, meter, visibleSliders(panel).front()));
  EXPECT_TRUE(above(panel, visibleSliders(panel).back(), panel.findChild<QCheckBox*>("stereoLink")));
  expectResetsToTheRecordsDefaults(panel, stored);
}

// The bit crusher's rows replace Drive above Tone; the hidden field keeps its value.
TEST(DistortionEditor, BitCrusherSwapsDriveForBitDepthAndDownsample) {
  Stored<DistortionSettings> stored{{}};
  DistortionEditor panel(stored.binding());
  expectRows(panel, {
                        {"Drive", 0, 48, "dB", "%.1f", Scale::linear, 12},
                        {"Tone", 1000, 20000, "Hz", "%.0f", Scale::log, 12000},
                        {"Output", -24, 12, "dB", "%.1f", Scale::linear, -6},
                        {"Mix", 0, 100, "%", "%.0f", Scale::linear, 100},
                    });
  expectResetsToTheRecordsDefaults(panel, stored);
  type(*visibleSliders(panel).front(), "30");
  button(panel, "Bit Crusher")->click();
  EXPECT_EQ(stored.value.mode, SaturationMode::bitcrush);
  panel.refresh();
  expectRows(panel, {
                        {"Bit depth", 2, 16, "bit", "%.0f", Scale::linear, 8},
                        {"Downsample", 1, 32, "\u00D7", "%.0f", Scale::log, 1},
                        {"Tone", 1000, 20000, "Hz", "%.0f", Scale::log, 12000},
                        {"Output", -24, 12, "dB", "%.1f", Scale::linear, -6},
                        {"Mix", 0, 100, "%", "%.0f", Scale::linear, 100},
                    });
  slide(*visibleSliders(panel)[0], ParamSlider::sliderSteps / 3);  // fractional bits are stored as they are
  EXPECT_NEAR(stored.value.bits, 2 + 14.0 / 3, 1e-3);
  button(panel, "Soft Clip")->click();
  panel.refresh();
  EXPECT_EQ(sliderLabels(panel).front(), "Drive");
  EXPECT_EQ(text(*visibleSliders(panel).front()), "30.0");
  EXPECT_EQ(stored.value.driveDB, 30);
}

TEST(DelayEditor, RowsRangesAndDefaults) {
  Stored<DelaySettings> stored{{}};
  DelayEditor panel(stored.binding());
  expectRows(panel, {
                        {"Time", 1, 4000, "ms", "%.0f", Scale::log, 375},
                        {"Right \u00D7", 0.25, 4, "\u00D7", "%.2f", Scale::log, 1},
                        {"Feedback", 0, 95, "%", "%.0f", Scale::linear, 35},
                        {"Low cut", 20, 2000, "Hz", "%.0f", Scale::log, 80},
                        {"High cut", 1000, 20000, "Hz", "%.0f", Scale::log, 8000},
                        {"Mix", 0, 100, "%", "%.0f", Scale::linear, 30},
                    });
  EXPECT_TRUE(above(panel, visibleSliders(panel)[0], panel.findChild<QWidget*>("sync")));
  EXPECT_TRUE(above(panel, panel.findChild<QWidget*>("sync"), visibleSliders(panel)[1]));
  expectResetsToTheRecordsDefaults(panel, stored);
}

// A note button sets the time from the panel's tempo (20 BPM at the slowest), clamped to the
// Time slider's range; editing the tempo alone writes nothing.
TEST(DelayEditor, NoteButtonsSetTheTimeFromTheTempo) {
  struct Case {
    const char* bpm;
    const char* note;
    double timeMs;
  };
  const Case cases[] = {
      {"120", "1/4", 500},  {"120", "1/8.", 375}, {"120", "1/8", 250}, {"120", "1/16", 125},
      {"0", "1/4", 3000},   {"-5", "1/4", 3000},  {"15", "1/4", 3000}, {"100000", "1/4", 1},
      {"90", "1/8", 333.3333333333333}, {"abc", "1/4", 500},  // not a tempo: 120 stays
  };
  for (const Case& c : cases) {
    Stored<DelaySettings> stored{{}};
    stored.value.rightTimeRatio = 1.5;
    DelayEditor panel(stored.binding());
    EXPECT_EQ(panel.bpm(), 120);
    auto* bpm = panel.findChild<QLineEdit*>("bpm");
    EXPECT_EQ(bpm->placeholderText(), "BPM");
    bpm->setText(QString::fromUtf8(c.bpm));
    Q_EMIT bpm->editingFinished();
    EXPECT_EQ(stored.writes, 0) << c.bpm;
    button(panel, c.note)->click();
    EXPECT_NEAR(stored.value.timeMs, c.timeMs, 1e-9) << c.bpm << " " << c.note;
    EXPECT_EQ(stored.value.rightTimeRatio, 1.5);
    EXPECT_EQ(stored.writes, 1);
  }
  EXPECT_EQ(DelayEditor::syncedTimeMs(std::numeric_limits<double>::quiet_NaN(), 1), 3000);
  EXPECT_EQ(DelayEditor::bpmText(120), "120");
  EXPECT_EQ(DelayEditor::bpmText(97.25), "97.3");
}

// A tempo typed into the field and not yet committed (the focus stays there, since the note
// buttons take none) is the tempo a note button uses, held to the tenth the field shows.
TEST(DelayEditor, ANoteButtonUsesTheTempoTypedInTheField) {
  struct Case {
    const char* typed;
    const char* note;
    const char* shown;
    double timeMs;
  };
  const Case cases[] = {
      {"90", "1/8", "90", 60000.0 / 90 / 2},
      {"97.25", "1/4", "97.3", 60000.0 / 97.3},
      {"1e308", "1/4", "120", 500},  // no tempo: the field goes back to 120
  };
  for (const Case& c : cases) {
    Stored<DelaySettings> stored{{}};
    DelayEditor panel(stored.binding());
    showActive(panel);
    auto* bpm = panel.findChild<QLineEdit*>("bpm");
    bpm->setFocus();
    bpm->selectAll();
    QTest::keyClicks(bpm, QString::fromUtf8(c.typed));
    QTest::mouseClick(button(panel, c.note), Qt::LeftButton);
    EXPECT_TRUE(bpm->hasFocus()) << c.typed;
    EXPECT_NEAR(stored.value.timeMs, c.timeMs, 1e-9) << c.typed;
    EXPECT_EQ(bpm->text(), QString::fromUtf8(c.shown)) << c.typed;
    EXPECT_EQ(stored.writes, 1) << c.typed;
  }
}

TEST(ReverbEditor, RowsRangesAndDefaults) {
  Stored<ReverbSettings> stored{{}};
  ReverbEditor panel(stored.binding());
  expectRows(panel, {
                        {"Decay", 0.2, 20, "s", "%.2f", Scale::log, 1.8},
                        {"Size", 0, 100, "%", "%.0f", Scale::linear, 60},
                        {"Pre-delay", 0, 250, "ms", "%.0f", Scale::linear, 20},
                        {"Damping", 0, 100, "%", "%.0f", Scale::linear, 50},
                        {"Diffusion", 0, 100, "%", "%.0f", Scale::linear, 80},
                        {"Width", 0, 100, "%", "%.0f", Scale::linear, 100},
                        {"Low cut", 20, 1000, "Hz", "%.0f", Scale::log, 100},
                        {"Mix", 0, 100, "%", "%.0f", Scale::linear, 25},
                    });
  expectResetsToTheRecordsDefaults(panel, stored);
}

TEST(ChorusEditor, RowsRangesAndDefaults) {
  Stored<ChorusSettings> stored{{}};
  ChorusEditor panel(stored.binding());
  expectRows(panel, {
                        {"Rate", 0.05, 10, "Hz", "%.2f", Scale::log, 0.8},
                        {"Depth", 0, 100, "%", "%.0f", Scale::linear, 50},
                        {"Delay", 0.5, 40, "ms", "%.1f", Scale::log, 15},
                        {"Feedback", -95, 95, "%", "%.0f", Scale::linear, 0},
                        {"Spread", 0, 100, "%", "%.0f", Scale::linear, 50},
                        {"Mix", 0, 100, "%", "%.0f", Scale::linear, 50},
                    });
  EXPECT_TRUE(above(panel, visibleSliders(panel)[3], panel.findChild<QWidget*>("voices")));
  EXPECT_TRUE(above(panel, panel.findChild<QWidget*>("voices"), visibleSliders(panel)[4]));
  expectResetsToTheRecordsDefaults(panel, stored);
}

// Flanger mode hides the Voices stepper (the count is kept) and resets Delay to 2 ms.
TEST(ChorusEditor, FlangerModeHidesVoicesAndResetsDelayToTwoMilliseconds) {
  Stored<ChorusSettings> stored{{}};
  ChorusEditor panel(stored.binding());
  auto* voices = panel.findChild<QWidget*>("voices");
  auto* count = panel.findChild<QLabel*>("voicesLabel");
  EXPECT_EQ(count->text(), "Voices: 2");
  panel.findChild<QToolButton*>("moreVoices")->click();
  panel.findChild<QToolButton*>("moreVoices")->click();
  panel.refresh();
  EXPECT_EQ(stored.value.voices, 4);
  EXPECT_EQ(count->text(), "Voices: 4");
  EXPECT_FALSE(panel.findChild<QToolButton*>("moreVoices")->isEnabled());

  button(panel, "Flanger")->click();
  EXPECT_EQ(stored.value.mode, ModulationMode::flanger);
  panel.refresh();
  EXPECT_FALSE(voices->isVisibleTo(&panel));
  ParamSlider* delay = panel.findChild<ParamSlider*>("delayMs");
  EXPECT_EQ(delay->defaultValue(), 2);
  doubleClickLabel(*delay);
  EXPECT_EQ(stored.value.delayMs, 2);

  button(panel, "Chorus")->click();
  panel.refresh();
  EXPECT_TRUE(voices->isVisibleTo(&panel));
  EXPECT_EQ(count->text(), "Voices: 4");
  doubleClickLabel(*delay);
  EXPECT_EQ(stored.value.delayMs, 15);
}

TEST(ChorusEditor, NegativeFeedbackIsShownAndEnteredInPerCent) {
  Stored<ChorusSettings> stored{{}};
  stored.value.feedback = -0.4;
  stored.value.voices = 9;  // beyond the stepper's range: shown as it is, stepped back into it
  ChorusEditor panel(stored.binding());
  ParamSlider* feedback = panel.findChild<ParamSlider*>("feedback");
  EXPECT_EQ(text(*feedback), "-40");
  EXPECT_EQ(panel.findChild<QLabel*>("voicesLabel")->text(), "Voices: 9");
  showActive(panel);
  type(*feedback, "-25");
  EXPECT_EQ(stored.value.feedback, -0.25);
  panel.findChild<QToolButton*>("fewerVoices")->click();
  EXPECT_EQ(stored.value.voices, 4);
}

TEST(NoiseReductionEditor, RowsRangesAndDefaults) {
  auto model = makeModel();
  Stored<NoiseReductionSettings> stored{{}};
  NoiseReductionEditor panel(stored.binding(), model.get());
  expectRows(panel, {
                        {"Reduction", 0, 48, "dB", "%.0f", Scale::linear, 18},
                        {"Sensitivity", -12, 12, "dB", "%.1f", Scale::linear, 0},
                        {"Smoothing", 0, 100, "%", "%.0f", Scale::linear, 50},
                    });
  expectResetsToTheRecordsDefaults(panel, stored);
}

// Learning needs a selection and replaces the profile; Clear brings the no-profile note back
// and leaves every other field as it was.
TEST(NoiseReductionEditor, LearnsTheSelectionsProfileAndClearsIt) {
  auto model = makeModel();
  Stored<NoiseReductionSettings> stored{{}};
  stored.value.reductionDB = 30;
  stored.value.outputNoiseOnly = true;
  NoiseReductionEditor panel(stored.binding(), model.get());
  QAbstractButton* learn = button(panel, "learnNoise");
  EXPECT_FALSE(learn->isEnabled());
  EXPECT_EQ(learn->toolTip(),
            "Select a stretch of noise only (no wanted sound), then click to capture its spectrum.");
  EXPECT_TRUE(panel.findChild<QWidget*>("noProfile")->isVisibleTo(&panel));
  EXPECT_FALSE(button(panel, "clearProfile")->isVisibleTo(&panel));
  panel.learn();  // without a selection: nothing
  EXPECT_EQ(stored.writes, 0);

  model->setSelection(FrameRange{0, 24000});
  panel.refresh();
  ASSERT_TRUE(learn->isEnabled());
  learn->click();
  ASSERT_TRUE(stored.value.profile);
  EXPECT_EQ(*stored.value.profile, NoiseProfile::learn(model->content(), FrameRange{0, 24000}, 2048));
  EXPECT_EQ(stored.value.profile->binPower.size(), 1025u);
  model->setSelection(FrameRange{24000, 30000});
  learn->click();
  EXPECT_EQ(*stored.value.profile, NoiseProfile::learn(model->content(), FrameRange{24000, 30000}, 2048));
  panel.refresh();
  EXPECT_TRUE(panel.findChild<QWidget*>("noiseProfile")->isVisibleTo(&panel));
  EXPECT_FALSE(panel.findChild<QWidget*>("noProfile")->isVisibleTo(&panel));

  button(panel, "clearProfile")->click();
  panel.refresh();
  EXPECT_EQ(stored.value.profile, std::nullopt);
  EXPECT_EQ(stored.value.reductionDB, 30);
  EXPECT_TRUE(stored.value.outputNoiseOnly);
  EXPECT_EQ(panel.findChild<QLabel*>("noProfile")->text(),
            "No noise profile yet \u2014 the effect passes audio through. Select a noise-only region and learn it.");
  EXPECT_FALSE(button(panel, "clearProfile")->isVisibleTo(&panel));
  EXPECT_EQ(stored.writes, 3);
}
