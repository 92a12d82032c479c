// The editor frame of a built-in rack slot: the panel of the slot's kind, edits that reach the
// rack as one change each, and the document's state handed on through observation.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QAbstractButton>
#include <QSignalSpy>

#include "EditorTestSupport.h"
#include "effects/BuiltinEffectEditor.h"
#include "effects/EQGraph.h"
#include "effects/EffectEditor.h"
#include "effects/GainReductionMeter.h"

using namespace EditorTestSupport;
using quar::EffectKind;

namespace {

struct Frame {
  std::unique_ptr<EditorModel> model = makeModel();
  quar::Uuid slot;
  std::unique_ptr<BuiltinEffectEditor> editor;

  explicit Frame(quar::EffectSettings settings) : slot(addSlot(*model, std::move(settings))) {
    editor = std::make_unique<BuiltinEffectEditor>(BuiltinEffectEditor::slotSettings(model->rack(), slot),
                                                   model.get(), slot);
  }

  QString panel() const { return editor->editor() ? editor->editor()->objectName() : QString(); }
};

} // namespace

TEST(BuiltinEffectEditor, ShowsThePanelOfTheSlotsKindWithAMeterForDynamics) {
  struct Case {
    EffectKind kind;
    const char* panel;
    bool meter;
  };
  const Case cases[] = {
      {EffectKind::eq, "eqEditor", false},
      {EffectKind::compressor, "compressorEditor", true}, {EffectKind::gate, "gateEditor", true},
      {EffectKind::distortion, "distortionEditor", false}, {EffectKind::delay, "delayEditor", false},
      {EffectKind::reverb, "reverbEditor", false},        {EffectKind::chorus, "chorusEditor", false},
      {EffectKind::noiseReduction, "noiseReductionEditor", false},
  };
  for (const Case& c : cases) {
    Frame frame(quar::defaultSettings(c.kind));
    EXPECT_EQ(frame.panel(), c.panel);
    EXPECT_EQ(frame.editor->meter() != nullptr, c.meter) << c.panel;
    if (c.meter) {
      EXPECT_EQ(frame.editor->meter()->parent(), frame.editor->editor());
    }
  }
}

// Each gesture is one change of the rack's slots carrying the whole edited settings.
TEST(BuiltinEffectEditor, EveryEditIsOneChangeOfTheSlotInTheRack) {
  Frame frame(quar::GateSettings{});
  frame.model->rack().add(quar::defaultSettings(EffectKind::delay));
  QSignalSpy changes(&frame.model->rack(), &EffectsRack::changed);
  ParamSlider* threshold = frame.editor->findChild<ParamSlider*>("thresholdDB");
  slide(*threshold, 0);
  EXPECT_EQ(changes.count(), 1);
  EXPECT_EQ(slotSettings<quar::GateSettings>(*frame.model, frame.slot).thresholdDB, -90);
  frame.editor->findChild<QCheckBox*>("stereoLink")->click();
  doubleClickLabel(*threshold);
  EXPECT_EQ(changes.count(), 3);
  quar::GateSettings expected;
  expected.stereoLink = false;
  EXPECT_EQ(slotSettings<quar::GateSettings>(*frame.model, frame.slot), expected);
  EXPECT_EQ(std::get<quar::DelaySettings>(*frame.model->rack().slots()[1].settings()), quar::DelaySettings{});
}

// A change made elsewhere (a preset, another view) shows at once, and a change of kind makes
// the new kind's panel.
TEST(BuiltinEffectEditor, FollowsTheSlotWhenItChangesElsewhere) {
  Frame frame(quar::DistortionSettings{});
  EffectsRack& rack = frame.model->rack();
  quar::DistortionSettings crusher;
  crusher.mode = quar::SaturationMode::bitcrush;
  crusher.bits = 4;
  std::vector<EffectSlot> slots = rack.slots();
  slots[0].source = quar::EffectSettings(crusher);
  rack.setSlots(slots);
  EXPECT_EQ(sliderLabels(*frame.editor->editor()).front(), "Bit depth");
  EXPECT_EQ(text(*frame.editor->findChild<ParamSlider*>("bits")), "4");

  QPointer<EffectEditor> old = frame.editor->editor();
  slots[0].source = quar::EffectSettings(quar::ReverbSettings{});
  rack.setSlots(slots);
  EXPECT_EQ(frame.panel(), "reverbEditor");
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(old.isNull());
  ParamSlider* decay = frame.editor->findChild<ParamSlider*>("decaySeconds");
  ASSERT_NE(decay, nullptr);
  slide(*decay, 0);
  EXPECT_EQ(std::get<quar::ReverbSettings>(*rack.slots()[0].settings()).decaySeconds, 0.2);
}

TEST(BuiltinEffectEditor, HandsThePlayingStateToTheMeter) {
  Frame frame(quar::CompressorSettings{});
  EXPECT_FALSE(frame.editor->meter()->isPlaying());
  frame.model->transport().setIsPlaying(true);
  EXPECT_TRUE(frame.editor->meter()->isPlaying());
  frame.model->transport().setIsPlaying(false);
  EXPECT_FALSE(frame.editor->meter()->isPlaying());
  EXPECT_EQ(frame.editor->meter()->reduction(), 0);
}

