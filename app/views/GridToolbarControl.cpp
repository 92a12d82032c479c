#include "views/GridToolbarControl.h"

#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>
#include <QVBoxLayout>

#include "editor/EditorModel.h"
#include "platform/Icons.h"
#include "platform/ObservedRefresh.h"
#include "support/FixedText.h"
#include "views/GridSettingsView.h"
#include "widgets/ViewStyle.h"

namespace {

constexpr int popoverInset = 16;
constexpr int arrowHeight = 10;
constexpr int arrowHalfWidth = 11;
constexpr qreal popoverRadius = 10;

// A popup panel whose arrow, centred on its top edge, points up at what opened it.
class Popover final : public QFrame {
public:
  explicit Popover(QWidget* parent) : QFrame(parent, Qt::Popup) {}

  // The panel's outline with its arrow, in the popover's coordinates.
  static QPainterPath outline(QRectF bounds) {
    QPainterPath panel;
    panel.addRoundedRect(bounds.adjusted(0, arrowHeight, 0, 0), popoverRadius, popoverRadius);
    const qreal middle = bounds.center().x();
    QPainterPath arrow;
    arrow.moveTo(middle - arrowHalfWidth, bounds.top() + arrowHeight + 1);
    arrow.lineTo(middle, bounds.top());
    arrow.lineTo(middle + arrowHalfWidth, bounds.top() + arrowHeight + 1);
    arrow.closeSubpath();
    return panel.united(arrow);
  }

protected:
  void resizeEvent(QResizeEvent* event) override {
    QFrame::resizeEvent(event);
    setMask(QRegion(outline(rect()).toFillPolygon().toPolygon()));
  }

  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPainterPath shape = outline(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
    painter.fillPath(shape, palette().color(QPalette::Window));
    painter.setPen(QPen(palette().color(QPalette::Mid), 1));
    painter.drawPath(shape);
  }
};

} // namespace

GridToolbarControl::GridToolbarControl(EditorModel* model, QWidget* parent)
    : QWidget(parent), model_(model), observer_(new ObservedRefresh([this] { refresh(); }, this)) {
  setObjectName(QStringLiteral("gridControl"));
  auto* outer = new QHBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  button_ = new QToolButton(this);
  button_->setObjectName(QStringLiteral("gridButton"));
  button_->setAutoRaise(true);
  button_->setFocusPolicy(Qt::NoFocus);
  button_->setToolTip(QStringLiteral("Bar grid: tempo, meter, and snapping for gain edits"));
  connect(button_, &QToolButton::clicked, this, [this] { setOpen(!popover()); });
  outer->addWidget(button_);

  auto* label = new QHBoxLayout(button_);
  label->setSpacing(4);
  label->setContentsMargins(6, 0, 6, 0);
  icon_ = new QLabel(button_);
  icon_->setFixedSize(16, 16);
  text_ = new QLabel(button_);
  text_->setObjectName(QStringLiteral("gridLabel"));
  text_->setFont(ViewStyle::font(11, QFont::Medium));
  for (QLabel* part : {icon_, text_}) {
    part->setAttribute(Qt::WA_TransparentForMouseEvents);
    label->addWidget(part);
  }
  observer_->watch(&model_->tempo());
  observer_->run();
}

QString GridToolbarControl::label(const quar::TempoGrid& grid) {
  return fixedText(grid.bpm, 1) + QStringLiteral(" \u00B7 ") + QString::number(grid.beatsPerBar) + QStringLiteral("/4");
}

QFrame* GridToolbarControl::popover() const { return popover_ && popover_->isVisible() ? popover_.data() : nullptr; }

void GridToolbarControl::setOpen(bool open) {
  if (!open) {
    if (popover_) popover_->hide();
    return;
  }
  if (!popover_) {
    popover_ = new Popover(this);
    popover_->setObjectName(QStringLiteral("gridPopover"));
    // A click on the grid button while open only closes the popover.
    popover_->setAttribute(Qt::WA_NoMouseReplay);
    // 16 points around the settings, below the arrow; the popover follows their size.
    auto* layout = new QVBoxLayout(popover_);
    layout->setContentsMargins(popoverInset, arrowHeight + popoverInset, popoverInset, popoverInset);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(new GridSettingsView(model_, popover_));
  }
  popover_->adjustSize();
  const QPoint below = button_->mapToGlobal(QPoint(button_->width() / 2, button_->height()));
  popover_->move(below.x() - popover_->width() / 2, below.y());
  popover_->show();
}

void GridToolbarControl::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::PaletteChange) observer_->run();
}

void GridToolbarControl::refresh() {
  text_->setText(label(model_->tempo().grid()));
  const QColor color =
      model_->tempo().showGrid() ? Theme::gridBar.resolved(palette()) : ViewStyle::secondary(palette());
  ViewStyle::setForeground(text_, color);
  icon_->setPixmap(Icons::tinted(QStringLiteral("metronome"), color).pixmap(QSize(16, 16), devicePixelRatioF()));
  button_->setFixedSize(button_->layout()->sizeHint());
}
