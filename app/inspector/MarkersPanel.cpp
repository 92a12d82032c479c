#include "inspector/MarkersPanel.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include <set>

#include "editor/EditorModel.h"
#include "platform/Icons.h"
#include "platform/ObservedRefresh.h"
#include "support/TimeFormat.h"
#include "widgets/ToneLabel.h"

using Tone = ToneLabel::Tone;
using ViewStyle::TextStyle;

// One marker: flag, name field, time link and remove button.
class MarkersPanel::Row final : public QWidget {
public:
  Row(EditorModel* model, const Marker& marker, QWidget* parent) : QWidget(parent), model_(model), id_(marker.id) {
    setObjectName(QStringLiteral("markerRow"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);

    flag_ = new QLabel(this);
    flag_->setObjectName(QStringLiteral("markerFlag"));
    row->addWidget(flag_);

    name_ = new QLineEdit(this);
    name_->setObjectName(QStringLiteral("markerName"));
    name_->setPlaceholderText(QStringLiteral("Name"));
    name_->setFrame(false);
    connect(name_, &QLineEdit::returnPressed, this, [this] { model_->renameMarker(id_, name_->text()); });
    row->addWidget(name_, 1);

    time_ = new QPushButton(this);
    time_->setObjectName(QStringLiteral("markerTime"));
    time_->setFlat(true);
    time_->setCursor(Qt::PointingHandCursor);
    time_->setFont(ViewStyle::font(TextStyle::callout));
    time_->setToolTip(QStringLiteral("Move the cursor here"));
    connect(time_, &QPushButton::clicked, this, [this] {
      model_->setSelection(std::nullopt);
      model_->seek(frame_);
    });
    row->addWidget(time_);

    remove_ = new QToolButton(this);
    remove_->setObjectName(QStringLiteral("removeMarker"));
    remove_->setAutoRaise(true);
    remove_->setFocusPolicy(Qt::NoFocus);
    remove_->setToolTip(QStringLiteral("Remove marker"));
    remove_->setIconSize(QSize(14, 14));
    // The icon's own grey circle with a white cross.
    remove_->setIcon(Icons::get(QStringLiteral("xmark.circle.fill")));
    connect(remove_, &QToolButton::clicked, this, [this] { model_->removeMarker(id_); });
    row->addWidget(remove_);
    applyColors();
  }

  // Shows the marker: its time always, its name only when the model's name changed. While the
  // document may not change, the name is read-only (it keeps the focus, so keys such as Space
  // still reach the window) and remove is off.
  void display(const Marker& marker, const QString& time, bool editable) {
    frame_ = marker.frame;
    name_->setReadOnly(!editable);
    remove_->setEnabled(editable);
    if (marker.name != shownName_) {
      shownName_ = marker.name;
      name_->setText(marker.name);
    }
    time_->setText(time);
  }

protected:
  void changeEvent(QEvent* event) override {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) applyColors();
  }

private:
  // The flag in the marker colour, the time as a link, the field without a background.
  void applyColors() {
    flag_->setPixmap(
        Icons::tinted(QStringLiteral("flag.fill"), Theme::marker.resolved(palette())).pixmap(QSize(14, 14)));
    QPalette link = time_->palette();
    link.setColor(QPalette::ButtonText, palette().color(QPalette::Link));
    time_->setPalette(link);
    QPalette field = name_->palette();
    field.setColor(QPalette::Base, Qt::transparent);
    field.setColor(QPalette::Text, palette().color(QPalette::WindowText));
    name_->setPalette(field);
  }

  EditorModel* model_;
  quar::Uuid id_;
  int64_t frame_ = 0;
  QString shownName_;
  QLabel* flag_;
  QLineEdit* name_;
  QPushButton* time_;
  QToolButton* remove_;
};

MarkersPanel::MarkersPanel(EditorModel* model, QWidget* parent)
    : QWidget(parent), model_(model), observer_(new ObservedRefresh([this] { refresh(); }, this)) {
  setObjectName(QStringLiteral("markersPanel"));
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(10);

  auto* header = new QHBoxLayout;
  header->addWidget(new ToneLabel(QStringLiteral("Markers"), TextStyle::headline, Tone::primary, this));
  header->addStretch(1);
  add_ = new QToolButton(this);
  add_->setObjectName(QStringLiteral("addMarker"));
  add_->setText(QStringLiteral("Add"));
  add_->setIcon(Icons::tinted(QStringLiteral("plus")));
  add_->setIconSize(QSize(12, 12));
  add_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  add_->setToolTip(QStringLiteral("Add a marker at the cursor (M)"));
  connect(add_, &QToolButton::clicked, this, [this] { model_->addMarker(); });
  header->addWidget(add_);
  column->addLayout(header);

  help_ = new ToneLabel(QStringLiteral("Press M while editing, or Meta+M, to drop a marker at the cursor. Drag marker "
                                        "flags in the ruler to move them; double-click in the waveform to select "
                                        "between markers."),
                         TextStyle::callout, Tone::secondary, this);
  help_->setObjectName(QStringLiteral("markersHelp"));
  help_->setWordWrap(true);
  column->addWidget(help_);

  list_ = new QVBoxLayout;
  list_->setSpacing(10);
  column->addLayout(list_);

  observer_->watch(model_);

  observer_->watch(&model_->viewSettings());
  observer_->run();
}

std::vector<QWidget*> MarkersPanel::rows() const {
  std::vector<QWidget*> widgets;
  for (int i = 0; i < list_->count(); ++i) widgets.push_back(list_->itemAt(i)->widget());
  return widgets;
}

void MarkersPanel::refresh() {
  const std::vector<Marker>& markers = model_->markers();
  const TimeFormat format = model_->viewSettings().timeFormat();
  const double rate = model_->content().sampleRate();
  const bool editable = model_->canChangeDocument();
  help_->setVisible(markers.empty());
  add_->setEnabled(editable);

  std::set<quar::Uuid> present;
  for (const Marker& marker : markers) present.insert(marker.id);
  for (auto it = rows_.begin(); it != rows_.end();) {
    if (present.contains(it->first)) {
      ++it;
      continue;
    }
    delete it->second;
    it = rows_.erase(it);
  }
  for (size_t i = 0; i < markers.size(); ++i) {
    const Marker& marker = markers[i];
    Row*& row = rows_[marker.id];
    if (!row) row = new Row(model_, marker, this);
    row->display(marker, timeString(format, marker.frame, rate), editable);
    // Keep the layout in the model's order.
    if (list_->indexOf(row) != static_cast<int>(i)) {
      list_->removeWidget(row);
      list_->insertWidget(static_cast<int>(i), row);
    }
  }
}
