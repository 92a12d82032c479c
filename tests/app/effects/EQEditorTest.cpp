// The equaliser's panel: band chips with their colours, adding and removing bands, and the
// selected band's controls.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>

#include "EditorTestSupport.h"
#include "effects/EQBandChip.h"
#include "effects/EQBandControls.h"
#include "effects/EQEditor.h"
#include "effects/EQGraph.h"

using namespace EditorTestSupport;
using quar::EQBand;
using quar::EQBandType;
using quar::EQSettings;

namespace {

EQSettings bandsAt(std::vector<double> frequencies) {
  std::vector<EQBand> bands;
  for (const double hz : frequencies) bands.emplace_back(EQBandType::peak, hz, 3.0, 0.8, 24, true);
  return EQSettings(bands);
}

std::vector<EQBandChip*> visibleChips(EQEditor& editor) {
  std::vector<EQBandChip*> chips;
  for (EQBandChip* chip : editor.findChildren<EQBandChip*>())
    if (chip->isVisibleTo(&editor)) chips.push_back(chip);
  std::ranges::sort(chips, {}, [](QWidget* chip) { return chip->x(); });
  return chips;
}

// The band with another id: for comparing every other field.
EQBand withID(EQBand band, const quar::Uuid& id) {
  band.id = id;
  return band;
}

void layOut(QWidget& widget) {
  widget.resize(400, widget.sizeHint().height());
  widget.show();
  QCoreApplication::processEvents();
}

QAbstractButton* addButton(EQEditor& editor) { return editor.findChild<QAbstractButton*>("addBand"); }
QWidget* controls(EQEditor& editor) { return editor.findChild<QWidget*>("bandControls"); }

void chooseType(EQEditor& editor, EQBandType type) {
  auto* menu = editor.findChild<QComboBox*>("type");
  menu->setCurrentIndex(caseIndex(type));
  Q_EMIT menu->activated(caseIndex(type));
  editor.refresh();  // as the frame does after every change of the slot
}

} // namespace

TEST(EQEditor, BandColoursFollowTheListPositionInLightAndDark) {
  const ThemeColor expected[] = {Theme::red,  Theme::orange, Theme::yellow, Theme::green,
                                 Theme::mint, Theme::cyan,   Theme::blue,   Theme::purple};
  for (size_t i = 0; i < 10; ++i) {
    EXPECT_EQ(EQEditor::bandColor(i).light, expected[i % 8].light) << i;
    EXPECT_EQ(EQEditor::bandColor(i).dark, expected[i % 8].dark) << i;
  }
  EXPECT_NE(Theme::yellow.light, Theme::yellow.dark);
}

// No bands: the add button and the output slider only; adding makes a selected bell.
TEST(EQEditor, AddingToAnEmptyEqualiserMakesASelectedBell) {
  Stored<EQSettings> stored{EQSettings(std::vector<EQBand>{})};
  EQEditor editor(stored.binding(), 48000);
  layOut(editor);
  EXPECT_TRUE(visibleChips(editor).empty());
  EXPECT_TRUE(addButton(editor)->isVisibleTo(&editor));
  EXPECT_EQ(addButton(editor)->toolTip(), "Add a band");
  EXPECT_FALSE(controls(editor)->isVisibleTo(&editor));
  EXPECT_EQ(sliderLabels(editor), std::vector<QString>{"Output"});
  EXPECT_EQ(editor.selected(), std::nullopt);

  addButton(editor)->click();
  ASSERT_EQ(stored.value.bands.size(), 1u);
  EXPECT_EQ(stored.writes, 1);
  const EQBand& band = stored.value.bands[0];
  EXPECT_EQ(band, withID(EQBand(EQBandType::peak, 1000, 0, 1.0, 24, true), band.id));
  EXPECT_EQ(editor.selected(), band.id);
  const std::vector<EQBandChip*> chips = visibleChips(editor);
  ASSERT_EQ(chips.size(), 1u);
  EXPECT_EQ(chips[0]->text(), "1");
  EXPECT_EQ(chips[0]->toolTip(), "Bell 1000 Hz");
  EXPECT_TRUE(chips[0]->isSelected());
  EXPECT_TRUE(controls(editor)->isVisibleTo(&editor));
  EXPECT_EQ(sliderLabels(editor), (std::vector<QString>{"Frequency", "Gain", "Q", "Output"}));
  EXPECT_EQ(text(*editor.findChild<ParamSlider*>("q")), "1.00");
}

TEST(EQEditor, TheAddButtonGoesAtEightBands) {
  Stored<EQSettings> stored{bandsAt({50, 100, 200, 400, 800, 1600, 3200})};
  EQEditor editor(stored.binding(), 48000);
  layOut(editor);
  EXPECT_TRUE(addButton(editor)->isVisibleTo(&editor));
  addButton(editor)->click();
  EXPECT_EQ(visibleChips(editor).size(), 8u);
  EXPECT_FALSE(addButton(editor)->isVisibleTo(&editor));
  editor.findChild<QAbstractButton*>("remove")->click();
  EXPECT_EQ(stored.value.bands.size(), 7u);
  EXPECT_TRUE(addButton(editor)->isVisibleTo(&editor));
}

