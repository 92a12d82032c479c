// The effects rack panel: the empty state and its quick-add buttons, the cards, the footer's
// tail picker and Apply button, the preview toggle and note, the error banner, pictures of the
// panel, and an LV2 plug-in taken from the menu through preview and apply.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>

#include "../editor/EditorModelFixture.h"
#include "EditorTestSupport.h"
#include "PresetTestSupport.h"
#include "RackTestSupport.h"
#include "au/platform/RenderLane.h"
#include "au/support/TestUnits.h"
#include "effects/AddEffectMenu.h"
#include "effects/AudioUnitParameterList.h"
#include "effects/AudioUnitSlotEditor.h"
#include "effects/EffectSlotCard.h"
#include "effects/EffectsRackView.h"
#include "widgets/ViewStyle.h"
#include "platform/NullAudioBackend.h"

using namespace EditorModelFixtureSupport;
using quar::EffectKind;
using quar::defaultSettings;

namespace {

template <typename W = QWidget>
W* child(const QWidget& view, const char* name) {
  W* found = view.findChild<W*>(QString::fromUtf8(name));
  EXPECT_NE(found, nullptr) << name;
  return found;
}

bool shown(const QWidget& view, const char* name) { return child(view, name)->isVisibleTo(&view); }

QAction* item(const QMenu* menu, const QString& title) {
  for (QAction* action : menu->actions())
    if (action->text() == title) return action;
  ADD_FAILURE() << "no item " << title.toStdString();
  return nullptr;
}

NullAudioBackend& device() { return dynamic_cast<NullAudioBackend&>(AudioBackend::shared()); }

// The panel as the inspector shows it: 360 points wide, inset by 14.
struct Inspector {
  QWidget frame;
  EffectsRackView* view;

  explicit Inspector(EditorModel* model) : view(new EffectsRackView(model)) {
    auto* layout = new QVBoxLayout(&frame);
    layout->setContentsMargins(14, 14, 14, 14);
    layout->addWidget(view);
    frame.resize(360, 640);
  }
  void picture(const QString& name) {
    frame.show();
    for (int pass = 0; pass < 3; ++pass) QCoreApplication::processEvents();  // shows, then lays out what showing made
    EditorTestSupport::savePicture(frame, name);
  }
};

} // namespace

class EffectsRackViewTest : public EditorModelFixture {
protected:
  void SetUp() override {
    EditorModelFixture::SetUp();
    PresetTestSupport::clearPresets();
  }
  std::unique_ptr<EditorModel> model = makeModel(tone(48000, {0.5f, 0.5f}));
  EffectsRack& rack = model->rack();
};

TEST_F(EffectsRackViewTest, AnEmptyRackShowsTheEmptyStateAndNoFooter) {
  EffectsRackView view(model.get());
  auto* preview = child<QToolButton>(view, "previewToggle");
  EXPECT_EQ(preview->text(), "Preview");
  EXPECT_TRUE(preview->isChecked());
  EXPECT_EQ(preview->toolTip(), "Hear the rack while playing (Space to play)");
  EXPECT_EQ(child<AddEffectMenu>(view, "addEffect")->text(), "Add Effect");
  EXPECT_TRUE(shown(view, "emptyState"));
  EXPECT_EQ(child<QLabel>(view, "emptyHint")->text(),
            "Add effects to build a chain. Play to hear it live, then apply it to the selection or the whole file.");
  QStringList quickAdd;
  for (const char* name : {"quickAdd-eq", "quickAdd-compressor", "quickAdd-reverb"})
    quickAdd << child<QToolButton>(view, name)->text();
  EXPECT_EQ(quickAdd, QStringList({"Parametric EQ", "Compressor", "Reverb"}));
  EXPECT_FALSE(shown(view, "rackFooter"));
  EXPECT_FALSE(shown(view, "errorBanner"));

  rack.setPreviewEnabled(false);
  EXPECT_FALSE(preview->isChecked());
  EXPECT_FALSE(shown(view, "previewOffNote"));
}

