// The effect slot card: bypass, expansion, the slot menu with presets, the save-preset prompt
// and applying presets, for built-in and LV2 plug-in slots.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include <limits>

#include "AppTestSupport.h"
#include "EditorTestSupport.h"
#include "PresetTestSupport.h"
#include "RackTestSupport.h"
#include "au/support/TestUnits.h"
#include "effects/AudioUnitSlotEditor.h"
#include "effects/BuiltinEffectEditor.h"
#include "effects/EffectEditor.h"
#include "effects/EffectPresets.h"
#include "effects/EffectSlotCard.h"
#include "effects/GainReductionMeter.h"
#include "widgets/ActionMenu.h"
#include "widgets/ActivitySpinner.h"
#include "widgets/SlidingPanel.h"

using namespace EditorTestSupport;
using quar::EffectKind;
using quar::EffectSettings;
using quar::defaultSettings;

namespace {

// "[Section]" for a section heading, "-" for a divider, else the title.
QStringList layout(EffectSlotCard& card) {
  Q_EMIT card.slotMenu()->aboutToShow();
  QStringList lines;
  for (const QAction* action : card.slotMenu()->actions())
    lines << (action->isSeparator() ? (action->text().isEmpty() ? QStringLiteral("-") : "[" + action->text() + "]")
                                    : action->text());
  return lines;
}

void choose(EffectSlotCard& card, const QString& title) {
  Q_EMIT card.slotMenu()->aboutToShow();
  for (QAction* action : card.slotMenu()->actions())
    if (!action->isSeparator() && action->text() == title) return action->trigger();
  ADD_FAILURE() << "no item " << title.toStdString();
}

const EffectSlot& slotOf(EditorModel& model, const quar::Uuid& id) {
  return *std::ranges::find(model.rack().slots(), id, &EffectSlot::id);
}

// Opens the prompt, types a name and presses a button of it.
void answerPrompt(EffectSlotCard& card, const QString& typed, const QString& button) {
  choose(card, QStringLiteral("Save Preset\u2026"));
  QDialog* prompt = card.savePrompt();
  ASSERT_NE(prompt, nullptr);
  prompt->findChild<QLineEdit*>("presetName")->setText(typed);
  for (QAbstractButton* b : prompt->findChild<QDialogButtonBox*>()->buttons())
    if (b->text() == button) b->click();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(card.savePrompt(), nullptr);
}

} // namespace

class EffectSlotCardTest : public PresetTest {
protected:
  std::unique_ptr<EditorModel> model = makeModel();
  EffectsRack& rack = model->rack();
};

TEST_F(EffectSlotCardTest, HeaderShowsTheSlotAndBypassGreysTheEditor) {
  const quar::Uuid id = addSlot(*model, defaultSettings(EffectKind::gate));
  EffectSlotCard card(&rack, model.get(), id);
  auto* enabled = card.findChild<QCheckBox*>("slotEnabled");
  EXPECT_EQ(card.findChild<QLabel*>("slotTitle")->text(), "Noise Gate");
  EXPECT_TRUE(enabled->isChecked());
  EXPECT_EQ(enabled->toolTip(), "Bypass");
  ASSERT_NE(card.editor(), nullptr);  // a new slot is expanded
  EXPECT_NE(qobject_cast<BuiltinEffectEditor*>(card.editor()), nullptr);
  QWidget* body = card.findChild<QWidget*>("slotBody");
  EXPECT_TRUE(body->isEnabled());
  EXPECT_EQ(body->graphicsEffect(), nullptr);
  const QColor primaryTitle = card.findChild<QLabel*>("slotTitle")->palette().color(QPalette::WindowText);

  enabled->click();
  EXPECT_FALSE(slotOf(*model, id).isEnabled);
  EXPECT_EQ(enabled->toolTip(), "Enable");
  ASSERT_NE(card.editor(), nullptr);  // still shown, but inert and faded
  EXPECT_FALSE(body->isEnabled());
  auto* fade = qobject_cast<QGraphicsOpacityEffect*>(body->graphicsEffect());
  ASSERT_NE(fade, nullptr);
  EXPECT_DOUBLE_EQ(fade->opacity(), 0.55);
  EXPECT_NE(card.findChild<QLabel*>("slotTitle")->palette().color(QPalette::WindowText), primaryTitle);

  enabled->click();
  EXPECT_TRUE(slotOf(*model, id).isEnabled);
  EXPECT_TRUE(body->isEnabled());
  EXPECT_EQ(body->graphicsEffect(), nullptr);
}

