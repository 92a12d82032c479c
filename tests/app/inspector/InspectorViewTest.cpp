#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QScrollArea>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QToolButton>
#include <QWheelEvent>

#include "DocumentTestSupport.h"
#include "InspectorTestSupport.h"
#include "document/AudioDocumentController.h"
#include "window/EditorWindowController.h"
#include "effects/DelayEditor.h"
#include "effects/EQEditor.h"
#include "effects/EffectsRack.h"
#include "platform/CommandRouter.h"
#include "inspector/InspectorView.h"
#include "inspector/SpectrumPanel.h"
#include "inspector/SpectrumState.h"
#include "platform/NullAudioBackend.h"
#include "recording/Recorder.h"
#include "dsp/effects/EffectSettings.h"
#include "effects/EffectsRack.h"
#include "views/EditorRootView.h"
#include "widgets/SegmentedControl.h"

using EditorModelFixtureSupport::numbered;
using EditorModelFixtureSupport::tone;

namespace {

NullAudioBackend& device() { return dynamic_cast<NullAudioBackend&>(AudioBackend::shared()); }

// One notch of the wheel towards the user, over the middle of `widget`.
void wheelDown(QWidget* widget) {
  const QPointF centre = QRectF(widget->rect()).center();
  QWheelEvent wheel(centre, widget->mapToGlobal(centre), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                    Qt::NoScrollPhase, false);
  QApplication::sendEvent(widget, &wheel);
}

} // namespace

class InspectorViewTest : public InspectorFixture {
protected:
  void SetUp() override {
    InspectorFixture::SetUp();
    showOver(numbered(9600), 700);
  }
  // A fresh model over `content` and the inspector over it, `height` points high, active.
  void showOver(quar::AudioContent content, int height) {
    host.reset();
    model = makeModel(std::move(content));
    view = new InspectorView(model.get());
    host.reset(view);
    view->resize(360, height);
    view->show();
    QApplication::setActiveWindow(view);
    ASSERT_TRUE(QTest::qWaitForWindowActive(view));
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
  EXPECT_EQ(model->viewSettings().inspectorTab(), InspectorTab::loudness);

  EXPECT_EQ(panelName(), QStringLiteral("loudnessPanel"));
  const std::vector<std::pair<InspectorTab, QString>> panels{{InspectorTab::spectrum, "spectrumPanel"},
                                                             {InspectorTab::info, "infoPanel"},
                                                             {InspectorTab::markers, "markersPanel"},
                                                             {InspectorTab::effects, "effectsRackView"},
                                                             {InspectorTab::loudness, "loudnessPanel"}};
  for (const auto& [tab, name] : panels) {
    QTest::mouseClick(tabs->segment(rawValue(tab)), Qt::LeftButton);
    EXPECT_EQ(model->viewSettings().inspectorTab(), tab);
    EXPECT_EQ(panelName(), name);
  }
  // A change from elsewhere (a menu command) follows as well.
  model->viewSettings().setInspectorTab(InspectorTab::info);
  EXPECT_EQ(panelName(), QStringLiteral("infoPanel"));
  EXPECT_TRUE(tabs->segment(2)->isChecked());
}

TEST_F(InspectorViewTest, ReturningToTheSpectrumTabStartsItFromItsDefaults) {
  model->viewSettings().setInspectorTab(InspectorTab::spectrum);
  auto* first = static_cast<SpectrumPanel*>(view->panel());
  first->state().setFFTSize(1024);
  first->state().setFrequencyScale(FrequencyScale::linear);
  first->state().setAmplitudeScale(AmplitudeScale::linear);
  first->state().setHoldPeaks(false);
  model->viewSettings().setInspectorTab(InspectorTab::markers);
  model->viewSettings().setInspectorTab(InspectorTab::spectrum);
  const SpectrumState& state = static_cast<SpectrumPanel*>(view->panel())->state();
  EXPECT_EQ(state.fftSize(), 8192);
  EXPECT_EQ(state.frequencyScale(), FrequencyScale::logarithmic);
  EXPECT_EQ(state.amplitudeScale(), AmplitudeScale::decibels);
  EXPECT_TRUE(state.holdPeaks());
}

// Hiding the inspector discards its panel; shown again, the panel starts from its defaults:
// the delay's tempo and the equaliser's band selection as a new editor has them.
TEST_F(InspectorViewTest, APanelShownAgainStartsFresh) {
  model->viewSettings().setInspectorTab(InspectorTab::effects);
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
  model->viewSettings().setInspectorTab(InspectorTab::markers);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !scroll->verticalScrollBar()->isVisible(); }));
  for (int64_t frame = 0; frame < 60; ++frame) model->addMarker(frame * 100);
  EXPECT_TRUE(QTest::qWaitFor([&] { return scroll->verticalScrollBar()->isVisible(); }));
  EXPECT_EQ(scroll->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  // The panel fills the width, inset by 14 points.
  EXPECT_EQ(view->panel()->x(), 14);
}

