// The LV2 plug-in slot editor (maker line, loading state, editor button, presets, parameter
// list) and the plug-in windows: one per instance, their size, the "no custom editor" alert,
// and a window that outlives its slot.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QTest>
#include <QToolButton>

#include "AppTestSupport.h"
#include "RackTestSupport.h"
#include "au/support/TestUnits.h"
#include "effects/AudioUnitParameterList.h"
#include "effects/AudioUnitSlotEditor.h"
#include "effects/AudioUnitWindowController.h"
#include "effects/EffectsRack.h"

using quar::AudioUnitDescriptor;
using quar::AudioUnitEffect;
using quar::test::lv2Effect;
using quar::test::testPlugins;

namespace {

AudioUnitDescriptor acme(uint32_t version) {
  AudioUnitDescriptor descriptor;
  descriptor.name = "Rocket Skates";
  descriptor.manufacturerName = "Acme";
  descriptor.version = version;
  return descriptor;
}

// An editor that asks for a given size and counts the editors alive.
class FakeEditor final : public QWidget {
public:
  FakeEditor(QSize hint, QWidget* parent) : QWidget(parent), hint_(hint) { ++alive; }
  ~FakeEditor() override { --alive; }
  QSize sizeHint() const override { return hint_; }
  static inline int alive = 0;

private:
  QSize hint_;
};

// Plug-in windows are made with `factory` for the test's lifetime; every window is closed at
// the end.
class WindowTest : public AppTest {
protected:
  void useEditors(QSize hint) {
    AudioUnitWindowController::setViewFactory(
        [hint](const std::shared_ptr<AudioUnitEffect>&, QWidget* window) { return new FakeEditor(hint, window); });
  }
  void TearDown() override {
    for (QWidget* window : QApplication::topLevelWidgets())
      if (window->objectName() == "pluginWindow" || window->objectName() == "noCustomEditorAlert") window->close();
    QTest::qWait(0);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    AudioUnitWindowController::setViewFactory({});
    EXPECT_EQ(FakeEditor::alive, 0);
  }
};

QMessageBox* alert() {
  for (QWidget* window : QApplication::topLevelWidgets())
    if (auto* box = qobject_cast<QMessageBox*>(window); box && box->objectName() == "noCustomEditorAlert" && box->isVisible())
      return box;
  return nullptr;
}

void closeAndForget(QWidget* window) {
  window->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

TEST(AudioUnitSlotEditor, VersionTextAndMakerLine) {
  struct Case {
    uint32_t version;
    const char* text;
  };
  for (const Case& c : {Case{1u << 16 | 2u << 8 | 3u, "1.2.3"}, Case{0, "0.0.0"}, Case{258u << 16 | 3u << 8 | 4u, "258.3.4"},
                        Case{0xFFFFFFFFu, "65535.255.255"}})
    EXPECT_EQ(AudioUnitSlotEditor::versionText(c.version), c.text) << c.version;
  EXPECT_EQ(AudioUnitSlotEditor::makerLine(acme(1u << 16 | 2u << 8 | 3u)), QStringLiteral("Acme \u00B7 version 1.2.3"));
}

class AudioUnitSlotEditorTest : public AppTest {};

TEST_F(AudioUnitSlotEditorTest, WhileLoadingOnlyTheMakerLineAndTheLoadingText) {
  AudioUnitSlotEditor editor(acme(0x10203), nullptr, true);
  EXPECT_EQ(editor.findChild<QLabel*>("makerLine")->text(), QStringLiteral("Acme \u00B7 version 1.2.3"));
  ASSERT_NE(editor.findChild<QLabel*>("loadingPlugin"), nullptr);
  EXPECT_EQ(editor.findChild<QLabel*>("loadingPlugin")->text(), QStringLiteral("Loading plug-in\u2026"));
  EXPECT_EQ(editor.findChild<QToolButton*>("openPluginEditor"), nullptr);
  EXPECT_EQ(editor.findChild<AudioUnitParameterList*>(), nullptr);

  AudioUnitSlotEditor failed(acme(0), nullptr, false);  // neither loading nor loaded
  EXPECT_EQ(failed.findChildren<QWidget*>(Qt::FindDirectChildrenOnly).size(), 1);
}

TEST_F(AudioUnitSlotEditorTest, ALoadedPluginShowsItsEditorButtonPresetsAndParameters) {
  const auto stereo = lv2Effect(testPlugins + "stereo-gain");  // no presets
  AudioUnitSlotEditor plain(stereo->descriptor(), stereo, false);
  EXPECT_EQ(plain.findChild<QLabel*>("loadingPlugin"), nullptr);
  ASSERT_NE(plain.findChild<QToolButton*>("openPluginEditor"), nullptr);
  EXPECT_EQ(plain.findChild<QToolButton*>("openPluginEditor")->text(), "Open Plug-in Editor");
  EXPECT_EQ(plain.findChild<QToolButton*>("pluginPresets"), nullptr);
  EXPECT_NE(plain.findChild<AudioUnitParameterList*>(), nullptr);

  const auto mono = lv2Effect(testPlugins + "mono-gain");
  AudioUnitSlotEditor withPresets(mono->descriptor(), mono, false);
  auto* presets = withPresets.findChild<QToolButton*>("pluginPresets");
  ASSERT_NE(presets, nullptr);
  EXPECT_EQ(presets->text(), "Presets");
  QStringList titles;
  for (const QAction* action : presets->menu()->actions()) titles << action->text();
  EXPECT_EQ(titles, QStringList({"Half"}));
  presets->menu()->actions()[0]->trigger();
  EXPECT_EQ(mono->currentPresetName(), "Half");
}

class AudioUnitWindowTest : public WindowTest {};

TEST_F(AudioUnitWindowTest, OneWindowPerInstanceUntilItIsClosed) {
  useEditors(QSize(300, 200));
  const auto effect = lv2Effect(testPlugins + "stereo-gain");
  AudioUnitSlotEditor editor(effect->descriptor(), effect, false);
  auto* open = editor.findChild<QToolButton*>("openPluginEditor");
  open->click();
  QWidget* first = AudioUnitWindowController::windowFor(effect.get());
  ASSERT_NE(first, nullptr);
  EXPECT_TRUE(first->isVisible());
  EXPECT_EQ(first->windowTitle(), "Test Stereo Gain");
  EXPECT_EQ(first->size(), QSize(300, 200));
  EXPECT_TRUE(first->windowFlags().testFlag(Qt::Tool));

  first->hide();
  open->click();  // brings the same window forward
  EXPECT_EQ(AudioUnitWindowController::windowFor(effect.get()), first);
  EXPECT_TRUE(first->isVisible());
  EXPECT_EQ(FakeEditor::alive, 1);

  closeAndForget(first);
  EXPECT_EQ(AudioUnitWindowController::windowFor(effect.get()), nullptr);
  EXPECT_EQ(FakeEditor::alive, 0);
  open->click();
  QWidget* second = AudioUnitWindowController::windowFor(effect.get());
  ASSERT_NE(second, nullptr);
  EXPECT_TRUE(second->isVisible());
  EXPECT_EQ(FakeEditor::alive, 1);

  // Another instance of the same plug-in has its own window.
  const auto other = lv2Effect(testPlugins + "stereo-gain");
  AudioUnitWindowController::show(other);
  EXPECT_NE(AudioUnitWindowController::windowFor(other.get()), second);
  EXPECT_EQ(FakeEditor::alive, 2);
}

TEST_F(AudioUnitWindowTest, AnEditorThatNamesNoSizeGets480By320) {
  struct Case {
    QSize preferred;
    QSize content;
  };
  for (const Case& c : {Case{{0, 0}, {480, 320}}, Case{{600, 0}, {600, 0}}, Case{{0, 90}, {0, 90}},
                        Case{{-1, -1}, {480, 320}}, Case{{300, 200}, {300, 200}}})
    EXPECT_EQ(AudioUnitWindowController::contentSize(c.preferred), c.content) << c.preferred.width() << "x" << c.preferred.height();

  useEditors(QSize(0, 0));
  const auto effect = lv2Effect(testPlugins + "mono-gain");
  AudioUnitWindowController::show(effect);
  ASSERT_NE(AudioUnitWindowController::windowFor(effect.get()), nullptr);
  EXPECT_EQ(AudioUnitWindowController::windowFor(effect.get())->size(), QSize(480, 320));
}

TEST_F(AudioUnitWindowTest, APluginWithoutAnEditorGetsTheAlert) {
  // The default editors need the xcb platform: here every plug-in has none.
  const auto effect = lv2Effect(testPlugins + "stereo-gain");
  AudioUnitWindowController::show(effect);
  EXPECT_EQ(AudioUnitWindowController::windowFor(effect.get()), nullptr);
  QMessageBox* box = alert();
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->text(), QStringLiteral("\u201CTest Stereo Gain\u201D has no custom editor"));
  EXPECT_EQ(box->informativeText(), "Use the parameter list in the Effects rack instead.");
  EXPECT_EQ(box->windowModality(), Qt::ApplicationModal);
  box->close();
}

TEST_F(AudioUnitWindowTest, AWindowKeepsItsPluginAfterTheSlotIsRemoved) {
  useEditors(QSize(200, 100));
  for (const bool clearAll : {false, true}) {
    SCOPED_TRACE(clearAll ? "removeAll" : "remove");
    EffectsRack rack;
    rack.addAudioUnit(quar::test::descriptorOf(quar::test::lv2Component(testPlugins + "stereo-gain")));
    ASSERT_TRUE(RackTestSupport::waitForLoads(rack));
    const quar::Uuid id = rack.slots().at(0).id;
    std::weak_ptr<AudioUnitEffect> weak = rack.audioUnits().at(id);
    AudioUnitWindowController::show(weak.lock());
    QWidget* window = AudioUnitWindowController::windowFor(weak.lock().get());
    ASSERT_NE(window, nullptr);

    if (clearAll)
      rack.removeAll();
    else
      rack.remove(id);
    EXPECT_TRUE(rack.audioUnits().empty());
    ASSERT_FALSE(weak.expired());  // the window holds it
    weak.lock()->setParameter(0, -6);
    EXPECT_EQ(weak.lock()->parameterValue(0), -6.0f);
    EXPECT_EQ(AudioUnitWindowController::windowFor(weak.lock().get()), window);

    closeAndForget(window);
    EXPECT_TRUE(weak.expired());
  }
}
