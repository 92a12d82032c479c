// AppDelegate: the application's start. Before launch it makes the document controller; then
// the files given on the command line open; at launch it shows the window that carries the
// menu bar while no document is open ("Quarnel") and, 0.4 s later, the open panel when still
// no document is open (not when "XCTestConfigurationFilePath" is set in the environment).
// Also the keyboard-shortcuts help. GUI thread only.
#pragma once

#include <QObject>
#include <QStringList>
#include <QTimer>

#include <memory>

class AudioDocumentController;
class QMainWindow;
class QMessageBox;

class AppDelegate final : public QObject {
  Q_OBJECT
public:
  AppDelegate();
  ~AppDelegate() override;

  // Makes the shared document controller and the no-document window.
  void applicationWillFinishLaunching();
  // Opens the files (paths, relative to the working folder).
  void openFiles(const QStringList& paths);
  // Shows the no-document window and schedules the open panel.
  void applicationDidFinishLaunching();

  AudioDocumentController& documentController() const { return *documentController_; }
  QMainWindow* noDocumentWindow() const { return noDocumentWindow_.get(); }
  // Pending between launch and the open panel's check.
  const QTimer& openPanelTimer() const { return openPanelTimer_; }

  // The help alert "Quarnel Keyboard Shortcuts", shown modally.
  static void showHelp();
  static std::unique_ptr<QMessageBox> helpAlert();

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void documentsChanged();

  std::unique_ptr<AudioDocumentController> documentController_;
  std::unique_ptr<QMainWindow> noDocumentWindow_;
  QTimer openPanelTimer_;
};
