#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

#include "InspectorTestSupport.h"
#include "inspector/MarkersPanel.h"

using EditorModelFixtureSupport::numbered;
using quar::FrameRange;

class MarkersPanelTest : public InspectorFixture {
protected:
  void SetUp() override {
    InspectorFixture::SetUp();
    model = makeModel(numbered(9600));
    panel = show(new MarkersPanel(model.get()));
  }
  QLineEdit* nameField(size_t row) const { return panel->rows().at(row)->findChild<QLineEdit*>("markerName"); }
  QPushButton* timeButton(size_t row) const { return panel->rows().at(row)->findChild<QPushButton*>("markerTime"); }
  std::vector<QString> names() const {
    std::vector<QString> result;
    for (const Marker& marker : model->markers()) result.push_back(marker.name);
    return result;
  }

  MarkersPanel* panel = nullptr;
};

TEST_F(MarkersPanelTest, AddShowsRowsInFrameOrderAndHidesTheHint) {
  auto* help = find<QLabel>("markersHelp");
  auto* add = find<QToolButton>("addMarker");
  EXPECT_TRUE(help->isVisible());
  EXPECT_EQ(add->toolTip(), QStringLiteral("Add a marker at the cursor (M)"));
  EXPECT_TRUE(panel->rows().empty());

  model->setCursor(4800);
  add->click();
  EXPECT_FALSE(help->isVisible());
  ASSERT_EQ(panel->rows().size(), 1u);
  EXPECT_EQ(nameField(0)->text(), QStringLiteral("Marker 1"));
  EXPECT_EQ(timeButton(0)->text(), QStringLiteral("0:00.100"));
  EXPECT_EQ(undo.undoActionName(), QStringLiteral("Add Marker"));

  model->setCursor(0);
  add->click();
  ASSERT_EQ(panel->rows().size(), 2u);
  EXPECT_EQ(nameField(0)->text(), QStringLiteral("Marker 2"));  // sorted by frame
  EXPECT_EQ(nameField(1)->text(), QStringLiteral("Marker 1"));
}

TEST_F(MarkersPanelTest, RemovingTheSecondOfThreeAndAddingNamesTheNewOneMarkerThree) {
  for (int64_t frame : {100, 200, 300}) model->addMarker(frame);
  ASSERT_EQ(panel->rows().size(), 3u);
  QWidget* second = panel->rows()[1];
  second->findChild<QToolButton*>("removeMarker")->click();
  EXPECT_EQ(undo.undoActionName(), QStringLiteral("Remove Marker"));
  EXPECT_EQ(names(), (std::vector<QString>{"Marker 1", "Marker 3"}));
  model->setCursor(400);
  find<QToolButton>("addMarker")->click();
  EXPECT_EQ(names(), (std::vector<QString>{"Marker 1", "Marker 3", "Marker 3"}));
  EXPECT_EQ(nameField(2)->text(), QStringLiteral("Marker 3"));
}

TEST_F(MarkersPanelTest, ReturnRenamesInOneUndoStepAndUndoRefreshesTheField) {
  model->addMarker(100);
  QLineEdit* field = nameField(0);
  const int64_t before = undo.changeCount();

  // Return with the text unchanged records nothing.
  QTest::keyClick(field, Qt::Key_Return);
  EXPECT_EQ(undo.changeCount(), before);

  field->selectAll();
  QTest::keyClicks(field, QStringLiteral("Chorus"));
  QTest::keyClick(field, Qt::Key_Return);
  EXPECT_EQ(names(), std::vector<QString>{"Chorus"});
  EXPECT_EQ(undo.changeCount(), before + 1);
  EXPECT_EQ(undo.undoActionName(), QStringLiteral("Rename Marker"));

  model->undo();
  EXPECT_EQ(names(), std::vector<QString>{"Marker 1"});
  EXPECT_EQ(field->text(), QStringLiteral("Marker 1"));
  model->redo();
  EXPECT_EQ(field->text(), QStringLiteral("Chorus"));

  // An empty name is a name; the field then shows its placeholder.
  field->clear();
  QTest::keyClick(field, Qt::Key_Return);
  EXPECT_EQ(names(), std::vector<QString>{""});
  EXPECT_EQ(field->placeholderText(), QStringLiteral("Name"));
}

TEST_F(MarkersPanelTest, TypingWithoutReturnKeepsTheTextWithItsMarker) {
  model->addMarker(100);
  model->addMarker(200);
  QWidget* first = panel->rows()[0];
  QLineEdit* field = nameField(0);
  field->setText(QStringLiteral("Draft"));
  field->clearFocus();
  EXPECT_EQ(names(), (std::vector<QString>{"Marker 1", "Marker 2"}));

  // Moving the marker past the other reorders the rows; the row and its text go with it.
  model->moveMarker(model->markers()[0].id, 300, true);
  ASSERT_EQ(panel->rows().size(), 2u);
  EXPECT_EQ(panel->rows()[1], first);
  EXPECT_EQ(nameField(1)->text(), QStringLiteral("Draft"));
  EXPECT_EQ(nameField(0)->text(), QStringLiteral("Marker 2"));
}

TEST_F(MarkersPanelTest, ClickingATimeClearsTheSelectionAndSeeks) {
  model->addMarker(4800);
  model->setSelection(FrameRange(0, 9600));
  QPushButton* time = timeButton(0);
  EXPECT_EQ(time->toolTip(), QStringLiteral("Move the cursor here"));
  time->click();
  EXPECT_FALSE(model->selection());
  EXPECT_EQ(model->cursor(), 4800);

  model->viewSettings().setTimeFormat(TimeFormat::samples);
  EXPECT_EQ(time->text(), QStringLiteral("4,800"));
  model->viewSettings().setTimeFormat(TimeFormat::seconds);
  EXPECT_EQ(time->text(), QStringLiteral("0.100"));
}
