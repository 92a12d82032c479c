#include "sheets/SheetContainer.h"

#include <QAbstractSpinBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "editor/EditorModel.h"
#include "widgets/ViewStyle.h"
#include "widgets/ParamSlider.h"
#include "platform/ObservedRefresh.h"
#include "widgets/TextDrawing.h"
#include "widgets/ToneLabel.h"

SheetContainer::SheetContainer(const QString& title, const QString& actionTitle, QWidget* window)
    : QDialog(window), content_(new QVBoxLayout), action_(new QPushButton(actionTitle, this)) {
  setObjectName(QStringLiteral("processSheet"));
  setWindowTitle(title);
  setWindowModality(Qt::WindowModal);
  setFixedWidth(sheetWidth);

  auto* stack = new QVBoxLayout(this);
  stack->setContentsMargins(20, 20, 20, 20);
  stack->setSpacing(16);
  auto* heading = new QLabel(title, this);
  heading->setObjectName(QStringLiteral("title"));
  heading->setFont(TextDrawing::font(15, QFont::DemiBold));
  stack->addWidget(heading);
  content_->setSpacing(16);
  stack->addLayout(content_);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
  cancel->setObjectName(QStringLiteral("cancelButton"));
  buttons->addWidget(cancel);
  action_->setObjectName(QStringLiteral("actionButton"));
  action_->setDefault(true);
  action_->installEventFilter(this);
  // Filled with the accent colour.
  QPalette accent = action_->palette();
  accent.setColor(QPalette::Button, accent.color(QPalette::Highlight));
  accent.setColor(QPalette::ButtonText, accent.color(QPalette::HighlightedText));
  action_->setPalette(accent);
  buttons->addWidget(action_);
  stack->addLayout(buttons);

  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(action_, &QPushButton::clicked, this, [this] {
    apply();
    accept();
  });
}

void SheetContainer::addContent(QWidget* item) { content_->addWidget(item); }

void SheetContainer::addContent(QLayout* item) { content_->addLayout(item); }

QLabel* SheetContainer::addNote(const QString& text) {
  auto* note = new ToneLabel(text, ViewStyle::captionSize, ToneLabel::Tone::secondary, this);
  note->setWordWrap(true);
  addContent(note);
  return note;
}

void SheetContainer::addScopeLine(EditorModel& model) {
  QLabel* line = addNote(QString());
  line->setObjectName(QStringLiteral("scope"));
  auto* refresh = new ObservedRefresh([line, &model] { line->setText(scopeText(model)); }, line);
  refresh->watch(&model);
  refresh->run();
}

Binding<double> SheetContainer::shownBinding(double& value, const QString& format, std::function<void()> changed) {
  return Binding<double>([&value] { return value; },
                         [&value, format, changed = std::move(changed)](const double& newValue) {
                           value = ParamSlider::shownValue(format, newValue);
                           if (changed) changed();
                         });
}

void SheetContainer::showEvent(QShowEvent* event) {
  // Return is the action button's wherever the focus is: no other button takes it over.
  for (QPushButton* button : findChildren<QPushButton*>())
    if (button != action_) button->setAutoDefault(false);
  QDialog::showEvent(event);
  if (QWidget* field = firstField()) {
    field->setFocus(Qt::TabFocusReason);
    if (auto* edit = qobject_cast<QLineEdit*>(field)) edit->selectAll();
    if (auto* spin = qobject_cast<QAbstractSpinBox*>(field)) spin->selectAll();
  }
}

QWidget* SheetContainer::firstField() const {
  QWidget* menu = nullptr;
  for (QWidget* widget = nextInFocusChain(); widget && widget != this; widget = widget->nextInFocusChain()) {
    if (!isAncestorOf(widget) || !widget->isEnabled() || widget->isHidden()) continue;
    const auto* edit = qobject_cast<QLineEdit*>(widget);
    if ((edit && !edit->isReadOnly() && !qobject_cast<QAbstractSpinBox*>(widget->parentWidget())) ||
        qobject_cast<QAbstractSpinBox*>(widget))
      return widget;
    if (!menu && qobject_cast<QComboBox*>(widget)) menu = widget;
  }
  return menu;
}

bool SheetContainer::eventFilter(QObject* watched, QEvent* event) {
  // Space never presses the action button, even when Tab has put the focus there.
  if (watched == action_ && (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease)) {
    const int key = static_cast<const QKeyEvent*>(event)->key();
    if (key == Qt::Key_Space || key == Qt::Key_Select) return true;
  }
  return QDialog::eventFilter(watched, event);
}

QString scopeText(const EditorModel& model) {
  const QString scope = model.selection() ? QStringLiteral("the selection") : QStringLiteral("the entire file");
  const std::optional<std::set<int>> channels = model.targetChannels();
  if (!channels) return QStringLiteral("Applies to ") + scope + QLatin1Char('.');
  QStringList names;
  for (const int channel : *channels) names << model.channelName(channel);
  return QStringLiteral("Applies to ") + scope + QStringLiteral(", channel ") + names.join(QStringLiteral(", ")) +
         QLatin1Char('.');
}