TEST(BuiltinEffectEditor, HandsTheContentsSampleRateToTheEqualiser) {
  Frame frame(quar::defaultSettings(EffectKind::eq));
  auto* graph = frame.editor->findChild<EQGraph*>();
  EXPECT_EQ(graph->sampleRate(), 48000);
  frame.model->setContent(quar::AudioContent(std::vector<std::vector<float>>(2, std::vector<float>(100)), 22050));
  EXPECT_EQ(graph->sampleRate(), 22050);
  EXPECT_EQ(frame.editor->findChild<EQGraph*>(), graph);  // the same panel, refreshed
}

// Dragging a node on the graph writes the slot once per pointer event.
TEST(BuiltinEffectEditor, DraggingAnEqualiserNodeEditsTheSlot) {
  Frame frame(quar::EQSettings(std::vector<quar::EQBand>{quar::EQBand(quar::EQBandType::peak, 200, 0, 1, 24, true)}));
  frame.editor->resize(600, frame.editor->sizeHint().height());
  frame.editor->show();
  QCoreApplication::processEvents();
  auto* graph = frame.editor->findChild<EQGraph*>();
  QSignalSpy changes(&frame.model->rack(), &EffectsRack::changed);
  const QRectF area = graph->plotRect();
  const QPointF node = area.topLeft() + QPointF(EQGraph::xOf(200, area.width()), area.height() / 2);
  const QPoint end(graph->width() * 2 / 3, graph->height() / 4);
  QTest::mousePress(graph, Qt::LeftButton, {}, (node + QPointF(4, -4)).toPoint());  // grabbed off centre
  QTest::mouseMove(graph, end);
  QTest::mouseRelease(graph, Qt::LeftButton, {}, end);
  EXPECT_EQ(changes.count(), 2);
  const quar::EQBand& band = slotSettings<quar::EQSettings>(*frame.model, frame.slot).bands[0];
  EXPECT_NEAR(band.frequency, EQGraph::frequencyAt(end.x() - area.left(), area.width()), 0.05);
  EXPECT_NEAR(band.gainDB, EQGraph::gainAt(end.y() - area.top(), area.height()), 0.05);
  EXPECT_EQ(text(*frame.editor->findChild<ParamSlider*>("gainDB")), QString::asprintf("%.1f", band.gainDB));
}

TEST(BuiltinEffectEditor, LearnFollowsTheDocumentsSelection) {
  Frame frame(quar::NoiseReductionSettings{});
  auto* learn = frame.editor->findChild<QAbstractButton*>("learnNoise");
  EXPECT_FALSE(learn->isEnabled());
  frame.model->setSelection(quar::FrameRange{100, 20000});
  EXPECT_TRUE(learn->isEnabled());
  learn->click();
  EXPECT_TRUE(slotSettings<quar::NoiseReductionSettings>(*frame.model, frame.slot).profile);
  EXPECT_TRUE(frame.editor->findChild<QWidget*>("noiseProfile")->isVisibleTo(frame.editor.get()));
  frame.model->setSelection(std::nullopt);
  EXPECT_FALSE(learn->isEnabled());
}

// A binding outlives its slot: it reads the last settings and writes nothing.
TEST(BuiltinEffectEditor, SlotBindingOfARemovedSlotKeepsItsLastValue) {
  auto model = makeModel();
  const quar::Uuid slot = addSlot(*model, quar::ReverbSettings{});
  const Binding<quar::EffectSettings> settings = BuiltinEffectEditor::slotSettings(model->rack(), slot);
  model->rack().remove(slot);
  model->rack().add(quar::defaultSettings(EffectKind::delay));
  EXPECT_EQ(settings.get(), quar::EffectSettings(quar::ReverbSettings{}));
  settings.set(quar::GateSettings{});
  ASSERT_EQ(model->rack().slots().size(), 1u);
  EXPECT_EQ(*model->rack().slots()[0].settings(), quar::defaultSettings(EffectKind::delay));
}

// Pictures of every panel in light and dark, for a person to look at.
TEST(BuiltinEffectEditor, SavesPicturesOfEveryPanel) {
  for (const EffectKind kind : quar::allCases<EffectKind>()) {
    quar::EffectSettings settings = quar::defaultSettings(kind);
    if (auto* noise = std::get_if<quar::NoiseReductionSettings>(&settings))
      noise->profile = quar::NoiseProfile::learn(ViewTestSupport::music(48000), std::nullopt, 2048);
    for (const bool dark : {false, true}) {
      Frame frame(settings);
      frame.editor->setPalette(palette(dark));
      frame.editor->setAutoFillBackground(true);
      frame.editor->resize(340, frame.editor->sizeHint().height());
      savePicture(*frame.editor, QStringLiteral("effect-editor-%1-%2")
                                     .arg(QString::fromStdString(std::string(quar::rawValue(kind))),
                                          dark ? QStringLiteral("dark") : QStringLiteral("light")));
    }
  }
}
