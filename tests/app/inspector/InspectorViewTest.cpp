#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QScrollArea>
#include <QScrollBar>

#include "DocumentTestSupport.h"
#include "InspectorTestSupport.h"
#include "document/AudioDocumentController.h"
#include "editor/EditorWindowController.h"
#include "effects/DelayEditor.h"
#include "effects/EQEditor.h"
#include "effects/EffectsRack.h"
#include "platform/CommandRouter.h"
#include "inspector/InspectorView.h"
#include "inspector/SpectrumPanel.h"
#include "inspector/SpectrumState.h"
#include "views/EditorRootView.h"
#include "views/SegmentedControl.h"

using EditorModelFixtureSupport::numbered;

class InspectorViewTest : public InspectorFixture {
protected:
  void SetUp() override {
    InspectorFixture::SetUp();
    model = makeModel(numbered(9600));
    view = new InspectorView(model.get());
    host.reset(view);
    view->resize(360, 700);
    view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view));
  }
  QString panelName() const { return view->panel() ? view->panel()->objectName() : QString(); }

  InspectorView* view = nullptr;
};

TEST_F(InspectorViewTest, FiveTabsInOrderChooseTheShownPanel) {
  SegmentedControl* tabs = view->tabs();
  EXPECT_EQ(tabs->accessibleName(), QStringLiteral("Inspector"));
  const std::vector<QString> tips{"Loudness", "Spectrum", "Info", "Markers", "Effects"};
  for (int i = 0; i < 5; ++i) {
    ASSERT_TRUE(tabs->segment(i));
    EXPECT_EQ(tabs->segment(i)->toolTip(), tips[static_cast<size_t>(i)]);
    EXPECT_TRUE(tabs->segment(i)->text().isEmpty());
    EXPECT_FALSE(tabs->segment(i)->icon().isNull());
  }
  EXPECT_TRUE(tabs->segment(0)->isChecked());
  EXPECT_EQ(model->inspectorTab(), InspectorTab::loudness);

  EXPECT_EQ(panelName(), QStringLiteral("loudnessPanel"));
  const std::vector<std::pair<InspectorTab, QString>> panels{{InspectorTab::spectrum, "spectrumPanel"},
                                                             {InspectorTab::info, "infoPanel"},
                                                             {InspectorTab::markers, "markersPanel"},
                                                             {InspectorTab::effects, "effectsRackView"},
                                                             {InspectorTab::loudness, "loudnessPanel"}};
  for (const auto& [tab, name] : panels) {
    QTest::mouseClick(tabs->segment(rawValue(tab)), Qt::LeftButton);
    EXPECT_EQ(model->inspectorTab(), tab);
    EXPECT_EQ(panelName(), name);
  }
  // A change from elsewhere (a menu command) follows as well.
  model->setInspectorTab(InspectorTab::info);
  EXPECT_EQ(panelName(), QStringLiteral("infoPanel"));
  EXPECT_TRUE(tabs->segment(2)->isChecked());
}

TEST_F(InspectorViewTest, ReturningToTheSpectrumTabStartsItFromItsDefaults) {
  model->setInspectorTab(InspectorTab::spectrum);
  auto* first = static_cast<SpectrumPanel*>(view->panel());
  first->state().setFFTSize(1024);
  first->state().setFrequencyScale(FrequencyScale::linear);
  first->state().setAmplitudeScale(AmplitudeScale::linear);
  first->state().setHoldPeaks(false);
  model->setInspectorTab(InspectorTab::markers);
  model->setInspectorTab(InspectorTab::spectrum);
  const SpectrumState& state = static_cast<SpectrumPanel*>(view->panel())->state();
  EXPECT_EQ(state.fftSize(), 8192);
  EXPECT_EQ(state.frequencyScale(), FrequencyScale::logarithmic);
  EXPECT_EQ(state.amplitudeScale(), AmplitudeScale::decibels);
  EXPECT_TRUE(state.holdPeaks());
}

