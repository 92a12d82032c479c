#include <gtest/gtest.h>

#include "SheetTestSupport.h"
#include "sheets/TimePitchSheet.h"

using EditorModelFixtureSupport::tone;

class TimePitchSheetTest : public SheetTest {
protected:
  static ParamSlider& slider(QWidget* sheet, const char* name) {
    return *sheet->findChild<ParamSlider*>(QString::fromUtf8(name));
  }
};

TEST_F(TimePitchSheetTest, LengthTexts) {
  struct Case {
    int64_t frames;
    double tempo;
    double rate;
    int64_t output;
    const char* line;
  };
  for (const Case& c : {
           Case{96000, 200, 48000, 48000, "2.000 s \u2192 1.000 s"},
           Case{150 * 48000, 50, 48000, 300 * 48000, "2:30.00 \u2192 5:00.00"},
           Case{1000, 300, 48000, 333, "0.021 s \u2192 0.007 s"},
           Case{1, 40, 48000, 3, "0.000 s \u2192 0.000 s"},
           Case{59 * 44100, 98, 44100, 2655000, "59.000 s \u2192 1:00.20"},
       }) {
    EXPECT_EQ(TimePitchSheet::outputFrames(c.frames, c.tempo), c.output) << c.frames << " at " << c.tempo;
    EXPECT_EQ(TimePitchSheet::lengthLine(c.frames, c.tempo, c.rate), QString::fromUtf8(c.line)) << c.frames;
  }
}

TEST_F(TimePitchSheetTest, TheLengthRowFollowsTempoAndSelection) {
  auto model = makeModel(tone(150 * 1000, {0.5f}, 1000));
  const QPointer<TimePitchSheet> sheet = present(new TimePitchSheet(*model, nullptr));
  EXPECT_EQ(sheet->windowTitle(), QStringLiteral("Time & Pitch"));
  EXPECT_EQ(sheet->actionButton()->text(), QStringLiteral("Apply"));
  ParamSlider& tempo = slider(sheet, "tempoSlider");
  EXPECT_EQ(tempo.range(), (ParamSlider::Range{25, 400}));
  EXPECT_EQ(tempo.scale(), ParamSlider::Scale::log);
  EXPECT_EQ(tempo.defaultValue(), 100);
  EXPECT_EQ(slider(sheet, "pitchSlider").range(), (ParamSlider::Range{-24, 24}));
  EXPECT_EQ(slider(sheet, "pitchSlider").unit(), QStringLiteral("st"));
  EXPECT_EQ(slider(sheet, "fineSlider").range(), (ParamSlider::Range{-100, 100}));
  EXPECT_EQ(slider(sheet, "fineSlider").unit(), QStringLiteral("ct"));

  EXPECT_EQ(text(sheet, "lengthText"), QStringLiteral("2:30.00 \u2192 2:30.00"));
  EditorTestSupport::slide(tempo, 2500);  // 50 % on the logarithmic travel
  EXPECT_EQ(text(sheet, "lengthText"), QStringLiteral("2:30.00 \u2192 5:00.00"));
  model->setSelection(quar::FrameRange(0, 2000));
  EXPECT_EQ(text(sheet, "lengthText"), QStringLiteral("2.000 s \u2192 4.000 s"));
  EditorTestSupport::slide(tempo, 7500);  // 200 %
  EXPECT_EQ(text(sheet, "lengthText"), QStringLiteral("2.000 s \u2192 1.000 s"));
  EditorTestSupport::savePicture(*sheet, QStringLiteral("time-pitch-sheet"));
  sheet->setPalette(EditorTestSupport::palette(true));
  EditorTestSupport::savePicture(*sheet, QStringLiteral("time-pitch-sheet-dark"));
  sheet->reject();
}

