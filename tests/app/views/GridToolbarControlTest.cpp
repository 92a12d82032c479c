#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include <cmath>

#include "editor/EditorModelFixture.h"
#include "views/GridSettingsView.h"
#include "views/GridToolbarControl.h"
#include "widgets/ViewStyle.h"

using quar::TempoGrid;
using namespace EditorModelFixtureSupport;

class GridToolbarControlTest : public EditorModelFixture {
protected:
  void SetUp() override {
    EditorModelFixture::SetUp();
    model = makeModel(numbered(48000));
  }
  void setTempo(double bpm) {
    TempoGrid grid = model->tempo().grid();
    grid.bpm = bpm;
    model->tempo().setGrid(grid);
  }

  std::unique_ptr<EditorModel> model;  // outlives the views
};

TEST_F(GridToolbarControlTest, LabelShowsTempoAndMeter) {
  EXPECT_EQ(GridToolbarControl::label(TempoGrid(120, 3, 0)), QStringLiteral("120.0 \u00B7 3/4"));
  EXPECT_EQ(GridToolbarControl::label(TempoGrid(98.25, 7, 0)), QStringLiteral("98.2 \u00B7 7/4"));

  GridToolbarControl control(model.get());
  auto* label = control.findChild<QLabel*>(QStringLiteral("gridLabel"));
  ASSERT_TRUE(label);
  model->tempo().setGrid(TempoGrid(96, 3, 0));
  EXPECT_EQ(label->text(), QStringLiteral("96.0 \u00B7 3/4"));
  model->tempo().setShowGrid(true);
  EXPECT_EQ(label->palette().color(QPalette::WindowText), Theme::gridBar.resolved(control.palette()));
}

TEST_F(GridToolbarControlTest, TheButtonOpensAndClosesThePopover) {
  GridToolbarControl control(model.get());
  control.show();
  auto* button = control.findChild<QToolButton*>(QStringLiteral("gridButton"));
  ASSERT_TRUE(button);
  EXPECT_EQ(button->toolTip(), QStringLiteral("Bar grid: tempo, meter, and snapping for gain edits"));
  button->click();
  QFrame* popover = control.popover();
  ASSERT_TRUE(popover);
  EXPECT_EQ(popover->width(), 320);
  EXPECT_TRUE(popover->findChild<GridSettingsView*>());
  EXPECT_GE(popover->y(), button->mapToGlobal(QPoint(0, button->height())).y());
  control.setOpen(false);
  EXPECT_EQ(control.popover(), nullptr);
}

TEST_F(GridToolbarControlTest, ThePopoversArrowPointsUpAtTheButton) {
  GridToolbarControl control(model.get());
  control.show();
  auto* button = control.findChild<QToolButton*>(QStringLiteral("gridButton"));
  control.setOpen(true);
  QFrame* popover = control.popover();
  ASSERT_TRUE(popover);
  const QPoint tip = popover->mapFromGlobal(button->mapToGlobal(QPoint(button->width() / 2, button->height())));
  const QRegion shape = popover->mask();
  // The arrow's tip lies at the middle of the button, at or below its bottom edge; beside the
  // arrow the top strip lets the window behind show, and below it the panel is solid to its edges.
  // (The offscreen platform may shift a popup by its 2-point frame.)
  EXPECT_NEAR(tip.x(), popover->width() / 2, 2);
  EXPECT_LE(tip.y(), 0);
  EXPECT_GE(tip.y(), -2);
  EXPECT_TRUE(shape.contains(QPoint(popover->width() / 2, 3)));
  EXPECT_FALSE(shape.contains(QPoint(tip.x() - 40, 2)));
  EXPECT_FALSE(shape.contains(QPoint(tip.x() + 40, 2)));
  EXPECT_TRUE(shape.contains(QPoint(1, popover->height() / 2)));
  EXPECT_TRUE(shape.contains(QPoint(popover->width() - 2, popover->height() / 2)));
  // The settings keep their 16 points of room below the arrow.
  const QRect settings = popover->findChild<GridSettingsView*>()->geometry();
  EXPECT_EQ(settings.left(), 16);
  EXPECT_EQ(popover->width() - 1 - settings.right(), 16);
  EXPECT_EQ(popover->height() - 1 - settings.bottom(), 16);
  EXPECT_GT(settings.top(), 16);
}

TEST_F(GridToolbarControlTest, TempoTextAndSteps) {
  for (const auto& [bpm, text] : {std::pair{120.0, "120"}, {120.5, "120.5"}, {98.256, "98.26"}, {1200.0, "1,200"}})
    EXPECT_EQ(GridSettingsView::tempoText(bpm), QString::fromLatin1(text)) << bpm;
  for (const auto& [text, bpm] : {std::pair{"130", 130.0}, {" 20 ", 20.0}, {"400", 400.0}, {"99.5", 99.5}})
    EXPECT_EQ(GridSettingsView::parsedTempo(QString::fromLatin1(text)), bpm) << text;
  for (const char* refused : {"19.99", "400.01", "", "fast", "nan", "inf", "-120", "1e400"})
    EXPECT_EQ(GridSettingsView::parsedTempo(QString::fromLatin1(refused)), std::nullopt) << refused;
  struct Step {
    double bpm;
    int direction;
    double result;
  };
  for (const Step& s : {Step{120.5, 1, 121.5}, Step{399.5, 1, 400}, Step{400, 1, 400}, Step{20, -1, 20}, Step{20.5, -1, 20},
                        Step{650, -1, 400}})
    EXPECT_EQ(GridSettingsView::steppedTempo(s.bpm, s.direction), s.result) << s.bpm << " " << s.direction;
}

