// EditorWindowController: the window of one audio document. It builds the window (1240 × 760,
// at least 820 × 480, its frame remembered under "EditorWindow" and centred only when narrower
// than 900), its toolbar "EditorToolbar" and the root view over the document's editor model;
// the space bar plays and pauses (Shift+Space plays the selection); it presents one sheet at a
// time; and a close request first ends a take being recorded and lets it reach the document
// before the document asks about unsaved changes. GUI thread only.
#pragma once

#include <QSize>
#include <QString>

#include <functional>
#include <vector>

#include "platform/WindowController.h"

class AudioDocument;
class EditorModel;
class EditorRootView;
class QDialog;
class QKeyEvent;
class QToolBar;
class QWidget;

class EditorWindowController final : public WindowController {
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
  ~EditorWindowController() override;

  EditorModel& model() const { return *model_; }
  EditorRootView* rootView() const { return rootView_; }
  QToolBar* toolbar() const { return toolbar_; }

  // Opens the sheet that `build` makes (a dialog parented to the given window) window-modally;
  // only beeps, building nothing, while a sheet or document alert is up or a job runs.
  using SheetBuilder = std::function<QDialog*(QWidget* window)>;
  void presentSheet(const SheetBuilder& build);
  // The sheet or document alert shown on the window; null when none.
  QDialog* attachedSheet() const;

  // Shows or hides the inspector and remembers the choice.
  void toggleInspector();

protected:
  void windowShouldClose() override;
  void windowWillClose() override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void buildToolbar();
  void restoreFrame();
  void saveFrame() const;
  // Space plays or pauses, Shift+Space plays the selection; true when the key was one of them.
  bool handleSpace(const QKeyEvent& event);
  // Asks the document about closing once no job runs any more (a take may be on its way into
  // the document).
  void closeWhenIdle();

  EditorModel* model_;
  EditorRootView* rootView_;
  QToolBar* toolbar_;
  QMetaObject::Connection waitingToClose_;
};