// Removing band 3 of 5 selects the new first band; the former band 4 becomes chip 3 and takes
// the third colour.
TEST(EQEditor, RemovingTheSelectedBandSelectsTheFirstAndRecoloursTheRest) {
  Stored<EQSettings> stored{bandsAt({100, 200, 300, 400, 500})};
  const std::vector<EQBand> before = stored.value.bands;
  EQEditor editor(stored.binding(), 48000);
  layOut(editor);
  visibleChips(editor)[2]->click();
  EXPECT_EQ(editor.selected(), before[2].id);
  EXPECT_EQ(visibleChips(editor)[2]->color(), Theme::yellow.light);
  editor.findChild<QAbstractButton*>("remove")->click();

  EXPECT_EQ(stored.value.bands, (std::vector<EQBand>{before[0], before[1], before[3], before[4]}));
  EXPECT_EQ(editor.selected(), before[0].id);
  const std::vector<EQBandChip*> chips = visibleChips(editor);
  ASSERT_EQ(chips.size(), 4u);
  EXPECT_EQ(chips[2]->text(), "3");
  EXPECT_EQ(chips[2]->toolTip(), "Bell 400 Hz");
  EXPECT_EQ(chips[2]->color(), Theme::yellow.light);
  EXPECT_TRUE(chips[0]->isSelected());
  editor.setPalette(palette(true));
  EXPECT_EQ(chips[2]->color(), Theme::yellow.dark);
}

// The remove action looks the selected band up by its id: after the list changed elsewhere it
// removes that band wherever it now is, and nothing once it is gone.
TEST(EQEditor, RemovingAfterTheBandsChangedElsewhereRemovesTheSelectedBandOnly) {
  Stored<EQSettings> stored{bandsAt({100, 200, 300})};
  const std::vector<EQBand> before = stored.value.bands;
  EQEditor editor(stored.binding(), 48000);
  layOut(editor);
  visibleChips(editor)[2]->click();
  stored.value.bands = {before[2], before[0], before[1]};  // reordered by a preset, say
  editor.findChild<QAbstractButton*>("remove")->click();
  EXPECT_EQ(stored.value.bands, (std::vector<EQBand>{before[0], before[1]}));

  visibleChips(editor)[1]->click();
  stored.value.bands = {before[0]};  // the selected band replaced from outside
  const int writes = stored.writes;
  editor.removeSelectedBand();
  EXPECT_EQ(stored.writes, writes);
  EXPECT_EQ(stored.value.bands, std::vector<EQBand>{before[0]});
  editor.refresh();
  EXPECT_FALSE(controls(editor)->isVisibleTo(&editor));  // a stale selection shows no controls
  EXPECT_FALSE(visibleChips(editor)[0]->isSelected());
}

// A low cut has no gain row and a slope; its Q is called Resonance and resets to 0.707. The
// stored gain and Q are kept.
TEST(EQEditor, ChangingABellToALowCutSwapsItsRows) {
  Stored<EQSettings> stored{bandsAt({1000})};
  EQEditor editor(stored.binding(), 48000);
  layOut(editor);
  auto* slope = editor.findChild<QComboBox*>("slope");
  ParamSlider* q = editor.findChild<ParamSlider*>("q");
  EXPECT_FALSE(slope->isVisibleTo(&editor));
  EXPECT_EQ(q->defaultValue(), 1.0);

  chooseType(editor, EQBandType::lowCut);
  EXPECT_EQ(stored.value.bands[0].type, EQBandType::lowCut);
  EXPECT_EQ(stored.value.bands[0].gainDB, 3);
  EXPECT_EQ(stored.value.bands[0].q, 0.8);
  EXPECT_EQ(sliderLabels(editor), (std::vector<QString>{"Frequency", "Resonance", "Output"}));
  EXPECT_TRUE(slope->isVisibleTo(&editor));
  EXPECT_EQ(slope->currentText(), "24 dB/oct");
  EXPECT_EQ(q->defaultValue(), 0.707);
  doubleClickLabel(*q);
  EXPECT_EQ(stored.value.bands[0].q, 0.707);

  slope->setCurrentIndex(3);
  Q_EMIT slope->activated(3);
  editor.refresh();
  EXPECT_EQ(stored.value.bands[0].slopeDBPerOctave, 48);
  stored.value.bands[0].slopeDBPerOctave = 30;
  editor.refresh();
  EXPECT_EQ(slope->currentIndex(), -1);

  chooseType(editor, EQBandType::highShelf);
  EXPECT_EQ(sliderLabels(editor), (std::vector<QString>{"Frequency", "Gain", "Q", "Output"}));
  EXPECT_EQ(q->defaultValue(), 0.707);
  chooseType(editor, EQBandType::notch);
  EXPECT_EQ(q->defaultValue(), 1.0);
}

TEST(EQEditor, ADisabledBandsChipFadesAndItsControlsStayEditable) {
  Stored<EQSettings> stored{bandsAt({300, 600})};
  EQEditor editor(stored.binding(), 48000);
  layOut(editor);
  editor.findChild<QCheckBox*>("enabled")->click();
  editor.refresh();
  EXPECT_FALSE(stored.value.bands[0].isEnabled);
  EXPECT_FALSE(visibleChips(editor)[0]->isBandEnabled());
  EXPECT_TRUE(controls(editor)->isEnabled());
  slide(*editor.findChild<ParamSlider*>("gainDB"), 0);
  EXPECT_EQ(stored.value.bands[0].gainDB, -24);
  EXPECT_EQ(stored.value.bands[1], withID(bandsAt({600}).bands[0], stored.value.bands[1].id));
}
