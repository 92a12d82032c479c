#include "views/SegmentedControl.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QPushButton>

#include "platform/Icons.h"
#include "views/ViewStyle.h"

namespace {

std::vector<SegmentedControl::Segment> textSegments(const QStringList& titles) {
  std::vector<SegmentedControl::Segment> segments;
  for (const QString& title : titles) segments.push_back({title});
  return segments;
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
}

SegmentedControl::SegmentedControl(const QString& name, const QStringList& titles, QWidget* parent)
    : SegmentedControl(name, textSegments(titles), parent) {}

int SegmentedControl::selectedIndex() const { return group_->checkedId(); }

void SegmentedControl::setSelectedIndex(int index) {
  if (QAbstractButton* button = group_->button(index)) button->setChecked(true);
}

QAbstractButton* SegmentedControl::segment(int index) const { return group_->button(index); }
