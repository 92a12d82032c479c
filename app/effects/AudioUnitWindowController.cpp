#include "effects/AudioUnitWindowController.h"

#include <QApplication>
#include <QEvent>
#include <QMessageBox>
#include <QScreen>
#include <QVBoxLayout>
#include <QWidget>

#include <map>

#include "effects/PluginEditorView.h"

using quar::AudioUnitEffect;

namespace {

// The controller of each open window, by the instance it edits. Each controller holds its
// instance, so a key always names a live instance.
std::map<const AudioUnitEffect*, AudioUnitWindowController*>& registry() {
  static std::map<const AudioUnitEffect*, AudioUnitWindowController*> open;
  return open;
}

// Empty: PluginEditorView::make.
AudioUnitWindowController::ViewFactory& viewFactory() {
  static AudioUnitWindowController::ViewFactory factory;
  return factory;
}

QWidget* makeView(const std::shared_ptr<AudioUnitEffect>& effect, QWidget* window) {
  if (viewFactory()) return viewFactory()(effect, window);
  return PluginEditorView::make(effect, window);
}

void showNoEditorAlert(const QString& name) {
  auto* alert = new QMessageBox(QMessageBox::Information, QString(),
                                QStringLiteral("\u201C%1\u201D has no custom editor").arg(name), QMessageBox::Ok);
  alert->setObjectName(QStringLiteral("noCustomEditorAlert"));
  alert->setInformativeText(QStringLiteral("Use the parameter list in the Effects rack instead."));
  alert->setAttribute(Qt::WA_DeleteOnClose);
  alert->setWindowModality(Qt::ApplicationModal);
  alert->show();
}

void bringToFront(QWidget* window) {
  window->show();
  window->raise();
  window->activateWindow();
}

} // namespace

void AudioUnitWindowController::show(const std::shared_ptr<AudioUnitEffect>& effect) {
  if (const auto open = registry().find(effect.get()); open != registry().end()) {
    bringToFront(open->second->window());
    return;
  }
  const QString name = QString::fromStdString(effect->descriptor().name);
  auto* window = new QWidget(nullptr, Qt::Tool);
  window->setObjectName(QStringLiteral("pluginWindow"));
  QWidget* view = makeView(effect, window);
  if (!view) {
    delete window;
    showNoEditorAlert(name);
    return;
  }
  auto* layout = new QVBoxLayout(window);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(view);
  window->setWindowTitle(name);
  window->resize(contentSize(view->sizeHint()));
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    window->move(screen->availableGeometry().center() - window->rect().center());
  registry()[effect.get()] = new AudioUnitWindowController(effect, window);
  bringToFront(window);
}

QWidget* AudioUnitWindowController::windowFor(const AudioUnitEffect* effect) {
  const auto open = registry().find(effect);
  return open == registry().end() ? nullptr : open->second->window();
}

QSize AudioUnitWindowController::contentSize(QSize preferred) {
  preferred = preferred.expandedTo(QSize(0, 0));
  return preferred.isNull() ? defaultContentSize : preferred;
}

void AudioUnitWindowController::setViewFactory(ViewFactory factory) { viewFactory() = std::move(factory); }

AudioUnitWindowController::AudioUnitWindowController(std::shared_ptr<AudioUnitEffect> effect, QWidget* window)
    : QObject(qApp), effect_(std::move(effect)), window_(window) {
  window->installEventFilter(this);
}

AudioUnitWindowController::~AudioUnitWindowController() {
  forget();
  delete window_;  // with the editor, before the instance it edits
}

void AudioUnitWindowController::forget() {
  if (const auto open = registry().find(effect_.get()); open != registry().end() && open->second == this)
    registry().erase(open);
}

bool AudioUnitWindowController::eventFilter(QObject* watched, QEvent* event) {
  if (watched == window_ && event->type() == QEvent::Close) {
    forget();
    deleteLater();
  }
  return QObject::eventFilter(watched, event);
}