TEST_F(EffectsRackViewTest, AQuickAddButtonAddsAnExpandedCard) {
  EffectsRackView view(model.get());
  child<QToolButton>(view, "quickAdd-compressor")->click();
  ASSERT_EQ(rack.slots().size(), 1u);
  const EffectSlot& slot = rack.slots()[0];
  EXPECT_EQ(*slot.settings(), defaultSettings(EffectKind::compressor));
  EXPECT_TRUE(slot.isEnabled);
  ASSERT_NE(view.card(slot.id), nullptr);
  EXPECT_NE(view.card(slot.id)->editor(), nullptr);
  EXPECT_FALSE(shown(view, "emptyState"));
  EXPECT_TRUE(shown(view, "rackFooter"));
  EXPECT_TRUE(shown(view, "applyRack"));
}

TEST_F(EffectsRackViewTest, CardsFollowTheRacksOrderAndClearEmptiesIt) {
  EffectsRackView view(model.get());
  view.resize(332, 900);
  view.show();
  for (EffectKind kind : {EffectKind::eq, EffectKind::delay, EffectKind::reverb}) rack.add(defaultSettings(kind));
  const auto ids = [&] {
    std::vector<quar::Uuid> list;
    for (const EffectSlot& slot : rack.slots()) list.push_back(slot.id);
    return list;
  }();
  const auto cardOrder = [&] {
    QCoreApplication::processEvents();
    std::vector<quar::Uuid> order;
    std::vector<EffectSlotCard*> cards;
    for (const auto& id : ids) cards.push_back(view.card(id));
    std::ranges::sort(cards, {}, [&](QWidget* w) { return w->mapTo(&view, QPoint()).y(); });
    for (EffectSlotCard* card : cards) order.push_back(card->slotID());
    return order;
  };
  EXPECT_EQ(cardOrder(), ids);
  EffectSlotCard* delay = view.card(ids[1]);

  rack.move(ids[2], -2);
  EXPECT_EQ(cardOrder(), (std::vector{ids[2], ids[1], ids[0]}));
  EXPECT_EQ(view.card(ids[1]), delay);  // the same card, with its state

  Q_EMIT delay->slotMenu()->aboutToShow();
  item(delay->slotMenu(), "Remove")->trigger();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(view.card(ids[1]), nullptr);

  // "Clear" reads in the destructive red of the light and of the dark palette.
  auto* clear = child<QPushButton>(view, "clearRack");
  for (const QColor window : {QColor(236, 236, 236), QColor(40, 40, 40)}) {
    view.setPalette(QPalette(window));
    EXPECT_EQ(clear->palette().color(QPalette::ButtonText), ViewStyle::destructive.resolved(clear->palette()))
        << window.name().toStdString();
  }
  EXPECT_NE(ViewStyle::destructive.resolved(true), ViewStyle::destructive.resolved(false));
  clear->click();
  EXPECT_TRUE(rack.slots().empty());
  EXPECT_TRUE(shown(view, "emptyState"));
  EXPECT_FALSE(shown(view, "rackFooter"));
}

TEST_F(EffectsRackViewTest, TheApplyButtonFollowsSelectionSlotsLoadsAndJobs) {
  EffectsRackView view(model.get());
  rack.add(defaultSettings(EffectKind::distortion));
  auto* apply = child<QPushButton>(view, "applyRack");
  EXPECT_EQ(apply->text(), "Apply to Entire File");
  EXPECT_GE(apply->minimumWidth(), 150);
  EXPECT_TRUE(apply->isEnabled());
  model->setSelection(quar::FrameRange(100, 2000));
  EXPECT_EQ(apply->text(), "Apply to Selection");
  model->setSelection(std::nullopt);
  EXPECT_EQ(apply->text(), "Apply to Entire File");

  std::vector<EffectSlot> slots = rack.slots();
  slots[0].isEnabled = false;
  rack.setSlots(slots);
  EXPECT_FALSE(apply->isEnabled());
  EXPECT_TRUE(child<QPushButton>(view, "clearRack")->isEnabled());
  slots[0].isEnabled = true;
  rack.setSlots(slots);
  EXPECT_TRUE(apply->isEnabled());

  rack.addAudioUnit(quar::test::descriptorOf(quar::test::lv2Component(quar::test::testPlugins + "stereo-gain")));
  EXPECT_FALSE(apply->isEnabled());  // a plug-in still loads
  ASSERT_TRUE(RackTestSupport::waitForLoads(rack));
  EXPECT_TRUE(apply->isEnabled());

  model->reverse();
  ASSERT_TRUE(model->jobs().busy());
  EXPECT_FALSE(apply->isEnabled());
  ASSERT_TRUE(waitUntilIdle(*model));
  EXPECT_TRUE(apply->isEnabled());
}

