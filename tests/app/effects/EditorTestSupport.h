// Helpers of the effect editors' tests: a stored value behind a binding that counts writes, an
// editor model over a short tone with one rack slot, driving a ParamSlider (typing, reset,
// slider travel), the visible sliders of a panel top to bottom, and saving a panel's picture
// into the build folder.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QSlider>
#include <QTest>

#include <algorithm>
#include <memory>
#include <vector>

#include "core/AudioContent.h"
#include "editor/EditorModel.h"
#include "effects/EffectsRack.h"
#include "widgets/Binding.h"
#include "widgets/ParamSlider.h"
#include "views/ViewTestSupport.h"

namespace EditorTestSupport {

// A value held by the test, read and written through binding().
template <typename T>
struct Stored {
  T value;
  int writes = 0;

  Binding<T> binding() {
    return Binding<T>([this] { return value; },
                      [this](const T& newValue) {
                        value = newValue;
                        ++writes;
                      });
  }
};

// A document of one second of a quiet two-channel tone at 48 kHz.
inline std::unique_ptr<EditorModel> makeModel() {
  return std::make_unique<EditorModel>(ViewTestSupport::sine(48000, 109, 0.1f), std::nullopt);
}

// The id of a new built-in slot of the model's rack.
inline quar::Uuid addSlot(EditorModel& model, quar::EffectSettings settings) {
  model.rack().add(std::move(settings));
  return model.rack().slots().back().id;
}

template <typename S>
const S& slotSettings(EditorModel& model, const quar::Uuid& id) {
  for (const EffectSlot& slot : model.rack().slots())
    if (slot.id == id) return std::get<S>(*slot.settings());
  throw std::out_of_range("no such slot");
}

// Shows a top-level widget at a width and makes it the active window, so that focus works.
inline void showActive(QWidget& widget, int width = 360) {
  widget.resize(width, widget.sizeHint().height());
  widget.show();
  QApplication::setActiveWindow(&widget);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&widget));
}

inline QLineEdit* field(ParamSlider& slider) { return slider.findChild<QLineEdit*>(QStringLiteral("field")); }
inline QSlider* track(ParamSlider& slider) { return slider.findChild<QSlider*>(QStringLiteral("slider")); }
inline QString text(ParamSlider& slider) { return field(slider)->text(); }

// Replaces the field's text as typed keys; Return commits it.
inline void type(ParamSlider& slider, const QString& typed, bool pressReturn = true) {
  QLineEdit* edit = field(slider);
  edit->setFocus();
  edit->selectAll();
  QTest::keyClicks(edit, typed);
  if (pressReturn) QTest::keyClick(edit, Qt::Key_Return);
}

inline void doubleClickLabel(ParamSlider& slider) {
  QTest::mouseDClick(slider.findChild<QWidget*>(QStringLiteral("label")), Qt::LeftButton);
}

// Moves the slider to a step of its travel as a drag would.
inline void slide(ParamSlider& slider, int step) { track(slider)->setValue(step); }

// The panel's sliders that are not hidden, top to bottom.
inline std::vector<ParamSlider*> visibleSliders(QWidget& panel) {
  std::vector<ParamSlider*> sliders;
  for (ParamSlider* slider : panel.findChildren<ParamSlider*>())
    if (slider->isVisibleTo(&panel)) sliders.push_back(slider);
  std::ranges::sort(sliders, {}, [&](QWidget* w) { return w->mapTo(&panel, QPoint()).y(); });
  return sliders;
}

// The labels of the visible sliders, top to bottom.
inline std::vector<QString> sliderLabels(QWidget& panel) {
  std::vector<QString> labels;
  for (ParamSlider* slider : visibleSliders(panel)) labels.push_back(slider->label());
  return labels;
}

// The application's palette, or a dark one with every role the panels' controls use.
inline QPalette palette(bool dark) {
  QPalette palette = QApplication::palette();
  if (!dark) return palette;
  const QColor text(240, 240, 240);
  palette.setColor(QPalette::Window, QColor(40, 40, 40));
  palette.setColor(QPalette::WindowText, text);
  palette.setColor(QPalette::Base, QColor(28, 28, 28));
  palette.setColor(QPalette::AlternateBase, QColor(50, 50, 50));
  palette.setColor(QPalette::Text, text);
  palette.setColor(QPalette::Button, QColor(64, 64, 64));
  palette.setColor(QPalette::ButtonText, text);
  palette.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(120, 120, 120));
  palette.setColor(QPalette::Disabled, QPalette::Text, QColor(120, 120, 120));
  palette.setColor(QPalette::Link, QColor(90, 170, 255));
  palette.setColor(QPalette::Highlight, QColor(10, 132, 255));
  return palette;
}

// The widget's picture, saved among the build folder's pictures.
inline void savePicture(QWidget& widget, const QString& name) {
  ViewTestSupport::savePicture(widget.grab().toImage(), name);
}

} // namespace EditorTestSupport
