// EditorWindowController: the window of one audio document. It builds the window (1240 × 760,
// at least 820 × 480, its normal frame remembered under "EditorWindow", centred only when
// narrower than 900 and cascaded from an open window that has that place), its menu bar with
// its command chain, its toolbar "EditorToolbar" and the root view over the document's editor
// model; the space bar plays and pauses (Shift+Space plays the selection); it presents one
// sheet at a time; and before the document asks about closing, a take being recorded is ended
// and reaches the document. It carries out the editor's commands (EditorCommands) and the
// standard edit, undo and window commands, and validates their menu items: while a job runs or
// a take is being recorded, every command that changes the document is disabled. GUI thread
// only.
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

#include "window/EditorCommands.h"
#include "core/FadeShape.h"
#include "platform/CommandRouter.h"
#include "platform/WindowController.h"

class AudioDocument;
class EditorModel;
enum class InspectorTab;
class EditorRootView;
class QDialog;
class QKeyEvent;
class QToolBar;
class QWidget;

class EditorWindowController final : public WindowController, public EditorCommands, public CommandResponder {
  Q_OBJECT
public:
  static constexpr QSize defaultSize{1240, 760};
  static constexpr QSize minimumSize{820, 480};
  // A restored frame narrower than this is centred on the screen.
  static constexpr int centringWidth = 900;
  // The QSettings key of the remembered frame.
  static inline const QString frameKey = QStringLiteral("EditorWindow");
  // The toolbar's items from the left; "flexibleSpace" is a stretching gap.
  static const std::vector<QString>& toolbarItemIdentifiers();

  explicit EditorWindowController(AudioDocument& document);
  // Makes every audio document show itself in an EditorWindowController.
  static void installAsDocumentWindow();
  ~EditorWindowController() override;

  EditorModel& model() const { return *model_; }
  EditorRootView* rootView() const { return rootView_; }
  QToolBar* toolbar() const { return toolbar_; }
  CommandRouter& commandRouter() const { return *router_; }

  // Opens the sheet that `build` makes (a dialog parented to the given window) window-modally;
  // only beeps, building nothing, while a sheet or document alert is up or a job runs.
  using SheetBuilder = std::function<QDialog*(QWidget* window)>;
  void presentSheet(const SheetBuilder& build);
  // The sheet or document alert shown on the window; null when none.
  QDialog* attachedSheet() const;

  // The processing sheets that commands open.
  enum class Sheet { insertSilence, gain, normalize, fade, sampleRate, timePitch };
  void presentSheet(Sheet sheet);

  // New Recording: a new untitled WAV document in its own window with its recorder armed;
  // nothing when no document can be made.
  static void openNewRecording();

  // Where a new window of `size` that wants `wanted` goes: `step` down and to the right of each
  // window already there (`taken`, their top-left corners), back to the top left of
  // `available` when it would leave that area (pass its centre, for a window larger than it).
  static QPoint cascadedPosition(QPoint wanted, QSize size, const std::vector<QPoint>& taken, int step,
                                 const QRect& available);

  // The fade shape of Fade In and Fade Out: the one stored under "fadeShape", S-curve when
  // the stored text names no shape.
  static quar::FadeShape defaultFadeShape();

  // The command chain's link: the editor's commands, cut, copy, paste, delete, select all,
  // undo, redo and the window's close, minimise, zoom and full screen.
  bool respondsTo(const QString& command) const override;
  MenuItemState validateMenuItem(const QAction& item) override;
  void perform(const QAction& item) override;

  // The editor's commands.
  void exportSelection(Sender sender) override;
  void pasteMix(Sender sender) override;
  void pasteAsNew(Sender sender) override;
  void selectNone(Sender sender) override;
  void trimToSelection(Sender sender) override;
  void insertSilence(Sender sender) override;
  void toggleSnapToZeroCrossings(Sender sender) override;
  void selectChannel(Sender sender) override;
  void zoomIn(Sender sender) override;
  void zoomOut(Sender sender) override;
  void zoomToFit(Sender sender) override;
  void zoomToSelection(Sender sender) override;
  void increaseAmplitudeZoom(Sender sender) override;
  void decreaseAmplitudeZoom(Sender sender) override;
  void toggleInspector(Sender sender) override;
  void toggleLoudnessLane(Sender sender) override;
  void showInspectorTab(Sender sender) override;
  void setTimeFormat(Sender sender) override;
  void togglePlayback(Sender sender) override;
  void playSelection(Sender sender) override;
  void stopPlayback(Sender sender) override;
  void toggleLoop(Sender sender) override;
  void goToStart(Sender sender) override;
  void goToEnd(Sender sender) override;
  void addMarker(Sender sender) override;
  void nextMarker(Sender sender) override;
  void previousMarker(Sender sender) override;
  void showGain(Sender sender) override;
  void showNormalize(Sender sender) override;
  void showLoudness(Sender sender) override;
  void fadeIn(Sender sender) override;
  void fadeOut(Sender sender) override;
  void showFade(Sender sender) override;
  void silenceSelection(Sender sender) override;
  void reverseAudio(Sender sender) override;
  void invertPolarity(Sender sender) override;
  void removeDCOffset(Sender sender) override;
  void swapChannels(Sender sender) override;
  void convertToMono(Sender sender) override;
  void convertToStereo(Sender sender) override;
  void changeSampleRate(Sender sender) override;
  void showTimePitch(Sender sender) override;
  void applyGainEnvelope(Sender sender) override;
  void clearGainEnvelope(Sender sender) override;
  void zoomEnvelope(Sender sender) override;
  void toggleGrid(Sender sender) override;
  void toggleRecording(Sender sender) override;
  void newRecording(Sender sender) override;
  void showRecordingsFolder(Sender sender) override;
  void detectTempo(Sender sender) override;
  void tapTempo(Sender sender) override;
  void setDownbeatAtCursor(Sender sender) override;
  void addEffect(Sender sender) override;
  void addAudioUnitEffect(Sender sender) override;
  void applyEffectsRack(Sender sender) override;
  void toggleEffectsPreview(Sender sender) override;
  void clearEffectsRack(Sender sender) override;

  // A take being recorded is stopped and goes into the document before `ready`.
  void prepareToClose(std::function<void()> ready) override;

protected:
  void windowWillClose() override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void buildToolbar();
  void restoreFrame();
  // Moves the window off the place of an open editor window, within `available`.
  void cascade(const QRect& available);
  void saveFrame() const;
  // Space plays or pauses, Shift+Space plays the selection; true when the key was one of them.
  bool handleSpace(const QKeyEvent& event);
  // Runs the close request that waits, once no job runs (a take may be on its way into the
  // document).
  void closeWhenIdle();
  // No job runs and no take is being recorded: the document may change.
  bool isIdle() const;
  // The standard commands this controller takes besides the editor's.
  void performStandard(const QString& command);
  // Shows the inspector on the tab.
  void revealInspectorTab(InspectorTab tab);
  // The builder of each processing sheet over the model.
  static SheetBuilder sheetBuilder(Sheet sheet, EditorModel& model);
  // A new untitled WAV document, not yet added; throws when none can be made, null when the
  // document made is no audio document.
  static std::unique_ptr<AudioDocument> makeUntitledDocument();
  // Adds the document to the document controller and shows it in a new window.
  static AudioDocument& addAndShow(std::unique_ptr<AudioDocument> document);

  AudioDocument& audioDocument_;
  EditorModel* model_;
  EditorRootView* rootView_;
  QToolBar* toolbar_;
  CommandRouter* router_;
  // A close request waiting for a take to reach the document.
  std::function<void()> readyToClose_;
};