TEST_F(EffectsRackViewTest, ThePreviewToggleAndTheTailPicker) {
  EffectsRackView view(model.get());
  rack.add(defaultSettings(EffectKind::reverb));
  auto* preview = child<QToolButton>(view, "previewToggle");
  EXPECT_FALSE(shown(view, "previewOffNote"));
  preview->click();
  EXPECT_FALSE(rack.previewEnabled());
  EXPECT_TRUE(shown(view, "previewOffNote"));
  EXPECT_EQ(child<QLabel>(view, "previewOffNote")->text(),
            QStringLiteral("Preview is off \u2014 you\u2019re hearing the audio without the rack."));
  rack.setPreviewEnabled(true);
  EXPECT_TRUE(preview->isChecked());
  EXPECT_FALSE(shown(view, "previewOffNote"));

  auto* tail = child<QComboBox>(view, "tailMode");
  ASSERT_EQ(tail->count(), 2);
  EXPECT_EQ(tail->itemText(0), "Let tails ring out");
  EXPECT_EQ(tail->itemText(1), "Cut tails at selection end");
  EXPECT_EQ(tail->currentIndex(), 0);
  Q_EMIT tail->activated(1);
  EXPECT_EQ(rack.tailMode(), quar::EffectTailMode::truncate);
  rack.setTailMode(quar::EffectTailMode::mixIntoFollowing);
  EXPECT_EQ(tail->currentIndex(), 0);
}

TEST_F(EffectsRackViewTest, TheErrorBannerShowsTheMessageVerbatimUntilDismissed) {
  EffectsRackView view(model.get());
  view.resize(332, 600);
  view.show();
  const QString message = QStringLiteral("A first line <b>not bold</b>\nand a second line, long enough to wrap inside "
                                         "the narrow inspector panel of the editor window");
  rack.reportError(message);
  QCoreApplication::processEvents();
  ASSERT_TRUE(shown(view, "errorBanner"));
  auto* text = child<QLabel>(view, "errorMessage");
  EXPECT_EQ(text->text(), message);
  EXPECT_EQ(text->textFormat(), Qt::PlainText);
  auto* dismiss = child<QToolButton>(view, "dismissError");
  EXPECT_LT(dismiss->y(), text->y() + text->height() / 2);  // at the banner's top
  rack.add(defaultSettings(EffectKind::eq));
  EXPECT_TRUE(shown(view, "errorBanner"));  // adding does not clear it
  dismiss->click();
  EXPECT_EQ(rack.lastError(), std::nullopt);
  EXPECT_FALSE(shown(view, "errorBanner"));
}

TEST_F(EffectsRackViewTest, Pictures) {
  {
    Inspector empty(model.get());
    empty.picture("rack-empty");
  }
  rack.add(defaultSettings(EffectKind::compressor));
  std::vector<EffectSlot> slots = rack.slots();
  slots[0].isEnabled = false;
  rack.setSlots(slots);
  rack.addAudioUnit(quar::test::descriptorOf(quar::test::lv2Component(quar::test::testPlugins + "mono-gain")));
  ASSERT_TRUE(RackTestSupport::waitForLoads(rack));
  const quar::Uuid plugin = rack.slots().back().id;
  rack.add(defaultSettings(EffectKind::eq));
  model->setSelection(quar::FrameRange(0, 24000));
  rack.setPreviewEnabled(false);
  Inspector cards(model.get());
  cards.picture("rack-cards");
  rack.setExpandedSlotID(plugin);
  cards.picture("rack-plugin");
  rack.reportError(QStringLiteral("\u201CTest Mono Gain\u201D can\u2019t run at this format: The LV2 plug-in takes "
                                  "1-channel input, not 6-channel."));
  rack.setExpandedSlotID(std::nullopt);
  cards.picture("rack-error");
}

