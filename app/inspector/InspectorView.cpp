#include "inspector/InspectorView.h"

#include <QHideEvent>
#include <QPainter>
#include <QScrollArea>
#include <QVBoxLayout>

#include "editor/EditorModel.h"
#include "effects/EffectsRackView.h"
#include "inspector/InfoPanel.h"
#include "inspector/LoudnessPanel.h"
#include "inspector/MarkersPanel.h"
#include "inspector/SpectrumPanel.h"
#include "platform/ObservedRefresh.h"
#include "widgets/SegmentedControl.h"
#include "widgets/ViewStyle.h"

InspectorView::InspectorView(EditorModel* model, QWidget* parent)
    : QWidget(parent), model_(model), observer_(new ObservedRefresh([this] { refresh(); }, this)) {
  setObjectName(QStringLiteral("inspector"));
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  tabs_ = new SegmentedControl(QStringLiteral("Inspector"),
                               {{{}, QStringLiteral("gauge.with.dots.needle.67percent"), QStringLiteral("Loudness")},
                                {{}, QStringLiteral("waveform.path.ecg"), QStringLiteral("Spectrum")},
                                {{}, QStringLiteral("info.circle"), QStringLiteral("Info")},
                                {{}, QStringLiteral("flag"), QStringLiteral("Markers")},
                                {{}, QStringLiteral("sparkles"), QStringLiteral("Effects")}},
                               this);
  tabs_->setObjectName(QStringLiteral("inspectorTabs"));
  connect(tabs_, &SegmentedControl::picked, this, [this](int index) {
    model_->viewSettings().setInspectorTab(quar::EnumCases<InspectorTab>::values[static_cast<size_t>(index)]);
  });
  auto* top = new QVBoxLayout;
  top->setContentsMargins(10, 10, 10, 10);
  top->addWidget(tabs_);
  column->addLayout(top);
  column->addWidget(ViewStyle::divider(this));

  scroll_ = new QScrollArea(this);
  scroll_->setObjectName(QStringLiteral("inspectorScroll"));
  scroll_->setFrameShape(QFrame::NoFrame);
  // No Tab stop of its own: it draws no focus, and the wheel scrolls it without focus.
  scroll_->setFocusPolicy(Qt::NoFocus);
  scroll_->setWidgetResizable(true);
  scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  scroll_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  column->addWidget(scroll_, 1);

  observer_->watch(model_);

  observer_->watch(&model_->viewSettings());
  observer_->run();
}

void InspectorView::paintEvent(QPaintEvent*) { QPainter(this).fillRect(rect(), palette().color(QPalette::Window)); }

void InspectorView::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  refresh();
}

void InspectorView::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  // A minimised window keeps its panel.
  if (!event->spontaneous()) discardPanel();
}

void InspectorView::refresh() {
  const InspectorTab tab = model_->viewSettings().inspectorTab();
  tabs_->setSelectedIndex(rawValue(tab));
  if (!isVisible() || shown_ == tab) return;
  discardPanel();
  shown_ = tab;
  auto* page = new QWidget;
  page->setObjectName(QStringLiteral("inspectorPage"));
  auto* layout = new QVBoxLayout(page);
  layout->setContentsMargins(14, 14, 14, 14);
  panel_ = makePanel(tab);
  layout->addWidget(panel_);
  layout->addStretch(1);
  scroll_->setWidget(page);
}

void InspectorView::discardPanel() {
  shown_.reset();
  panel_ = nullptr;
  delete scroll_->takeWidget();
}

QWidget* InspectorView::makePanel(InspectorTab tab) {
  switch (tab) {
  case InspectorTab::loudness: return new LoudnessPanel(model_);
  case InspectorTab::spectrum: return new SpectrumPanel(model_);
  case InspectorTab::info: return new InfoPanel(model_);
  case InspectorTab::markers: return new MarkersPanel(model_);
  case InspectorTab::effects: break;
  }
  return new EffectsRackView(model_);
}
