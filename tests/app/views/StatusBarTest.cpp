#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>

#include <limits>
#include <vector>

#include "editor/EditorModelFixture.h"
#include "views/StatusBar.h"
#include "widgets/ViewStyle.h"
#include "ViewTestSupport.h"

using quar::FrameRange;
using Field = StatusBar::Field;
using namespace EditorModelFixtureSupport;

class StatusBarTest : public EditorModelFixture {
protected:
  // The status bar over a model of `content` in an active window, so that its fields take focus.
  void show(quar::AudioContent content, std::optional<FrameRange> selection = std::nullopt) {
    model = makeModel(std::move(content));
    model->setSelection(selection, std::nullopt);
    bar = std::make_unique<StatusBar>(model.get());
    bar->resize(1000, 32);
    bar->show();
    QApplication::setActiveWindow(bar.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(bar.get()));
  }
  QLineEdit* field(const char* name) const { return bar->findChild<QLineEdit*>(QString::fromLatin1(name)); }
  // Types into the field and presses Return.
  static void enter(QLineEdit* edit, const QString& text) {
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, text);
    QTest::keyClick(edit, Qt::Key_Return);
  }

  std::unique_ptr<EditorModel> model;  // outlives the bar
  std::unique_ptr<StatusBar> bar;
};

TEST_F(StatusBarTest, TypedValuesSelectOrMoveTheCursor) {
  struct Case {
    std::optional<FrameRange> selection;
    Field field;
    int64_t v;
    std::optional<FrameRange> expected;
    int64_t cursor;
  };
  const Case cases[] = {
      {FrameRange(100, 200), Field::start, 150, FrameRange(150, 200), 150},
      {FrameRange(100, 200), Field::start, 500, FrameRange(199, 200), 199},  // never past the end
      {std::nullopt, Field::start, 300, std::nullopt, 300},                   // moves the cursor
      {FrameRange(100, 200), Field::end, 300, FrameRange(100, 300), 100},
      {FrameRange(100, 200), Field::end, 100, std::nullopt, 100},  // at the start: clears
      {FrameRange(100, 200), Field::end, 50, std::nullopt, 100},
      {std::nullopt, Field::end, 90, FrameRange(40, 90), 40},  // from the cursor
      {FrameRange(100, 200), Field::length, 50, FrameRange(100, 150), 100},
      {FrameRange(100, 200), Field::length, 1000, FrameRange(100, 1000), 100},  // up to the end
      {FrameRange(100, 200), Field::length, 0, std::nullopt, 100},
      {std::nullopt, Field::length, 10, FrameRange(40, 50), 40},
  };
  for (const Case& c : cases) {
    auto model = makeModel(numbered(1000));
    model->setActiveChannels({1});
    model->setCursor(40);
    model->setSelection(c.selection, std::nullopt);
    StatusBar::commit(*model, c.field, c.v);
    EXPECT_EQ(model->selection(), c.expected) << static_cast<int>(c.field) << " " << c.v;
    EXPECT_EQ(model->cursor(), c.cursor) << static_cast<int>(c.field) << " " << c.v;
    EXPECT_EQ(model->activeChannels(), std::set<int>{1});
  }
}

TEST_F(StatusBarTest, StartWithoutASelectionMovesPlayback) {
  auto model = makeModel(numbered(9000));
  model->play(false);
  ASSERT_TRUE(model->transport().isPlaying());
  StatusBar::commit(*model, Field::start, 6000);
  EXPECT_EQ(model->cursor(), 6000);
  EXPECT_EQ(model->transport().player().position(), 6000);
  EXPECT_EQ(model->transport().playhead(), 6000);
  model->stop(false);
}

