// ZoomControls: the toolbar's zoom out (twice the frames per point), zoom in (half) and zoom to
// fit buttons, about the model's current position. GUI thread only.
#pragma once

#include <QWidget>

class EditorModel;

class ZoomControls final : public QWidget {
  Q_OBJECT
public:
  explicit ZoomControls(EditorModel* model, QWidget* parent = nullptr);
};
