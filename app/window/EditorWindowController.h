// EditorWindowController: the window of one audio document. It builds the window (1240 × 760,
// at least 820 × 480, its normal frame remembered under "EditorWindow", centred only when
// narrower than 900 and cascaded from an open window that has that place), its menu bar with
// its command chain, its toolbar "EditorToolbar" and the root view over the document's editor
// model, whose context menu in the timeline offers commands of the menu table; the space bar
// plays and pauses (Shift+Space plays the selection); it presents one sheet at a time; and
// before the document asks about closing, a take being recorded is ended and reaches the
// document. Its chain runs from the focused text field through this controller, which carries
// out the editor's commands of the menu table (EditorCommands.h), the standard edit, undo and
// window commands among them, and the document's commands to the application's; while a job
// runs or a take is being recorded, every command that changes the document is disabled. GUI
// thread only.
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

#include "core/FadeShape.h"
#include "platform/CommandRouter.h"
#include "platform/WindowController.h"
#include "window/EditorCommands.h"

class AudioDocument;
class EditorModel;
enum class InspectorTab;
class EditorRootView;
class QDialog;
class QKeyEvent;
class QToolBar;
class QWidget;

class EditorWindowController final : public WindowController, public CommandResponder {
  Q_OBJECT
public:
  static constexpr QSize defaultSize{1240, 760};
  static constexpr QSize minimumSize{820, 480};
  // A restored frame narrower than this is centred on the screen.
  static constexpr int centringWidth = 900;
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

  // The command chain's link: the commands of the menu table that have an editor handler (the
  // editor's own, cut, copy, paste, delete, select all, undo, redo, New Recording and the
  // window's close, minimise, zoom and full screen), validated by their rules.
  bool respondsTo(const QString& identifier) const override;
  CommandState state(const CommandCall& call) override;
  void perform(const CommandCall& call) override;

  // What the editor's commands do beyond a call of the model.
  AudioDocument& audioDocument() const { return audioDocument_; }
  // A new untitled document over the clipboard's audio, in its own window.
  void pasteAsNew();
  // Selects the channel (all for a negative one), and everything first when nothing is.
  void selectChannel(int channel);
  // Steps the gain envelope's dB range through 3, 6, 12, 24 and 48 dB: in for a positive
  // step, out for a negative one; a range off the steps counts as 12.
  void zoomEnvelope(int step);
  // Adds the effect of that kind (its index among the kinds) and shows the rack; nothing for
  // an index of no kind.
  void addEffect(int kind);
  // Adds the plug-in of that id and shows the rack; nothing for an id of no plug-in.
  void addAudioUnitEffect(const QString& id);
  // Shows the inspector on the tab.
  void revealInspectorTab(InspectorTab tab);
  // Makes the recordings folder and shows it on the desktop.
  static void showRecordingsFolder();

  // A take being recorded is stopped and goes into the document before `ready`.
  void prepareToClose(std::function<void()> ready) override;

protected:
  void closing() override;
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
  // The builder of each processing sheet over the model.
  static SheetBuilder sheetBuilder(Sheet sheet, EditorModel& model);
  // A new untitled WAV document, not yet added; throws when none can be made, null when the
  // document made is no audio document.
  static std::unique_ptr<AudioDocument> makeUntitledDocument();
  // Adds the document to the document controller and shows it in a new window.
  static AudioDocument& addAndShow(std::unique_ptr<AudioDocument> document);

  AudioDocument& audioDocument_;
  // The document's link of the window's command chain, after this controller.
  DocumentCommands documentCommands_;
  EditorModel* model_;
  EditorRootView* rootView_;
  QToolBar* toolbar_;
  CommandRouter* router_;
  // A close request waiting for a take to reach the document.
  std::function<void()> readyToClose_;
};
