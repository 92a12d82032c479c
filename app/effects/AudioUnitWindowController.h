// AudioUnitWindowController: the floating windows that show hosted plug-ins' own editors, at
// most one per plug-in instance. show() brings the instance's open window to the front, or
// opens a new one titled with the plug-in's name; closing the window forgets it, so the next
// show() opens a fresh one. The controller holds its instance: a window outlives the rack slot
// that made it and keeps editing the instance until it is closed, and no new instance can ever
// be taken for one whose window is open. A plug-in without an editor that can be shown here
// gets the alert "“<name>” has no custom editor" instead. GUI thread.
#pragma once

#include <QObject>
#include <QPointer>
#include <QSize>

#include <functional>
#include <memory>

#include "au/AudioUnitEffect.h"

class QWidget;

class AudioUnitWindowController final : public QObject {
  Q_OBJECT
public:
  // Makes the editor of an instance as a child of its window; null when it has none.
  using ViewFactory = std::function<QWidget*(const std::shared_ptr<quar::AudioUnitEffect>& effect, QWidget* window)>;

  // The window's content size for an editor that names none.
  static constexpr QSize defaultContentSize{480, 320};

  static void show(const std::shared_ptr<quar::AudioUnitEffect>& effect);
  // The open window of the instance, or null.
  static QWidget* windowFor(const quar::AudioUnitEffect* effect);
  // The content size of a window whose editor prefers `preferred`: defaultContentSize when both
  // dimensions are 0, else `preferred` (negative dimensions read as 0).
  static QSize contentSize(QSize preferred);
  // Replaces how editors are made (PluginEditorView::make; an empty factory restores it). For
  // tests.
  static void setViewFactory(ViewFactory factory);

  ~AudioUnitWindowController() override;

  QWidget* window() const { return window_; }

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  AudioUnitWindowController(std::shared_ptr<quar::AudioUnitEffect> effect, QWidget* window);
  // Takes the controller out of the registry.
  void forget();

  std::shared_ptr<quar::AudioUnitEffect> effect_;
  QPointer<QWidget> window_;
};
