#include "effects/SegmentedPicker.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QPushButton>

#include "effects/EditorStyle.h"
#include "views/TextDrawing.h"

SegmentedPicker::SegmentedPicker(const QString& name, const QStringList& titles, QWidget* parent)
    : QWidget(parent), group_(new QButtonGroup(this)) {
  setAccessibleName(name);
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(0);
  for (int i = 0; i < titles.size(); ++i) {
    auto* button = new QPushButton(titles[i], this);
    button->setObjectName(titles[i]);
    button->setCheckable(true);
    button->setFont(TextDrawing::font(EditorStyle::calloutSize));
    group_->addButton(button, i);
    row->addWidget(button);
  }
  connect(group_, &QButtonGroup::idClicked, this, &SegmentedPicker::picked);
}

int SegmentedPicker::selectedIndex() const { return group_->checkedId(); }

void SegmentedPicker::setSelectedIndex(int index) {
  if (QAbstractButton* button = group_->button(index)) button->setChecked(true);
}