TEST_F(StatusBarTest, CommitHoldsTheValueWithinTheContentFirst) {
  constexpr int64_t huge = std::numeric_limits<int64_t>::max();
  struct Case {
    std::optional<FrameRange> selection;
    Field field;
    int64_t v;
    std::optional<FrameRange> expected;
    int64_t cursor;
  };
  const Case cases[] = {
      {FrameRange(100, 200), Field::length, huge, FrameRange(100, 1000), 100},
      {std::nullopt, Field::length, huge, FrameRange(40, 1000), 40},
      {FrameRange(100, 200), Field::end, huge, FrameRange(100, 1000), 100},
      {std::nullopt, Field::start, huge, std::nullopt, 1000},
      {FrameRange(100, 200), Field::start, -5, FrameRange(0, 200), 0},
      {FrameRange(100, 200), Field::length, std::numeric_limits<int64_t>::min(), std::nullopt, 100},
  };
  for (const Case& c : cases) {
    auto model = makeModel(numbered(1000));
    model->setCursor(40);
    model->setSelection(c.selection, std::nullopt);
    StatusBar::commit(*model, c.field, c.v);
    EXPECT_EQ(model->selection(), c.expected) << static_cast<int>(c.field) << " " << c.v;
    EXPECT_EQ(model->cursor(), c.cursor) << static_cast<int>(c.field) << " " << c.v;
  }
}

TEST_F(StatusBarTest, FieldsShowTheSelectionAndCommitOnReturn) {
  show(numbered(48000), FrameRange(4800, 9600));
  EXPECT_EQ(field("startField")->text(), QStringLiteral("0:00.100"));
  EXPECT_EQ(field("endField")->text(), QStringLiteral("0:00.200"));
  EXPECT_EQ(field("lengthField")->text(), QStringLiteral("0:00.100"));

  enter(field("startField"), QStringLiteral("0:00.150"));
  EXPECT_EQ(model->selection(), FrameRange(7200, 9600));
  EXPECT_EQ(field("lengthField")->text(), QStringLiteral("0:00.050"));
  EXPECT_TRUE(field("startField")->hasFocus());

  // Unreadable text commits nothing; beyond the file is clamped to its end.
  enter(field("endField"), QStringLiteral("later"));
  EXPECT_EQ(model->selection(), FrameRange(7200, 9600));
  EXPECT_EQ(field("endField")->text(), QStringLiteral("0:00.200"));
  enter(field("endField"), QStringLiteral("5:00"));
  EXPECT_EQ(model->selection(), FrameRange(7200, 48000));
  EXPECT_EQ(field("endField")->text(), QStringLiteral("0:01.000"));
}

TEST_F(StatusBarTest, TypedTextStaysUntilFocusLeavesOrTheFormatChanges) {
  show(numbered(48000), FrameRange(4800, 9600));
  QLineEdit* start = field("startField");
  start->setFocus();
  start->selectAll();
  QTest::keyClicks(start, QStringLiteral("0:0"));

  model->setSelection(FrameRange(2400, 9600), std::nullopt);
  EXPECT_EQ(start->text(), QStringLiteral("0:0"));
  EXPECT_EQ(field("lengthField")->text(), QStringLiteral("0:00.150"));

  // A new format rewrites every field, the one being edited too, and widens them for samples.
  model->viewSettings().setTimeFormat(TimeFormat::samples);
  EXPECT_EQ(start->text(), QStringLiteral("2,400"));
  EXPECT_EQ(field("endField")->text(), QStringLiteral("9,600"));
  EXPECT_EQ(start->width(), 104);
  model->viewSettings().setTimeFormat(TimeFormat::seconds);
  EXPECT_EQ(start->width(), 92);

  QTest::keyClicks(start, QStringLiteral("9"));
  field("endField")->setFocus();
  EXPECT_EQ(start->text(), QStringLiteral("0.050"));
}

