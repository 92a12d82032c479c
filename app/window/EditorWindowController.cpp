#include "window/EditorWindowController.h"

#include <QDialog>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMenuBar>
#include <QScreen>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>
#include <utility>

#include "window/MainMenu.h"
#include "document/AudioDocument.h"
#include "editor/EditorModel.h"
#include "platform/DocumentController.h"
#include "platform/Icons.h"
#include "platform/Platform.h"
#include "recording/Recorder.h"
#include "support/Preferences.h"
#include "views/EditorRootView.h"
#include "views/GridToolbarControl.h"
#include "views/TransportControls.h"
#include "views/TransportDisplay.h"
#include "views/TimelineView.h"
#include "views/ZoomControls.h"

namespace {

const QString flexibleSpace = QStringLiteral("flexibleSpace");

} // namespace

const std::vector<QString>& EditorWindowController::toolbarItemIdentifiers() {
  static const std::vector<QString> identifiers{
      QStringLiteral("transport"), flexibleSpace, QStringLiteral("display"), flexibleSpace,
      QStringLiteral("grid"),      QStringLiteral("zoom"), QStringLiteral("inspector"),
  };
  return identifiers;
}

void EditorWindowController::installAsDocumentWindow() {
  AudioDocument::setWindowMaker(
      [](AudioDocument& document) { return std::make_unique<EditorWindowController>(document); });
}

EditorWindowController::EditorWindowController(AudioDocument& document)
    : audioDocument_(document), documentCommands_(document), model_(&document.model()) {
  QMainWindow* main = window();
  main->setObjectName(QStringLiteral("editorWindow"));
  main->resize(defaultSize);
  main->setMinimumSize(minimumSize);
  MainMenu::build(main->menuBar());
  router_ = new CommandRouter(main, {this, &documentCommands_});
  rootView_ = new EditorRootView(model_, main);
  main->setCentralWidget(rootView_);
  rootView_->timeline()->setContextEntries(MainMenu::timelineMenu(*router_));
  buildToolbar();
  restoreFrame();
  rootView_->setFocus();
  // A job ends its busy state before it commits: a waiting close request runs after the commit.
  connect(&model_->jobs(), &JobRunner::changed, this, [this] { closeWhenIdle(); }, Qt::QueuedConnection);
}

EditorWindowController::~EditorWindowController() = default;

void EditorWindowController::buildToolbar() {
  toolbar_ = new QToolBar(window());
  toolbar_->setObjectName(QStringLiteral("EditorToolbar"));
  toolbar_->setMovable(false);
  toolbar_->setFloatable(false);
  toolbar_->setToolButtonStyle(Qt::ToolButtonIconOnly);
  toolbar_->setContextMenuPolicy(Qt::PreventContextMenu);
  window()->addToolBar(Qt::TopToolBarArea, toolbar_);

  const auto item = [this](const QString& identifier) -> std::pair<QWidget*, QString> {
    if (identifier == QLatin1String("transport")) return {new TransportControls(model_), QStringLiteral("Transport")};
    if (identifier == QLatin1String("display")) return {new TransportDisplay(model_), QStringLiteral("Position")};
    if (identifier == QLatin1String("grid")) return {new GridToolbarControl(model_), QStringLiteral("Grid")};
    if (identifier == QLatin1String("zoom")) return {new ZoomControls(model_), QStringLiteral("Zoom")};
    if (identifier == QLatin1String("inspector")) {
      auto* button = new QToolButton;
      button->setObjectName(QStringLiteral("inspectorButton"));
      button->setIcon(Icons::tinted(QStringLiteral("sidebar.right")));
      button->setAccessibleName(QStringLiteral("Inspector"));
      button->setToolTip(QStringLiteral("Show or hide the inspector (Ctrl+Alt+I)"));
      button->setFocusPolicy(Qt::NoFocus);
      connect(button, &QToolButton::clicked, this, [this] {
        ViewSettings& settings = model_->viewSettings();
        settings.setShowInspector(!settings.showInspector());
      });
      return {button, QStringLiteral("Inspector")};
    }
    auto* space = new QWidget;
    space->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    return {space, QString()};
  };
  for (const QString& identifier : toolbarItemIdentifiers()) {
    auto [widget, label] = item(identifier);
    QAction* action = toolbar_->addWidget(widget);
    action->setObjectName(identifier);
    action->setText(label);
  }
}

