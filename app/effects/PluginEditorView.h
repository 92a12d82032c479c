// PluginEditorView: the own editor of a hosted LV2 plug-in, an X11 UI embedded through suil,
// shown in the plug-in's floating window. Only the xcb platform can show one; on any other
// platform, and for a plug-in without an X11 UI that loads, there is none. The view holds its
// plug-in instance, so the UI's edits reach the instance for as long as the view lives, also
// after the rack has dropped it. GUI thread (the plug-in's control thread).
#pragma once

#include <QSize>
#include <QWidget>

#include <memory>
#include <utility>
#include <vector>

#include <lv2/ui/ui.h>

#include "au/AudioUnitEffect.h"

class QTimer;
struct SuilHostImpl;
struct SuilInstanceImpl;

class PluginEditorView final : public QWidget {
  Q_OBJECT
public:
  // The plug-in's editor as a child of `parent` (its window), or null when it has none that can
  // be shown here. The UI is embedded in the view's native window, so the view never changes
  // parent.
  static PluginEditorView* make(std::shared_ptr<quar::AudioUnitEffect> effect, QWidget* parent);
  ~PluginEditorView() override;

  // The size the UI asked for; 0 × 0 when it named none.
  QSize sizeHint() const override { return preferred_; }

private:
  PluginEditorView(std::shared_ptr<quar::AudioUnitEffect> effect, QWidget* parent);

  // Loads the first UI suil can embed into this view; false when none loads.
  bool load();
  // Hands the UI the parameter values that changed since it last saw them.
  void sendChangedValues();
  // The UI's idle call, its toolkit's event handling; closes the window when the UI asks to.
  void idle();

  static void writePort(void* controller, uint32_t port, uint32_t size, uint32_t protocol, const void* buffer);
  static uint32_t portIndex(void* controller, const char* symbol);
  static int resize(LV2UI_Feature_Handle handle, int width, int height);

  std::shared_ptr<quar::AudioUnitEffect> effect_;
  SuilHostImpl* host_ = nullptr;
  SuilInstanceImpl* instance_ = nullptr;
  const LV2UI_Idle_Interface* idleInterface_ = nullptr;
  LV2UI_Resize resize_{};
  QSize preferred_{0, 0};
  // The value the UI last saw of each parameter (port index, value).
  std::vector<std::pair<uint64_t, float>> shown_;
  QTimer* idleTimer_;
};
