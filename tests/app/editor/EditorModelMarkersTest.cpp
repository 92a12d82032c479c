#include "EditorModelFixture.h"

using quar::FrameRange;
using namespace EditorModelFixtureSupport;

namespace {

std::vector<int64_t> framesOf(const std::vector<Marker>& markers) {
  std::vector<int64_t> frames;
  for (const Marker& m : markers) frames.push_back(m.frame);
  return frames;
}

std::vector<QString> namesOf(const std::vector<Marker>& markers) {
  std::vector<QString> names;
  for (const Marker& m : markers) names.push_back(m.name);
  return names;
}

} // namespace

class EditorModelMarkersTest : public EditorModelFixture {};

TEST_F(EditorModelMarkersTest, AddedMarkersAreSortedAndNamedInOrderOfAddition) {
  auto model = makeModel(numbered(1000));
  for (int64_t frame : {500, 100, 300, 100}) model->addMarker(frame);
  EXPECT_EQ(framesOf(model->markers()), (std::vector<int64_t>{100, 100, 300, 500}));
  EXPECT_EQ(namesOf(model->markers()), (std::vector<QString>{QStringLiteral("Marker 2"), QStringLiteral("Marker 4"),
                                                              QStringLiteral("Marker 3"), QStringLiteral("Marker 1")}));
  EXPECT_EQ(undo.undoMenuItemTitle(), QStringLiteral("Undo Add Marker"));
  model->undo();
  EXPECT_EQ(model->markers().size(), 3u);
}

TEST_F(EditorModelMarkersTest, AnAddedMarkerGoesToThePlayheadTheSelectionOrTheCursor) {
  auto model = makeModel(numbered(1000));
  model->setCursor(40);
  model->addMarker();
  model->setSelection(FrameRange(200, 300), std::nullopt);
  model->setCursor(250);
  model->addMarker();
  model->transport().setIsPlaying(true);
  model->transport().setPlayhead(700);
  model->addMarker();
  model->addMarker(5000);  // a given frame is not clamped
  EXPECT_EQ(framesOf(model->markers()), (std::vector<int64_t>{40, 200, 700, 5000}));
}

TEST_F(EditorModelMarkersTest, RenameAndRemove) {
  auto model = makeModel(numbered(1000));
  model->addMarker(100);
  const quar::Uuid id = model->markers()[0].id;
  undo.removeAllActions();

  model->renameMarker(id, QStringLiteral("Marker 1"));
  model->renameMarker(quar::Uuid::random(), QStringLiteral("Verse"));
  EXPECT_FALSE(undo.canUndo());

  model->renameMarker(id, QStringLiteral(" Verse "));
  EXPECT_EQ(model->markers()[0].name, QStringLiteral(" Verse "));
  EXPECT_EQ(model->markers()[0].id, id);
  EXPECT_EQ(undo.undoMenuItemTitle(), QStringLiteral("Undo Rename Marker"));

  model->removeMarker(quar::Uuid::random());  // recorded even though nothing matches
  EXPECT_EQ(undo.undoMenuItemTitle(), QStringLiteral("Undo Remove Marker"));
  EXPECT_EQ(model->markers().size(), 1u);
  model->removeMarker(id);
  EXPECT_TRUE(model->markers().empty());
  model->undo();
  EXPECT_EQ(model->markers()[0].name, QStringLiteral(" Verse "));
}

TEST_F(EditorModelMarkersTest, ALiveDragClampsAndOneUndoRestoresEveryMarker) {
  auto model = makeModel(numbered(1000));
  for (int64_t frame : {100, 200, 300}) model->addMarker(frame);
  const std::vector<Marker> original = model->markers();
  undo.removeAllActions();

  model->moveMarker(original[0].id, 5000, false);
  model->moveMarker(original[1].id, -20, false);
  EXPECT_EQ(framesOf(model->markers()), (std::vector<int64_t>{1000, 0, 300}));
  EXPECT_FALSE(undo.canUndo());

  model->endMarkerDrag(original);
  EXPECT_EQ(framesOf(model->markers()), (std::vector<int64_t>{0, 300, 1000}));
  EXPECT_EQ(undo.undoMenuItemTitle(), QStringLiteral("Undo Move Marker"));
  model->undo();
  EXPECT_EQ(model->markers(), original);
  EXPECT_FALSE(undo.canUndo());

  model->endMarkerDrag(original);  // nothing dragged: no step
  EXPECT_FALSE(undo.canUndo());
  model->moveMarker(original[2].id, 50, true);
  EXPECT_EQ(framesOf(model->markers()), (std::vector<int64_t>{50, 100, 200}));
  EXPECT_EQ(undo.undoMenuItemTitle(), QStringLiteral("Undo Move Marker"));
}

TEST_F(EditorModelMarkersTest, JumpsPassOverMarkersWithinOneFrame) {
  auto model = makeModel(numbered(1000));
  for (int64_t frame : {100, 499, 501, 800}) model->addMarker(frame);
  struct Case {
    int64_t from;
    bool next;
    int64_t to;
  };
  const Case cases[] = {
      {500, true, 800}, {500, false, 100}, {99, true, 499}, {900, true, 900}, {101, false, 0}, {50, false, 0},
  };
  for (const Case& c : cases) {
    model->setCursor(c.from);
    model->jumpToMarker(c.next);
    EXPECT_EQ(model->cursor(), c.to) << c.from << (c.next ? " next" : " previous");
  }
  model->transport().setIsPlaying(true);
  model->transport().setPlayhead(600);
  model->jumpToMarker(false);
  EXPECT_EQ(model->cursor(), 501);
  EXPECT_EQ(model->transport().playhead(), 501);
}