// Scrolling the inspector with the wheel passes over the channel sliders without moving them;
// a slider takes the wheel once a click has given it the focus.
TEST_F(InspectorViewTest, AWheelOverAChannelSliderScrollsTheInspectorAndChangesNoLevel) {
  showOver(tone(48000, {0.5f, 0.25f}), 300);
  ASSERT_TRUE(waitForAnalysis(*model));
  auto* scroll = find<QScrollArea>("inspectorScroll");
  const QList<QSlider*> sliders = view->panel()->findChildren<QSlider*>(QStringLiteral("trimSlider"));
  ASSERT_EQ(sliders.size(), 2);
  ASSERT_TRUE(QTest::qWaitFor([&] { return sliders[1]->height() > 0; }));  // laid out
  ASSERT_GT(scroll->verticalScrollBar()->maximum(), 0);
  const quar::EnvelopeSet before = model->envelopes();
  for (int notch = 0; notch < 6; ++notch) wheelDown(sliders[0]);
  EXPECT_EQ(model->envelopes(), before);
  EXPECT_FALSE(undo.canUndo());
  EXPECT_GT(scroll->verticalScrollBar()->value(), 0);

  scroll->ensureWidgetVisible(sliders[0]);
  const int scrolled = scroll->verticalScrollBar()->value();
  // With the focus, which only Tab gives a slider, the wheel moves it.
  sliders[0]->setFocus(Qt::TabFocusReason);
  ASSERT_TRUE(sliders[0]->hasFocus());
  wheelDown(sliders[0]);
  EXPECT_NE(model->envelopes().trim(0), before.trim(0));
  EXPECT_EQ(undo.undoMenuItemTitle(), QStringLiteral("Undo Channel Levels"));
  EXPECT_EQ(scroll->verticalScrollBar()->value(), scrolled);
}