// Hiding the inspector discards its panel; shown again, the panel starts from its defaults:
// the delay's tempo and the equaliser's band selection as a new editor has them.
TEST_F(InspectorViewTest, APanelShownAgainStartsFresh) {
  model->setInspectorTab(InspectorTab::effects);
  const auto reshow = [&] {
    view->hide();
    EXPECT_FALSE(view->panel());
    view->show();
    ASSERT_TRUE(view->panel());
    EXPECT_EQ(panelName(), QStringLiteral("effectsRackView"));
  };

  model->rack().add(quar::defaultSettings(quar::EffectKind::delay));
  auto* delay = view->findChild<DelayEditor*>();
  ASSERT_TRUE(delay);
  auto* bpm = delay->findChild<QLineEdit*>(QStringLiteral("bpm"));
  bpm->setText(QStringLiteral("90"));
  Q_EMIT bpm->editingFinished();
  ASSERT_EQ(delay->bpm(), 90);
  reshow();
  delay = view->findChild<DelayEditor*>();
  ASSERT_TRUE(delay);
  EXPECT_EQ(delay->bpm(), DelayEditor::initialBPM);
  EXPECT_EQ(delay->findChild<QLineEdit*>(QStringLiteral("bpm"))->text(), QStringLiteral("120"));

  model->rack().add(quar::defaultSettings(quar::EffectKind::eq));
  auto* eq = view->findChild<EQEditor*>();
  ASSERT_TRUE(eq);
  eq->addBand();
  const std::vector<quar::EQBand> bands = std::get<quar::EQSettings>(*model->rack().slots().back().settings()).bands;
  ASSERT_GE(bands.size(), 2u);
  ASSERT_EQ(eq->selected(), bands.back().id);
  reshow();
  eq = view->findChild<EQEditor*>();
  ASSERT_TRUE(eq);
  EXPECT_EQ(eq->selected(), bands.front().id);
}

TEST_F(InspectorViewTest, OnlyATallPanelScrolls) {
  auto* scroll = find<QScrollArea>("inspectorScroll");
  model->setInspectorTab(InspectorTab::markers);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !scroll->verticalScrollBar()->isVisible(); }));
  for (int64_t frame = 0; frame < 60; ++frame) model->addMarker(frame * 100);
  EXPECT_TRUE(QTest::qWaitFor([&] { return scroll->verticalScrollBar()->isVisible(); }));
  EXPECT_EQ(scroll->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  // The panel fills the width, inset by 14 points.
  EXPECT_EQ(view->panel()->x(), 14);
}

class InspectorInWindowTest : public AppTest {
protected:
  void TearDown() override {
    for (Document* document : std::vector<Document*>(controller.documents())) document->close();
  }

  AudioDocumentController controller;
};

TEST_F(InspectorInWindowTest, TheEffectsTabCommandOpensAHiddenInspectorThere) {
  std::unique_ptr<Document> made = controller.makeUntitledDocument(controller.defaultType());
  auto* document = static_cast<AudioDocument*>(made.get());
  document->model().load(DocumentTestSupport::signal(4800, 2, 48000), std::nullopt);
  controller.addDocument(std::move(made));
  document->makeWindowControllers();
  document->showWindows();
  auto& window = static_cast<EditorWindowController&>(*document->windowControllers().front());
  EditorModel& model = document->model();
  model.setShowInspector(false);
  auto* inspector = window.rootView()->findChild<InspectorView*>(QStringLiteral("inspector"));
  ASSERT_TRUE(inspector);
  EXPECT_FALSE(inspector->isVisible());

  QAction* effects = nullptr;
  for (QAction* action : window.window()->menuBar()->findChildren<QAction*>(QStringLiteral("showInspectorTab")))
    if (MenuItem::tag(*action) == rawValue(InspectorTab::effects)) effects = action;
  ASSERT_TRUE(effects);
  window.commandRouter().validate(*effects);
  effects->trigger();
  EXPECT_TRUE(model.showInspector());
  EXPECT_TRUE(inspector->isVisible());
  EXPECT_EQ(inspector->width(), 360);
  EXPECT_TRUE(inspector->tabs()->segment(4)->isChecked());
  EXPECT_EQ(inspector->panel()->objectName(), QStringLiteral("effectsRackView"));
  EXPECT_TRUE(inspector->panel()->isVisible());

  // Hiding the inspector discards the panel; showing it makes a new one.
  const QPointer<QWidget> shown = inspector->panel();
  model.setShowInspector(false);
  EXPECT_FALSE(inspector->panel());
  EXPECT_FALSE(shown);
  model.setShowInspector(true);
  ASSERT_TRUE(inspector->panel());
  EXPECT_TRUE(inspector->panel()->isVisible());
}
