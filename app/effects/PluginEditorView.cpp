#include "effects/PluginEditorView.h"

#include <QGuiApplication>
#include <QTimer>

#include <cstdint>
#include <cstring>
#include <limits>

#include <suil/suil.h>

#include "au/PluginUI.h"

namespace {

// How often the UI handles its events and sees parameter changes made elsewhere.
constexpr int idleIntervalMs = 33;
constexpr uint32_t floatProtocol = 0;

} // namespace

PluginEditorView* PluginEditorView::make(std::shared_ptr<quar::AudioUnitEffect> effect, QWidget* parent) {
  if (!effect || QGuiApplication::platformName() != QLatin1String("xcb")) return nullptr;
  std::unique_ptr<PluginEditorView> view(new PluginEditorView(std::move(effect), parent));
  if (!view->load()) return nullptr;
  return view.release();
}

PluginEditorView::PluginEditorView(std::shared_ptr<quar::AudioUnitEffect> effect, QWidget* parent)
    : QWidget(parent), effect_(std::move(effect)), idleTimer_(new QTimer(this)) {
  setObjectName(QStringLiteral("pluginEditor"));
  setAttribute(Qt::WA_NativeWindow);
  resize_ = {this, &PluginEditorView::resize};
  idleTimer_->setInterval(idleIntervalMs);
  connect(idleTimer_, &QTimer::timeout, this, &PluginEditorView::idle);
}

PluginEditorView::~PluginEditorView() {
  // The UI goes before the instance it edits.
  if (instance_) suil_instance_free(instance_);
  if (host_) suil_host_free(host_);
}

bool PluginEditorView::load() {
  const auto pluginURI = quar::PluginUI::pluginURI(effect_->descriptor());
  if (!pluginURI) return false;
  host_ = suil_host_new(&PluginEditorView::writePort, &PluginEditorView::portIndex, nullptr, nullptr);
  void* parent = reinterpret_cast<void*>(static_cast<uintptr_t>(winId()));
  const LV2_Feature mapFeature{LV2_URID__map, quar::PluginUI::uridMap()};
  const LV2_Feature unmapFeature{LV2_URID__unmap, quar::PluginUI::uridUnmap()};
  const LV2_Feature parentFeature{LV2_UI__parent, parent};
  const LV2_Feature resizeFeature{LV2_UI__resize, &resize_};
  const LV2_Feature idleFeature{LV2_UI__idleInterface, nullptr};
  const LV2_Feature* features[] = {&mapFeature, &unmapFeature, &parentFeature, &resizeFeature, &idleFeature, nullptr};

  for (const quar::PluginUI& ui : quar::PluginUI::of(effect_->descriptor())) {
    for (const std::string& type : ui.typeURIs) {
      if (suil_ui_supported(LV2_UI__X11UI, type.c_str()) == 0) continue;
      instance_ = suil_instance_new(host_, this, LV2_UI__X11UI, pluginURI->c_str(), ui.uri.c_str(), type.c_str(),
                                    ui.bundlePath.c_str(), ui.binaryPath.c_str(), features);
      if (instance_) break;
    }
    if (instance_) break;
  }
  if (!instance_) return false;
  idleInterface_ =
      static_cast<const LV2UI_Idle_Interface*>(suil_instance_extension_data(instance_, LV2_UI__idleInterface));
  for (const quar::AUParameterInfo& parameter : effect_->parameters())
    shown_.emplace_back(parameter.address, std::numeric_limits<float>::quiet_NaN());
  sendChangedValues();
  idleTimer_->start();
  return true;
}

void PluginEditorView::sendChangedValues() {
  for (auto& [address, seen] : shown_) {
    const std::optional<float> value = effect_->parameterValue(address);
    if (!value || *value == seen) continue;
    seen = *value;
    suil_instance_port_event(instance_, static_cast<uint32_t>(address), sizeof(float), floatProtocol, &seen);
  }
}

void PluginEditorView::idle() {
  sendChangedValues();
  if (idleInterface_ && idleInterface_->idle(suil_instance_get_handle(instance_)) != 0) {
    idleTimer_->stop();
    window()->close();
  }
}

void PluginEditorView::writePort(void* controller, uint32_t port, uint32_t size, uint32_t protocol,
                                 const void* buffer) {
  if (protocol != floatProtocol || size != sizeof(float)) return;
  auto* view = static_cast<PluginEditorView*>(controller);
  float value;
  std::memcpy(&value, buffer, sizeof value);
  view->effect_->setParameter(port, value);
  // The UI shows what it wrote; the next idle call hands it the value the plug-in kept.
  for (auto& [address, seen] : view->shown_)
    if (address == port) seen = value;
}

uint32_t PluginEditorView::portIndex(void* controller, const char* symbol) {
  auto* view = static_cast<PluginEditorView*>(controller);
  for (const quar::AUParameterInfo& parameter : view->effect_->parameters())
    if (parameter.identifier == symbol) return static_cast<uint32_t>(parameter.address);
  return LV2UI_INVALID_PORT_INDEX;
}

int PluginEditorView::resize(LV2UI_Feature_Handle handle, int width, int height) {
  auto* view = static_cast<PluginEditorView*>(handle);
  view->preferred_ = QSize(width, height);
  view->updateGeometry();
  if (view->window()->isVisible()) view->window()->resize(view->preferred_);
  return 0;
}