// While a take records, no panel changes the document: their controls are off, and what reaches
// the model anyway is refused. After the take the only new undo step is the take's.
TEST_F(InspectorViewTest, NoPanelChangesTheDocumentWhileATakeRecords) {
  showOver(tone(48000, {0.5f, 0.25f}), 700);
  model->setMarkers({{quar::Uuid::random(), 4800, QStringLiteral("Verse")}});
  model->rack().add(quar::defaultSettings(quar::EffectKind::distortion));
  ASSERT_TRUE(waitForAnalysis(*model));
  const std::vector<Marker> markers = model->markers();
  const quar::EnvelopeSet envelopes = model->envelopes();
  const auto controls = [&](InspectorTab tab, std::vector<const char*> names) {
    model->viewSettings().setInspectorTab(tab);
    std::vector<QWidget*> found;
    for (const char* name : names)
      for (QWidget* widget : view->panel()->findChildren<QWidget*>(QString::fromLatin1(name))) found.push_back(widget);
    EXPECT_GE(found.size(), names.size());
    return found;
  };
  const std::vector<const char*> loudness{"trimSlider", "balanceChannels", "resetTrims", "applyLoudness"};
  for (QWidget* control : controls(InspectorTab::loudness, loudness))
    EXPECT_TRUE(control->isEnabled()) << control->objectName().toStdString();

  Recorder& recorder = model->recorder();
  recorder.toggle();  // arms
  recorder.toggle();  // starts the take
  ASSERT_TRUE(recorder.isRecording());
  for (QWidget* control : controls(InspectorTab::loudness, loudness))
    EXPECT_FALSE(control->isEnabled()) << control->objectName().toStdString();
  for (QWidget* control : controls(InspectorTab::effects, {"applyRack"})) EXPECT_FALSE(control->isEnabled());
  for (QWidget* control : controls(InspectorTab::markers, {"addMarker", "removeMarker"}))
    EXPECT_FALSE(control->isEnabled()) << control->objectName().toStdString();
  auto* name = view->panel()->findChild<QLineEdit*>(QStringLiteral("markerName"));
  ASSERT_TRUE(name);
  EXPECT_TRUE(name->isReadOnly());
  name->setText(QStringLiteral("Chorus"));  // typed before the take began
  QTest::keyClick(name, Qt::Key_Return);
  // Whatever reaches the model is refused with a beep.
  model->addMarker();
  model->balanceChannels();
  model->resetChannelTrims();
  model->applyLoudness();
  model->applyEffects();
  EXPECT_EQ(AppTestSupport::beepCount(), 6);
  EXPECT_FALSE(model->jobs().busy());

  device().pump(4800);
  recorder.toggle();  // stops the take
  ASSERT_FALSE(recorder.isRecording());
  ASSERT_TRUE(waitUntilIdle(*model));
  EXPECT_EQ(model->content().frameCount(), 48000 + 4800);
  EXPECT_EQ(model->markers().size(), 1u);
  EXPECT_EQ(model->markers()[0].name, QStringLiteral("Verse"));
  EXPECT_EQ(undo.undoMenuItemTitle(), QStringLiteral("Undo Record"));
  undo.undo();
  EXPECT_FALSE(undo.canUndo());
  EXPECT_EQ(model->markers(), markers);
  EXPECT_EQ(model->envelopes(), envelopes);
  EXPECT_EQ(model->content().frameCount(), 48000);
  for (QWidget* control : controls(InspectorTab::markers, {"addMarker", "removeMarker"}))
    EXPECT_TRUE(control->isEnabled());
  recorder.disarm();
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
  model.viewSettings().setShowInspector(false);
  auto* inspector = window.rootView()->findChild<InspectorView*>(QStringLiteral("inspector"));
  ASSERT_TRUE(inspector);
  EXPECT_FALSE(inspector->isVisible());

  QAction* effects = nullptr;
  for (QAction* action : window.window()->menuBar()->findChildren<QAction*>(QStringLiteral("showInspectorTab")))
    if (MenuItem::call(*action)->argument.index() == 1 &&
        std::get<int>(MenuItem::call(*action)->argument) == rawValue(InspectorTab::effects))
      effects = action;
  ASSERT_TRUE(effects);
  window.commandRouter().validate(*effects);
  effects->trigger();
  EXPECT_TRUE(model.viewSettings().showInspector());
  EXPECT_TRUE(inspector->isVisible());
  EXPECT_EQ(inspector->width(), 360);
  EXPECT_TRUE(inspector->tabs()->segment(4)->isChecked());
  EXPECT_EQ(inspector->panel()->objectName(), QStringLiteral("effectsRackView"));
  EXPECT_TRUE(inspector->panel()->isVisible());

  // Hiding the inspector discards the panel; showing it makes a new one.
  const QPointer<QWidget> shown = inspector->panel();
  model.viewSettings().setShowInspector(false);
  EXPECT_FALSE(inspector->panel());
  EXPECT_FALSE(shown);
  model.viewSettings().setShowInspector(true);
  ASSERT_TRUE(inspector->panel());
  EXPECT_TRUE(inspector->panel()->isVisible());
}