TEST_F(EffectSlotCardTest, OneCardOfTheRackIsExpandedAtATime) {
  const quar::Uuid first = addSlot(*model, defaultSettings(EffectKind::eq));
  const quar::Uuid second = addSlot(*model, defaultSettings(EffectKind::delay));
  EffectSlotCard a(&rack, model.get(), first), b(&rack, model.get(), second);
  a.show();
  b.show();
  EXPECT_EQ(a.editor(), nullptr);
  EXPECT_NE(b.editor(), nullptr);

  QTest::mouseDClick(a.findChild<QLabel*>("slotTitle"), Qt::LeftButton);  // anywhere on the header
  EXPECT_EQ(rack.expandedSlotID(), first);
  EXPECT_NE(a.editor(), nullptr);
  EXPECT_EQ(b.editor(), nullptr);
  QTest::mouseDClick(a.findChild<QWidget*>("slotHeader"), Qt::LeftButton, {}, QPoint(200, 5));
  EXPECT_EQ(rack.expandedSlotID(), std::nullopt);

  b.findChild<QToolButton*>("slotExpand")->click();
  EXPECT_EQ(rack.expandedSlotID(), second);
  b.findChild<QToolButton*>("slotExpand")->click();
  EXPECT_EQ(rack.expandedSlotID(), std::nullopt);
  EXPECT_EQ(b.editor(), nullptr);
}

TEST_F(EffectSlotCardTest, TheExpandButtonUnrollsTheEditorOnTheSpringAndADoubleClickTogglesAtOnce) {
  const AppTestSupport::AnimationsOn animations;
  const quar::Uuid id = addSlot(*model, defaultSettings(EffectKind::delay));
  EffectSlotCard card(&rack, model.get(), id);
  card.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&card));
  auto* reveal = card.findChild<SlidingPanel*>("slotReveal");
  auto* expand = card.findChild<QToolButton*>("slotExpand");
  auto* header = card.findChild<QWidget*>("slotHeader");
  ASSERT_TRUE(reveal && expand && header);
  const int expandedHeight = card.sizeHint().height();

  // Rolling up, the editor stays on screen until the spring has settled.
  expand->click();
  EXPECT_EQ(rack.expandedSlotID(), std::nullopt);
  QVariantAnimation* transition = reveal->transition();
  ASSERT_TRUE(transition);
  EXPECT_EQ(transition->duration(), 200);
  EXPECT_EQ(transition->easingCurve().type(), QEasingCurve::Custom);
  EXPECT_NE(card.editor(), nullptr);
  transition->setCurrentTime(100);
  EXPECT_LT(card.sizeHint().height(), expandedHeight);
  transition->setCurrentTime(200);
  EXPECT_EQ(card.editor(), nullptr);
  EXPECT_FALSE(reveal->isVisible());
  const int collapsedHeight = card.sizeHint().height();
  EXPECT_LT(collapsedHeight, expandedHeight);

  expand->click();
  transition = reveal->transition();
  ASSERT_TRUE(transition);
  ASSERT_NE(card.editor(), nullptr);
  transition->setCurrentTime(100);
  EXPECT_GT(card.sizeHint().height(), collapsedHeight);
  EXPECT_LT(card.sizeHint().height(), expandedHeight);
  transition->setCurrentTime(200);
  EXPECT_EQ(card.sizeHint().height(), expandedHeight);
  EXPECT_EQ(reveal->graphicsEffect(), nullptr);

  // A double-click on the header skips the spring both ways.
  QTest::mouseDClick(header, Qt::LeftButton, {}, QPoint(200, 5));
  EXPECT_EQ(reveal->transition(), nullptr);
  EXPECT_FALSE(reveal->isVisible());
  EXPECT_EQ(card.editor(), nullptr);
  EXPECT_EQ(card.sizeHint().height(), collapsedHeight);
  QTest::mouseDClick(header, Qt::LeftButton, {}, QPoint(200, 5));
  EXPECT_EQ(reveal->transition(), nullptr);
  EXPECT_TRUE(reveal->isVisible());
  EXPECT_NE(card.editor(), nullptr);
  EXPECT_EQ(card.sizeHint().height(), expandedHeight);
}

TEST_F(EffectSlotCardTest, RemoveIsDrawnInTheDestructiveRed) {
  const quar::Uuid id = addSlot(*model, defaultSettings(EffectKind::gate));
  EffectSlotCard card(&rack, model.get(), id);
  QMenu* menu = card.slotMenu();
  Q_EMIT menu->aboutToShow();
  QAction* remove = nullptr;
  QAction* moveUp = nullptr;
  for (QAction* action : menu->actions()) {
    if (action->text() == "Remove") remove = action;
    if (action->text() == "Move Up") moveUp = action;
  }
  ASSERT_TRUE(remove && moveUp);
  EXPECT_TRUE(ActionMenu::isDestructive(remove));
  EXPECT_FALSE(ActionMenu::isDestructive(moveUp));
  // Text pixels clearly redder than they are green or blue: only in the "Remove" row.
  menu->adjustSize();
  const QImage image = menu->grab().toImage();
  const auto redPixels = [&](const QRect& row) {
    int count = 0;
    for (int y = row.top(); y <= row.bottom(); ++y)
      for (int x = row.left(); x <= row.right(); ++x) {
        const QColor c = image.pixelColor(x, y);
        count += c.red() - std::max(c.green(), c.blue()) > 80;
      }
    return count;
  };
  EXPECT_GT(redPixels(menu->actionGeometry(remove)), 10);
  EXPECT_EQ(redPixels(menu->actionGeometry(moveUp)), 0);
}