TEST_F(StatusBarTest, SampleTextIsTakenWholeOrNotAtAll) {
  show(numbered(48000), FrameRange(4800, 9600));
  model->viewSettings().setTimeFormat(TimeFormat::samples);
  struct Case {
    const char* field;
    const char* typed;
    std::optional<FrameRange> expected;
    const char* shown;
  };
  const Case cases[] = {
      {"endField", "1e9", FrameRange(4800, 9600), "9,600"},  // not read as 19
      {"endField", "1.5", FrameRange(4800, 9600), "9,600"},
      {"lengthField", "1e9", FrameRange(4800, 9600), "4,800"},
      {"startField", "7,200", FrameRange(7200, 9600), "7,200"},
      {"startField", "-5", FrameRange(0, 9600), "0"},  // before the start, not frame 5
      {"lengthField", "9223372036854775807", FrameRange(0, 48000), "48,000"},
      {"lengthField", "99999999999999999999", FrameRange(0, 48000), "48,000"},
  };
  for (const Case& c : cases) {
    enter(field(c.field), QString::fromLatin1(c.typed));
    EXPECT_EQ(model->selection(), c.expected) << c.field << " " << c.typed;
    EXPECT_EQ(field(c.field)->text(), QString::fromLatin1(c.shown)) << c.field << " " << c.typed;
  }
}

TEST_F(StatusBarTest, AFieldNotBeingTypedInFollowsTheModel) {
  show(numbered(48000), FrameRange(4800, 9600));
  QLineEdit* end = field("endField");
  end->setFocus();
  ASSERT_TRUE(end->hasFocus());
  model->setSelection(FrameRange(4800, 12000), std::nullopt);
  EXPECT_EQ(end->text(), QStringLiteral("0:00.250"));

  // After a commit the field follows again, though it still has focus.
  enter(end, QStringLiteral("0:00.300"));
  end->setFocus();
  model->setSelection(FrameRange(4800, 19200), std::nullopt);
  EXPECT_EQ(end->text(), QStringLiteral("0:00.400"));
}

TEST_F(StatusBarTest, ReturnAndEscapeFinishTheField) {
  show(numbered(48000), FrameRange(4800, 9600));
  int finished = 0;
  QObject::connect(bar.get(), &StatusBar::fieldFinished, [&finished] { ++finished; });
  QLineEdit* start = field("startField");
  enter(start, QStringLiteral("0:00.150"));
  EXPECT_EQ(finished, 1);
  EXPECT_EQ(model->selection(), FrameRange(7200, 9600));
  enter(start, QStringLiteral("nonsense"));
  EXPECT_EQ(finished, 2);

  // Escape drops the typing and commits nothing.
  start->setFocus();
  start->selectAll();
  QTest::keyClicks(start, QStringLiteral("0:00.010"));
  QTest::keyClick(start, Qt::Key_Escape);
  EXPECT_EQ(finished, 3);
  EXPECT_EQ(start->text(), QStringLiteral("0:00.150"));
  EXPECT_EQ(model->selection(), FrameRange(7200, 9600));
}

TEST(StatusBarFit, TheLeastNeededItemsGiveWayFirst) {
  // fields 398, snap 24, picker 46 compact or 159 in full, summary 217, duration 45: everything
  // needs 24 + 398 + 38 + 173 + 246 + 59 = 938 points.
  const StatusBar::Widths widths{398, 24, 46, 159, 217, 45};
  struct Case {
    int width;
    bool snap, picker, pickerCompact, summary, duration;
  };
  const Case cases[] = {
      {938, true, true, false, true, true},
      {937, true, true, false, true, false},  // the duration is the first to go
      {879, true, true, false, true, false},  // the summary still in full
      {878, true, true, false, true, false},  // elided
      {722, true, true, false, true, false},  // down to 60 points
      {721, true, true, false, false, false},
      {633, true, true, false, false, false},  // the picker in full
      {632, true, true, true, false, false},   // then in its compact form
      {520, true, true, true, false, false},
      {519, true, false, false, false, false},
      {460, true, false, false, false, false},
      {459, false, false, false, false, false},
      {100, false, false, false, false, false},  // the fields alone
  };
  for (const Case& c : cases) {
    const StatusBar::Fit fit = StatusBar::fit(c.width, widths);
    EXPECT_EQ(fit.snap, c.snap) << c.width;
    EXPECT_EQ(fit.picker, c.picker) << c.width;
    EXPECT_EQ(fit.pickerCompact, c.pickerCompact) << c.width;
    EXPECT_EQ(fit.summary, c.summary) << c.width;
    EXPECT_EQ(fit.duration, c.duration) << c.width;
  }
  // A short summary leaves the duration its room.
  const StatusBar::Fit shortSummary = StatusBar::fit(801, {398, 24, 46, 159, 80, 45});
  EXPECT_TRUE(shortSummary.summary && shortSummary.duration);
  // The picker's form follows the width alone, whatever the file's summary.
  for (int width = 400; width <= 1400; width += 7) {
    const StatusBar::Fit shortFit = StatusBar::fit(width, {398, 24, 46, 159, 80, 45});
    const StatusBar::Fit longFit = StatusBar::fit(width, {398, 24, 46, 159, 420, 45});
    EXPECT_EQ(shortFit.picker, longFit.picker) << width;
    EXPECT_EQ(shortFit.pickerCompact, longFit.pickerCompact) << width;
  }
}

