// AppDelegate: the application's start. Before launch it makes the document controller; then
// the files given on the command line open; at launch it shows the window that carries the
// menu bar while no document is open ("Quarnel", with the program's name and how to begin)
// and, 0.4 s later, the open panel when still no document is open (not when QUARNEL_NO_OPEN_PANEL
// is set in the environment, to anything, as tests that launch it do). The alerts about files that could
// not be opened stay in front, and the open panel waits for them.
// Its ApplicationCommands end every window's command chain (New, Open…, Quit, the Window menu's
// windows, ...: the menu table's application commands); of those it does what only the
// application does: Quit (which closes each document as its window would, then quits), About
// and the keyboard-shortcuts help. A later launch's files open here too, and a later launch
// without files brings the front document window forward, or offers the open panel when none is
// shown. GUI thread only.
#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <memory>
#include <vector>

#include "window/EditorCommands.h"

class AudioDocumentController;
class QMainWindow;
class QMessageBox;

class AppDelegate final : public QObject, public Application {
  Q_OBJECT
public:
  AppDelegate();
  ~AppDelegate() override;

  // Makes the shared document controller and the no-document window.
  void startLaunching();
  // Opens the files (paths, relative to the working folder).
  void openFiles(const QStringList& paths);
  // Shows the no-document window and schedules the open panel.
  void finishLaunching();
  // What a later launch hands over: its files open as those of the command line do; without
  // files, the document window last in front comes forward (restored when minimised), or, with
  // no document window shown, the open panel is offered.
  void openFromLaterLaunch(const QStringList& paths);

  AudioDocumentController& documentController() const { return *documentController_; }
  QMainWindow* noDocumentWindow() const { return noDocumentWindow_.get(); }
  // Pending between launch and the open panel's check.
  const QTimer& openPanelTimer() const { return openPanelTimer_; }

  // An action that no menu item sends: asks the document controller for a new document, the
  // untitled, empty stereo one.
  void newStereoDocument();

  // The help alert "Quarnel Keyboard Shortcuts", shown modally: its rows of entries in columns.
  void showHelp() override;
  static std::vector<QStringList> shortcutRows();
  static std::unique_ptr<QMessageBox> helpAlert();

  // Closes every document as its window would close it (a take being recorded goes into its
  // document first, a running save is waited for, then the document asks about unsaved changes);
  // quits once all are closed and the alerts they left were dismissed.
  void quit() override;
  // The About panel.
  void showAbout() override;

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void documentsChanged();
  // The open panel when no document is open, once no error alert is waiting for an answer.
  void offerOpenPanel();
  // The open panel once no error alert is waiting for an answer; with `onlyWithoutDocuments`,
  // only when by then no document is open.
  void showOpenPanel(bool onlyWithoutDocuments);
  // Quits, once no presented alert is waiting for an answer.
  void quitOnceAlertsAreRead();

  ApplicationCommands commands_{*this};
  std::unique_ptr<AudioDocumentController> documentController_;
  std::unique_ptr<QMainWindow> noDocumentWindow_;
  QTimer openPanelTimer_;
  // The window that last had the focus.
  QPointer<QWidget> frontWindow_;
};