TEST_F(GridToolbarControlTest, TheTempoFieldTakesOnlyTempiWithinRange) {
  GridSettingsView settings(model.get());
  settings.show();
  auto* field = settings.findChild<QLineEdit*>(QStringLiteral("tempoField"));
  ASSERT_TRUE(field);
  EXPECT_EQ(field->placeholderText(), QStringLiteral("BPM"));
  EXPECT_EQ(field->text(), QStringLiteral("120"));
  const auto type = [&](const QString& text) {
    field->setText(text);
    Q_EMIT field->editingFinished();
  };
  type(QStringLiteral("132.5"));
  EXPECT_EQ(model->tempo().grid().bpm, 132.5);
  for (const QString& refused : {QStringLiteral("500"), QStringLiteral("nan"), QStringLiteral("inf"), QStringLiteral("x")}) {
    type(refused);
    EXPECT_EQ(model->tempo().grid().bpm, 132.5) << refused.toStdString();
    EXPECT_EQ(field->text(), QStringLiteral("132.5")) << refused.toStdString();
  }
  // Leaving the field as shown keeps a tempo finer than it shows.
  setTempo(98.256);
  type(field->text());
  EXPECT_EQ(model->tempo().grid().bpm, 98.256);

  auto* up = settings.findChild<QToolButton*>(QStringLiteral("tempoStepUp"));
  auto* down = settings.findChild<QToolButton*>(QStringLiteral("tempoStepDown"));
  ASSERT_TRUE(up && down);
  setTempo(399.5);
  up->click();
  up->click();
  EXPECT_EQ(model->tempo().grid().bpm, 400);
  EXPECT_EQ(field->text(), QStringLiteral("400"));
  setTempo(20.5);
  down->click();
  down->click();
  EXPECT_EQ(model->tempo().grid().bpm, 20);
}

TEST_F(GridToolbarControlTest, SettingsDriveTheGrid) {
  GridSettingsView settings(model.get());
  settings.show();
  auto* show = settings.findChild<QCheckBox*>(QStringLiteral("showGridToggle"));
  auto* meter = settings.findChild<QComboBox*>(QStringLiteral("beatsPerBarPicker"));
  auto* snap = settings.findChild<QCheckBox*>(QStringLiteral("snapToGridToggle"));
  auto* tap = settings.findChild<QPushButton*>(QStringLiteral("tapButton"));
  auto* barOne = settings.findChild<QPushButton*>(QStringLiteral("setBarOneButton"));
  auto* detect = settings.findChild<QPushButton*>(QStringLiteral("detectButton"));
  ASSERT_TRUE(show && meter && snap && tap && barOne && detect);

  show->click();
  EXPECT_TRUE(model->tempo().showGrid());
  ASSERT_EQ(meter->count(), 12);
  EXPECT_EQ(meter->itemText(2), QStringLiteral("3/4"));
  EXPECT_EQ(meter->currentText(), QStringLiteral("4/4"));
  Q_EMIT meter->activated(6);
  EXPECT_EQ(model->tempo().grid().beatsPerBar, 7);
  snap->click();
  EXPECT_FALSE(model->tempo().snapToGrid());
  auto* snapTitle = settings.findChild<QLabel*>(QStringLiteral("snapToGridTitle"));
  ASSERT_TRUE(snapTitle);
  EXPECT_EQ(snapTitle->text(), QStringLiteral("Snap gain points to the grid (hold Ctrl to bypass)"));
  QTest::mouseClick(snapTitle, Qt::LeftButton);
  EXPECT_TRUE(model->tempo().snapToGrid());
  EXPECT_TRUE(snap->isChecked());

  double now = 10;
  model->tempo().setClock([&] { return now; });
  tap->click();
  now += 0.5;
  tap->click();
  EXPECT_EQ(model->tempo().grid().bpm, 120);
  EXPECT_EQ(tap->toolTip(), QStringLiteral("Click in time with the music (4+ taps)"));

  model->setCursor(4800);
  barOne->click();
  EXPECT_EQ(model->tempo().grid().downbeatFrame, 4800);

  model->tempo().setIsDetectingTempo(true);
  EXPECT_FALSE(detect->isEnabled());
  EXPECT_TRUE(settings.findChild<QWidget*>(QStringLiteral("detectProgress"))->isVisible());
  model->tempo().setIsDetectingTempo(false);
  EXPECT_TRUE(detect->isEnabled());
}

TEST_F(GridToolbarControlTest, ConfidenceLine) {
  EXPECT_EQ(GridSettingsView::confidenceLine(0.3).text, QStringLiteral("Detected with 30% confidence."));
  EXPECT_FALSE(GridSettingsView::confidenceLine(0.3).low);
  EXPECT_EQ(GridSettingsView::confidenceLine(0.876).text, QStringLiteral("Detected with 88% confidence."));
  EXPECT_EQ(GridSettingsView::confidenceLine(0.29).text,
            QStringLiteral("Low confidence \u2014 check the grid against the waveform, or use Tap."));
  EXPECT_TRUE(GridSettingsView::confidenceLine(0.29).low);

  GridSettingsView settings(model.get());
  settings.show();
  auto* line = settings.findChild<QLabel*>(QStringLiteral("confidenceText"));
  ASSERT_TRUE(line);
  EXPECT_FALSE(line->isVisible());
  model->tempo().setTempoConfidence(0.29);
  EXPECT_TRUE(line->isVisible());
  EXPECT_EQ(line->palette().color(QPalette::WindowText), ViewStyle::systemOrange.resolved(settings.palette()));
}