TEST_F(EffectSlotCardTest, TheSlotMenuOfABuiltInSlot) {
  const quar::Uuid id = addSlot(*model, defaultSettings(EffectKind::compressor));
  EffectSlotCard card(&rack, model.get(), id);
  const QStringList moves{"Move Up", "Move Down", "-", "Remove"};
  EXPECT_EQ(layout(card), QStringList({"[Factory Presets]", "Gentle Glue", "Vocal Leveler", "Punchy Drums",
                                       "Parallel Crush", "Broadcast Voice", "Peak Catcher",
                                       QStringLiteral("Save Preset\u2026"), "-"}) +
                              moves);

  ASSERT_EQ(EffectPresets::save(quar::CompressorSettings{}, "Mine 10"), std::nullopt);
  ASSERT_EQ(EffectPresets::save(quar::CompressorSettings{}, "mine 9"), std::nullopt);
  ASSERT_EQ(EffectPresets::save(quar::GateSettings{}, "Gate only"), std::nullopt);
  const QStringList lines = layout(card);
  EXPECT_EQ(lines.mid(7, 4), QStringList({"[My Presets]", "mine 9", "Mine 10", QStringLiteral("Save Preset\u2026")}));

  choose(card, "Parallel Crush");
  EXPECT_EQ(*slotOf(*model, id).settings(), EffectPresets::factory(EffectKind::compressor)[3].settings);
  choose(card, "mine 9");
  EXPECT_EQ(*slotOf(*model, id).settings(), EffectSettings(quar::CompressorSettings{}));
}

TEST_F(EffectSlotCardTest, MovingAndRemovingThroughTheMenu) {
  const quar::Uuid first = addSlot(*model, defaultSettings(EffectKind::eq));
  const quar::Uuid last = addSlot(*model, defaultSettings(EffectKind::reverb));
  EffectSlotCard a(&rack, model.get(), first), b(&rack, model.get(), last);
  const auto order = [&] { return std::vector{rack.slots()[0].id, rack.slots()[1].id}; };
  choose(a, "Move Up");
  choose(b, "Move Down");
  EXPECT_EQ(order(), (std::vector{first, last}));
  choose(a, "Move Down");
  EXPECT_EQ(order(), (std::vector{last, first}));
  choose(a, "Remove");
  ASSERT_EQ(rack.slots().size(), 1u);
  EXPECT_EQ(rack.slots()[0].id, last);
}

TEST_F(EffectSlotCardTest, SavingAPresetThroughThePrompt) {
  const quar::Uuid id = addSlot(*model, defaultSettings(EffectKind::compressor));
  EffectSlotCard card(&rack, model.get(), id);
  choose(card, QStringLiteral("Save Preset\u2026"));
  QDialog* prompt = card.savePrompt();
  ASSERT_NE(prompt, nullptr);
  EXPECT_TRUE(prompt->isVisible());
  EXPECT_EQ(prompt->windowModality(), Qt::WindowModal);
  EXPECT_EQ(prompt->windowTitle(), "Save Preset");
  EXPECT_EQ(prompt->findChild<QLabel*>("savePresetMessage")->text(), "Save the current Compressor settings as a preset.");
  EXPECT_EQ(prompt->findChild<QLineEdit*>("presetName")->placeholderText(), "Preset name");
  EXPECT_TRUE(prompt->findChild<QLineEdit*>("presetName")->text().isEmpty());
  prompt->reject();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

  answerPrompt(card, "Ignored", "Cancel");
  answerPrompt(card, " \t  ", "Save");
  EXPECT_TRUE(EffectPresets::user(EffectKind::compressor).empty());
  EXPECT_FALSE(QFileInfo::exists(EffectPresets::filePath()));

  answerPrompt(card, "  Wide  ", "Save");
  const auto mine = EffectPresets::user(EffectKind::compressor);
  ASSERT_EQ(mine.size(), 1u);
  EXPECT_EQ(mine[0].name, "  Wide  ");  // saved as typed
  EXPECT_EQ(mine[0].settings, *slotOf(*model, id).settings());
  EXPECT_TRUE(layout(card).contains("  Wide  "));
  EXPECT_EQ(rack.lastError(), std::nullopt);
}