TEST_F(StatusBarTest, ThePickerShowsTheSameForEveryFile) {
  show(numbered(5'644'800));
  auto* picker = bar->findChild<QComboBox*>(QStringLiteral("timeFormatPicker"));
  ASSERT_TRUE(picker);
  // A PCM file's summary is longer than a compressed one's: at the window's default width both
  // show the picker in full, at its 150 points or more.
  quar::AudioFileInfo pcm;
  pcm.codecName = "Linear PCM";
  pcm.bitDepth = 32;
  pcm.isFloat = true;
  quar::AudioFileInfo mp3;
  mp3.codecName = "MP3";
  std::vector<int> widths;
  for (const quar::AudioFileInfo& info : {pcm, mp3}) {
    model->setFileInfo(info);
    bar->resize(1240 - 361, 32);
    QCoreApplication::sendPostedEvents();
    QCoreApplication::sendPostedEvents();
    ASSERT_TRUE(picker->isVisible());
    widths.push_back(picker->width());
  }
  EXPECT_GE(widths[0], 150);
  EXPECT_EQ(widths[0], widths[1]);
}

TEST_F(StatusBarTest, NothingOverlapsOrIsCutAtAnyWidth) {
  show(numbered(5'644'800));
  quar::AudioFileInfo info;
  info.codecName = "Linear PCM";
  info.bitDepth = 32;
  info.isFloat = true;
  model->setFileInfo(info);
  auto* summary = bar->findChild<QLabel*>(QStringLiteral("formatSummary"));
  ASSERT_TRUE(summary);
  const auto settled = [&](int width) {
    bar->resize(width, 32);
    QCoreApplication::sendPostedEvents();
    QCoreApplication::sendPostedEvents();
  };
  // The editor's column beside the inspector at the window's default width: the picker in full
  // and the summary, elided where it must be.
  settled(1240 - 361);
  auto* picker = bar->findChild<QComboBox*>(QStringLiteral("timeFormatPicker"));
  EXPECT_GE(picker->width(), 150);
  EXPECT_TRUE(summary->isVisible());
  EXPECT_TRUE(summary->text().startsWith(QStringLiteral("Linear PCM")));
  for (const int width : {1600, 1240, 1240 - 361, 820, 700, 600, 480, 459}) {
    settled(width);
    std::vector<QWidget*> shown;
    for (QWidget* child : bar->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
      if (child->isVisible()) shown.push_back(child);
    for (QWidget* child : shown) {
      EXPECT_TRUE(bar->rect().contains(child->geometry())) << width << " " << child->objectName().toStdString();
      EXPECT_GE(child->width(), child->minimumSizeHint().width()) << width << " " << child->objectName().toStdString();
      for (QWidget* other : shown)
        EXPECT_TRUE(child == other || !child->geometry().intersects(other->geometry()))
            << width << " " << child->objectName().toStdString() << " " << other->objectName().toStdString();
    }
    for (const char* name : {"startField", "endField", "lengthField"}) {
      EXPECT_TRUE(field(name)->isVisible()) << width;
      EXPECT_EQ(field(name)->width(), 92) << width;
    }
    // Shown in full, or elided with an ellipsis: never cut.
    if (summary->isVisible()) {
      EXPECT_TRUE(summary->text() == model->formatSummary() || summary->text().contains(QChar(0x2026))) << width;
    }
  }
}

TEST_F(StatusBarTest, SecondaryTextsFollowThePalette) {
  show(numbered(48000));
  bar->setPalette(ViewTestSupport::palette(true));
  const QColor secondary = ViewStyle::secondary(bar->palette());
  for (const QLabel* label : bar->findChildren<QLabel*>())
    EXPECT_EQ(label->palette().color(QPalette::WindowText), secondary) << label->text().toStdString();
}

TEST_F(StatusBarTest, Pictures) {
  show(numbered(5'644'800), FrameRange(48000, 96000));
  quar::AudioFileInfo info;
  info.codecName = "Linear PCM";
  info.bitDepth = 24;
  model->setFileInfo(info);
  for (const bool dark : {false, true}) {
    QPalette palette = ViewTestSupport::palette(dark);
    if (dark) {
      palette.setColor(QPalette::Text, QColor(255, 255, 255));
      palette.setColor(QPalette::ButtonText, QColor(255, 255, 255));
      palette.setColor(QPalette::Button, QColor(60, 60, 60));
      palette.setColor(QPalette::Base, QColor(30, 30, 30));
    }
    bar->setPalette(palette);
    // The window's default and minimum widths, beside the inspector and without it.
    for (const int width : {1240, 1240 - 361, 820, 820 - 361}) {
      bar->resize(width, 32);
      QCoreApplication::sendPostedEvents();
      QCoreApplication::sendPostedEvents();
      const QString name = QStringLiteral("status-bar-%1%2").arg(width).arg(dark ? "-dark" : "");
      ViewTestSupport::savePicture(bar->grab().toImage(), name);
    }
  }
}

TEST_F(StatusBarTest, AnEmptyFileClampsEveryLengthToNothing) {
  show(quar::AudioContent(2, 48000));
  enter(field("lengthField"), QStringLiteral("0:05"));
  EXPECT_EQ(model->selection(), std::nullopt);
  EXPECT_EQ(field("lengthField")->text(), QStringLiteral("0:00.000"));
}

TEST_F(StatusBarTest, SummaryDurationSnapAndTimeFormat) {
  show(numbered(24000));
  auto* summary = bar->findChild<QLabel*>(QStringLiteral("formatSummary"));
  ASSERT_TRUE(summary);
  EXPECT_EQ(summary->toolTip(), QStringLiteral("Format of the audio being edited"));
  EXPECT_EQ(summary->text(), QStringLiteral("48 kHz \u00B7 Stereo"));
  // A new file description (after a save, say) names its codec.
  quar::AudioFileInfo info;
  info.codecName = "FLAC";
  info.bitDepth = 24;
  model->setFileInfo(info);
  EXPECT_TRUE(QTest::qWaitFor([&] { return summary->text() == QStringLiteral("FLAC \u00B7 48 kHz \u00B7 24-bit \u00B7 Stereo"); }))
      << summary->text().toStdString();
  EXPECT_EQ(bar->findChild<QLabel*>(QStringLiteral("durationText"))->text(), QStringLiteral("0.500 s"));

  auto* snap = bar->findChild<QToolButton*>(QStringLiteral("snapToggle"));
  ASSERT_TRUE(snap);
  EXPECT_EQ(snap->toolTip(), QStringLiteral("Snap selection edges to zero crossings (Ctrl+Alt+Z)"));
  snap->click();
  EXPECT_TRUE(model->snapToZeroCrossings());
  model->setSnapToZeroCrossings(false);
  EXPECT_FALSE(snap->isChecked());

  auto* picker = bar->findChild<QComboBox*>(QStringLiteral("timeFormatPicker"));
  ASSERT_TRUE(picker);
  ASSERT_EQ(picker->count(), 3);
  EXPECT_EQ(picker->itemText(0), QStringLiteral("Hours:Minutes:Seconds"));
  EXPECT_EQ(picker->toolTip(), QStringLiteral("Time display format"));
  Q_EMIT picker->activated(2);
  EXPECT_EQ(model->viewSettings().timeFormat(), TimeFormat::samples);
  model->viewSettings().setTimeFormat(TimeFormat::seconds);
  EXPECT_EQ(picker->currentIndex(), 1);
}