TEST_F(EffectsRackViewTest, AnLV2PluginFromTheMenuLoadsPreviewsAndApplies) {
  const quar::AudioContent original = model->content();
  EffectsRackView view(model.get());
  EditorTestSupport::showActive(view, 332);
  Q_EMIT view.addEffectMenu()->menu()->aboutToShow();
  const QMenu* plugins = item(view.addEffectMenu()->menu(), "LV2 Plug-ins")->menu();
  item(item(plugins, "Quarnel Tests")->menu(), "Test Stereo Gain")->trigger();
  ASSERT_EQ(rack.slots().size(), 1u);
  const quar::Uuid id = rack.slots()[0].id;
  EffectSlotCard* card = view.card(id);
  ASSERT_NE(card, nullptr);
  EXPECT_NE(card->editor()->findChild<QLabel*>("loadingPlugin"), nullptr);
  EXPECT_FALSE(child<QPushButton>(view, "applyRack")->isEnabled());

  // Loaded: its parameters are listed, and editing one reaches the plug-in.
  ASSERT_TRUE(RackTestSupport::waitForLoads(rack));
  const std::shared_ptr<quar::AudioUnitEffect> effect = rack.audioUnits().at(id);
  auto* parameters = card->editor()->findChild<AudioUnitParameterList*>();
  ASSERT_NE(parameters, nullptr);
  QCoreApplication::processEvents();
  QWidget* gainRow = parameters->findChild<QWidget*>("gain");
  ASSERT_NE(gainRow, nullptr);
  EXPECT_TRUE(gainRow->isVisible());
  EditorTestSupport::type(*gainRow->findChild<ParamSlider*>(), "-6.0206");
  EXPECT_NEAR(*effect->parameterValue(0), -6.0206, 1e-4);

  // Playback on the null device runs the plug-in in the preview.
  model->play(false);
  ASSERT_TRUE(model->transport().isPlaying());
  const auto published = RackTestSupport::published(*model->transport().player().renderState());
  ASSERT_TRUE(published.runtime);
  ASSERT_EQ(published.runtime->processors().size(), 1u);
  EXPECT_EQ(published.runtime->processors()[0], effect);
  EXPECT_TRUE(published.isActive);
  device().pump(4800);
  ASSERT_FALSE(effect->lanes().empty());
  EXPECT_GE(effect->lanes()[0]->timeStamp.mSampleTime, 4800);
  EXPECT_EQ(effect->renderFailureCount(), 0);
  model->stop(false);

  // Applying renders it into the document as one undo step.
  child<QPushButton>(view, "applyRack")->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return model->jobs().busy().has_value(); }, 5000));
  EXPECT_EQ(model->jobs().busy()->title, "Apply Test Stereo Gain");
  ASSERT_TRUE(waitUntilIdle(*model));
  ASSERT_TRUE(presented.empty());
  for (int c = 0; c < 2; ++c)
    for (int64_t f : {0, 1000, 23999, 47999})
      EXPECT_NEAR(model->content().sample(c, f), original.sample(c, f) * 0.5f, 1e-5) << c << " " << f;
  EXPECT_FALSE(rack.previewEnabled());
  EXPECT_TRUE(shown(view, "previewOffNote"));
  EXPECT_EQ(undo.undoMenuItemTitle(), "Undo Apply Test Stereo Gain");
  model->undo();
  EXPECT_EQ(samples(model->content()), samples(original));
  EXPECT_FALSE(undo.canUndo());
}