void EditorWindowController::restoreFrame() {
  QMainWindow* main = window();
  const QRect saved = Preferences::rectValue(Preferences::Keys::editorWindowFrame);
  if (saved.isValid()) {
    // A frame left on a screen that is gone keeps only its size.
    if (QGuiApplication::screenAt(saved.center()))
      main->setGeometry(saved);
    else
      main->resize(saved.size());
  }
  const QScreen* screen = QGuiApplication::screenAt(main->geometry().center());
  if (!screen) screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  if (main->width() < centringWidth) main->move(screen->availableGeometry().center() - main->rect().center());
  cascade(screen->availableGeometry());
}

void EditorWindowController::cascade(const QRect& available) {
  std::vector<QPoint> taken;
  int step = 0;
  if (const DocumentController* controller = DocumentController::shared())
    for (const WindowController* other : controller->windowControllers()) {
      const QWidget* shown = other->window();
      if (other == this || !shown->isVisible()) continue;
      taken.push_back(shown->geometry().topLeft());
      // The title bar that the window manager drew, or the style's own without one.
      step = std::max(step, shown->geometry().top() - shown->frameGeometry().top());
    }
  if (step <= 0) step = window()->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, window());
  QRect frame = window()->geometry();
  const QPoint position = cascadedPosition(frame.topLeft(), frame.size(), taken, step, available);
  if (position == frame.topLeft()) return;
  frame.moveTopLeft(position);
  window()->setGeometry(frame);
}

QPoint EditorWindowController::cascadedPosition(QPoint wanted, QSize size, const std::vector<QPoint>& taken, int step,
                                                const QRect& available) {
  // The last corner that keeps the window inside; the centre for a window larger than the area.
  const QPoint fit = available.bottomRight() + QPoint(1, 1) - QPoint(size.width(), size.height());
  const QPoint last(fit.x() >= available.left() ? fit.x() : available.center().x(),
                    fit.y() >= available.top() ? fit.y() : available.center().y());
  QPoint position = wanted;
  // One pass per window: enough to get past all of them, and it always ends.
  for (size_t pass = 0; pass < taken.size(); ++pass) {
    if (std::find(taken.begin(), taken.end(), position) == taken.end()) break;
    position += QPoint(step, step);
    if (position.x() > last.x() || position.y() > last.y()) position = available.topLeft();
  }
  return position;
}

void EditorWindowController::saveFrame() const {
  // A maximised or full-screen window keeps the frame it goes back to.
  Preferences::setValue(Preferences::Keys::editorWindowFrame, window()->normalGeometry());
}

QDialog* EditorWindowController::attachedSheet() const {
  for (QDialog* dialog : window()->findChildren<QDialog*>(Qt::FindDirectChildrenOnly))
    if (dialog->isVisible()) return dialog;
  return nullptr;
}

void EditorWindowController::presentSheet(const SheetBuilder& build) {
  if (attachedSheet() || !model_->canChangeDocument()) {
    Platform::beep();
    return;
  }
  QDialog* sheet = build(window());
  if (!sheet) return;
  sheet->setAttribute(Qt::WA_DeleteOnClose);
  sheet->open();
}

bool EditorWindowController::handleSpace(const QKeyEvent& event) {
  if (event.key() != Qt::Key_Space) return false;
  if (event.modifiers() & Qt::ShiftModifier)
    model_->play(true);
  else
    model_->togglePlayback();
  return true;
}

void EditorWindowController::prepareToClose(std::function<void()> ready) {
  Recorder& recorder = model_->recorder();
  if (!recorder.isRecording() && !readyToClose_) {
    ready();
    return;
  }
  // The take goes into the document before the document is asked about unsaved changes, so it
  // is saved or discarded by the answer rather than lost with the window.
  readyToClose_ = std::move(ready);
  recorder.stop();
  closeWhenIdle();
}

void EditorWindowController::closeWhenIdle() {
  if (!readyToClose_ || model_->jobs().busy()) return;
  std::exchange(readyToClose_, {})();
}

void EditorWindowController::closing() {
  saveFrame();
  model_->stop(false);
  model_->recorder().disarm();
}

bool EditorWindowController::eventFilter(QObject* watched, QEvent* event) {
  if (watched == window()) {
    switch (event->type()) {
    case QEvent::KeyPress:
      if (handleSpace(static_cast<const QKeyEvent&>(*event))) return true;
      break;
    case QEvent::Move:
    case QEvent::Resize:
      if (window()->isVisible()) saveFrame();
      break;
    default: break;
    }
  }
  return WindowController::eventFilter(watched, event);
}
