#include "widgets/SegmentedControl.h"

#include <QButtonGroup>
#include <QEvent>
#include <QHBoxLayout>
#include <QPushButton>

#include "platform/Icons.h"
#include "widgets/Theme.h"
#include "widgets/ViewStyle.h"

namespace {

std::vector<SegmentedControl::Segment> textSegments(const QStringList& titles) {
  std::vector<SegmentedControl::Segment> segments;
  for (const QString& title : titles) segments.push_back({title});
  return segments;
}

// The fill of the chosen segment in a dark palette: its button colour a quarter of the way to the
// button text colour.
QColor darkSelectedFill(const QPalette& palette) {
  const QColor button = palette.color(QPalette::Button);
  const QColor text = palette.color(QPalette::ButtonText);
  const auto mixed = [](int from, int to) { return from + (to - from) / 4; };
  return QColor(mixed(button.red(), text.red()), mixed(button.green(), text.green()),
                mixed(button.blue(), text.blue()));
}

} // namespace

SegmentedControl::SegmentedControl(const QString& name, const std::vector<Segment>& segments, QWidget* parent)
    : QWidget(parent), group_(new QButtonGroup(this)) {
  setAccessibleName(name);
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(0);
  for (size_t i = 0; i < segments.size(); ++i) {
    const Segment& segment = segments[i];
    auto* button = new QPushButton(this);
    button->setObjectName(segment.toolTip.isEmpty() ? segment.title : segment.toolTip);
    button->setCheckable(true);
    button->setFocusPolicy(Qt::TabFocus);
    button->setFont(ViewStyle::font(ViewStyle::TextStyle::callout));
    if (segment.symbol.isEmpty()) {
      button->setText(segment.title);
    } else {
      button->setIcon(Icons::tinted(segment.symbol));
      button->setIconSize(QSize(16, 16));
      button->setAccessibleName(segment.toolTip);
    }
    button->setToolTip(segment.toolTip);
    button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    group_->addButton(button, static_cast<int>(i));
    row->addWidget(button);
  }
  connect(group_, &QButtonGroup::idClicked, this, &SegmentedControl::picked);
  connect(group_, &QButtonGroup::idToggled, this, &SegmentedControl::showSelection);
}

SegmentedControl::SegmentedControl(const QString& name, const QStringList& titles, QWidget* parent)
    : SegmentedControl(name, textSegments(titles), parent) {}

int SegmentedControl::selectedIndex() const { return group_->checkedId(); }

void SegmentedControl::setSelectedIndex(int index) {
  if (QAbstractButton* button = group_->button(index)) button->setChecked(true);
}

QAbstractButton* SegmentedControl::segment(int index) const { return group_->button(index); }

void SegmentedControl::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::PaletteChange) showSelection();
}

void SegmentedControl::showSelection() {
  const bool dark = Theme::isDark(palette());
  for (QAbstractButton* button : group_->buttons()) {
    QPalette own;  // no role of its own: the control's palette throughout
    if (dark && button->isChecked()) {
      // The lighter fill of the chosen segment keeps its text readable when disabled too.
      QPalette filled = palette();
      filled.setColor(QPalette::Button, darkSelectedFill(palette()));
      filled = Theme::withReadableDisabledText(filled);
      own.setColor(QPalette::Button, filled.color(QPalette::Active, QPalette::Button));
      own.setColor(QPalette::Disabled, QPalette::ButtonText, filled.color(QPalette::Disabled, QPalette::ButtonText));
    }
    button->setPalette(own);
  }
}