TEST_F(EffectSlotCardTest, APresetThatCannotBeSavedIsReportedInTheBanner) {
  quar::CompressorSettings broken;
  broken.ratio = std::numeric_limits<double>::infinity();
  const quar::Uuid id = addSlot(*model, broken);
  rack.setExpandedSlotID(std::nullopt);
  EffectSlotCard card(&rack, model.get(), id);
  answerPrompt(card, "Infinite", "Save");
  ASSERT_TRUE(rack.lastError());
  EXPECT_TRUE(rack.lastError()->startsWith(QStringLiteral("Couldn\u2019t save the preset \u201CInfinite\u201D: ")));
  EXPECT_TRUE(EffectPresets::user(EffectKind::compressor).empty());
}

TEST_F(EffectSlotCardTest, ANoiseReductionPresetKeepsTheSlotsLearntProfile) {
  const quar::NoiseProfile profile{512, 48000, std::vector<float>(257, 0.5f)};
  for (const bool learnt : {true, false}) {
    SCOPED_TRACE(learnt);
    quar::NoiseReductionSettings current;
    if (learnt) current.profile = profile;
    const quar::Uuid id = addSlot(*model, current);
    EffectSlotCard card(&rack, model.get(), id);
    const auto strong = std::get<quar::NoiseReductionSettings>(EffectPresets::factory(EffectKind::noiseReduction)[2].settings);
    quar::NoiseReductionSettings fromFile = strong;
    fromFile.profile = quar::NoiseProfile{256, 44100, std::vector<float>(129, 1)};  // a preset never brings one
    card.applyPreset(fromFile);
    quar::NoiseReductionSettings expected = strong;
    expected.profile = current.profile;
    EXPECT_EQ(std::get<quar::NoiseReductionSettings>(*slotOf(*model, id).settings()), expected);
  }
}

TEST_F(EffectSlotCardTest, APluginSlotWhileLoadingAndOnceLoaded) {
  rack.addAudioUnit(quar::test::descriptorOf(quar::test::lv2Component(quar::test::testPlugins + "mono-gain")));
  const quar::Uuid id = rack.slots().at(0).id;
  EffectSlotCard card(&rack, model.get(), id);
  card.show();
  ASSERT_TRUE(rack.loadingSlots().contains(id));  // its completion waits for the event loop
  EXPECT_EQ(card.findChild<QLabel*>("slotTitle")->text(), "Test Mono Gain");
  EXPECT_TRUE(card.findChild<ActivitySpinner*>("slotSpinner")->isVisible());
  EXPECT_EQ(layout(card), QStringList({"Move Up", "Move Down", "-", "Remove"}));
  ASSERT_NE(card.editor(), nullptr);
  EXPECT_NE(card.editor()->findChild<QLabel*>("loadingPlugin"), nullptr);

  ASSERT_TRUE(RackTestSupport::waitForLoads(rack));
  EXPECT_FALSE(card.findChild<ActivitySpinner*>("slotSpinner")->isVisible());
  ASSERT_NE(card.editor(), nullptr);
  EXPECT_EQ(card.editor()->findChild<QLabel*>("loadingPlugin"), nullptr);
  EXPECT_NE(card.editor()->findChild<QToolButton*>("openPluginEditor"), nullptr);
  EXPECT_EQ(layout(card), QStringList({"Move Up", "Move Down", "-", "Remove"}));
}

// A preset chosen while a value field of the card has the focus shows in that field and its
// slider at once, whether or not something was being typed there.
TEST_F(EffectSlotCardTest, APresetShowsAtOnceInAFocusedValueField) {
  const quar::Uuid id = addSlot(*model, defaultSettings(EffectKind::reverb));
  EffectSlotCard card(&rack, model.get(), id);
  showActive(card);
  auto* preDelay = card.findChild<ParamSlider*>("preDelayMs");
  ASSERT_TRUE(preDelay);
  field(*preDelay)->setFocus();
  ASSERT_TRUE(field(*preDelay)->hasFocus());

  choose(card, "Cathedral");
  QCoreApplication::processEvents();
  ASSERT_EQ(slotSettings<quar::ReverbSettings>(*model, id).preDelayMs, 45);
  EXPECT_EQ(text(*preDelay), "45");
  EXPECT_EQ(track(*preDelay)->value(), std::lround(45.0 / 250 * ParamSlider::sliderSteps));

  type(*preDelay, "99", false);
  choose(card, "Small Room");
  QCoreApplication::processEvents();
  EXPECT_EQ(text(*preDelay), "5");
  EXPECT_EQ(track(*preDelay)->value(), std::lround(5.0 / 250 * ParamSlider::sliderSteps));
  EXPECT_EQ(slotSettings<quar::ReverbSettings>(*model, id).preDelayMs, 5);
}
