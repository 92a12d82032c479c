#include "views/ZoomControls.h"

#include <QHBoxLayout>
#include <QToolButton>

#include <functional>

#include "editor/EditorModel.h"
#include "widgets/ViewStyle.h"

ZoomControls::ZoomControls(EditorModel* model, QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("zoomControls"));
  auto* layout = new QHBoxLayout(this);
  layout->setSpacing(2);
  layout->setContentsMargins(4, 0, 4, 0);
  const auto add = [this, layout](const char *name, const char *symbol, const char *help,
                                  std::function<void()> action) {
    QToolButton* button = ViewStyle::iconButton(QString::fromLatin1(symbol), QString::fromLatin1(help), 22, 22, this);
    button->setObjectName(QString::fromLatin1(name));
    connect(button, &QToolButton::clicked, this, std::move(action));
    layout->addWidget(button);
  };
  add("zoomOutButton", "minus.magnifyingglass", "Zoom out (Ctrl+-)", [model] { model->zoom(2.0); });
  add("zoomInButton", "plus.magnifyingglass", "Zoom in (Ctrl+=)", [model] { model->zoom(0.5); });
  add("zoomToFitButton", "arrow.left.and.right.square", "Zoom to fit (Ctrl+0)",
      [model] { model->viewport().zoomToFit(); });
}