TEST_F(TimePitchSheetTest, PassesTempoAsARateAndPitchInCents) {
  struct Case {
    int pitchStep;  // slider travel of the pitch; 7500 is +12 semitones
    const char* field;
    const char* typed;  // then Return, which commits and applies
    const char* undoName;
  };
  for (const Case& c : {Case{7500, "fineSlider", "-50", "Time & Pitch (100%, +1150 ct)"},
                        Case{5000, "tempoSlider", "125", "Time & Pitch (125%, +0 ct)"}}) {
    auto model = makeModel(tone(9600, {0.5f}));
    const QPointer<TimePitchSheet> sheet = present(new TimePitchSheet(*model, nullptr));
    EditorTestSupport::slide(slider(sheet, "pitchSlider"), c.pitchStep);
    EditorTestSupport::type(slider(sheet, c.field), QString::fromUtf8(c.typed));
    ASSERT_TRUE(closed(sheet)) << c.undoName;
    ASSERT_TRUE(waitUntilIdle(*model));
    EXPECT_EQ(undo.undoActionName(), QString::fromUtf8(c.undoName));
    undo.removeAllActions();
  }

  // 100 % without a pitch shift changes nothing.
  auto model = makeModel(tone(9600, {0.5f}));
  const int64_t changes = undo.changeCount();
  const QPointer<TimePitchSheet> sheet = present(new TimePitchSheet(*model, nullptr));
  sheet->actionButton()->click();
  ASSERT_TRUE(closed(sheet));
  EXPECT_FALSE(model->jobs().busy());
  EXPECT_EQ(undo.changeCount(), changes);
}

// A slider between two shown values, or a number typed more finely than the field shows, holds
// the value shown: that is what the length row reads and what is applied.
TEST_F(TimePitchSheetTest, AppliesTheValuesItShows) {
  struct Case {
    const char* slider;
    int step;            // slider travel, when `typed` is empty
    const char* typed;   // then Return, which commits and applies
    const char* shown;
    const char* undoName;
  };
  for (const Case& c : {
           Case{"pitchSlider", 5944, "", "5", "Time & Pitch (100%, +500 ct)"},  // 4.53 st on the travel
           Case{"pitchSlider", 0, "4.53", "5", "Time & Pitch (100%, +500 ct)"},
           Case{"fineSlider", 5947, "", "19", "Time & Pitch (100%, +19 ct)"},  // 18.94 ct
           Case{"fineSlider", 0, "-18,94", "-19", "Time & Pitch (100%, -19 ct)"},
           Case{"tempoSlider", 6572, "", "154.6", "Time & Pitch (155%, +0 ct)"},  // 154.628 %
           Case{"tempoSlider", 0, "154.63", "154.6", "Time & Pitch (155%, +0 ct)"},
       }) {
    SCOPED_TRACE(std::string(c.slider) + " " + c.typed);
    auto model = makeModel(tone(9600, {0.5f}));
    const QPointer<TimePitchSheet> sheet = present(new TimePitchSheet(*model, nullptr));
    ParamSlider& slider = this->slider(sheet, c.slider);
    const double tempo = std::string(c.slider) == "tempoSlider" ? 154.6 : 100;
    if (*c.typed) {
      EditorTestSupport::type(slider, QString::fromUtf8(c.typed));
    } else {
      EditorTestSupport::slide(slider, c.step);
      EXPECT_EQ(EditorTestSupport::text(slider), QString::fromUtf8(c.shown));
      EXPECT_EQ(sheet->tempoPercent(), tempo);
      EXPECT_EQ(sheet->semitones() * 100 + sheet->cents(),
                ParamSlider::parse(EditorTestSupport::text(this->slider(sheet, "pitchSlider")))
                        .value() * 100 +
                    ParamSlider::parse(EditorTestSupport::text(this->slider(sheet, "fineSlider"))).value());
      EXPECT_EQ(text(sheet, "lengthText"), TimePitchSheet::lengthLine(9600, tempo, 48000));
      sheet->actionButton()->click();
    }
    ASSERT_TRUE(closed(sheet));
    ASSERT_TRUE(waitUntilIdle(*model));
    EXPECT_EQ(undo.undoActionName(), QString::fromUtf8(c.undoName));
    EXPECT_EQ(model->content().frameCount(), TimePitchSheet::outputFrames(9600, tempo));
    undo.removeAllActions();
  }
}
