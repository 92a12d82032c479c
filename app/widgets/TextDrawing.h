// TextDrawing: the views' text: the system font at a size in logical pixels (the points of the
// design), and text placed by the top-left corner of its line box, where QPainter otherwise
// places it by its baseline. GUI thread.
#pragma once

#include <QFont>
#include <QPointF>
#include <QSizeF>
#include <QString>

class QPainter;

namespace TextDrawing {

// The system font at `pixelSize` logical pixels.
QFont font(int pixelSize, QFont::Weight weight = QFont::Normal);
// Advance width and line height of `text` in `font`, in logical pixels.
QSizeF size(const QFont& font, const QString& text);
// Draws `text` in the painter's font and pen with its line box's top-left corner at `topLeft`.
void draw(QPainter& painter, QPointF topLeft, const QString& text);

// Draws `text` in the painter's font and pen with its line box centred on `centre`.
void drawCentred(QPainter& painter, QPointF centre, const QString& text);

} // namespace TextDrawing
