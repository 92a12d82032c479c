// ViewStyle: the desktop's standard look that the editor's widgets share: the text styles
// (headline, callout, caption, ...) as fonts in logical pixels, the secondary and quaternary
// foreground of a palette, the system red, orange and yellow as light and dark pairs (red also
// marks controls that remove or clear something), and small
// helpers that give a widget a font, a foreground or a borderless icon button; and the text
// sizes and row spacing the effect editors share, in points. GUI thread only.
#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QString>

#include "widgets/Theme.h"

class QFrame;
class QToolButton;
class QWidget;

namespace ViewStyle {

enum class TextStyle {
  headline,  // 13, bold
  body,      // 13
  callout,   // 12
  small,     // 11: small controls
  caption,   // 10
};

QFont font(TextStyle style);

// Text sizes of the effect editors' callouts and captions, and the spacing between the rows of
// an editor panel, in points.
inline constexpr int calloutSize = 12;
inline constexpr int captionSize = 10;
inline constexpr int rowSpacing = 8;

// The system font at `pixelSize` logical pixels; `monospaced` takes the fixed-pitch family.
QFont font(int pixelSize, QFont::Weight weight = QFont::Normal, bool monospaced = false);

// Text of lower emphasis: the palette's text colour at 50 % (light) or 55 % (dark), or stronger
// where that is needed to reach Theme::minimumTextContrast against the window colour.
QColor secondary(const QPalette& palette);
// `color` with its alpha set to `alpha` (0…1).
QColor withAlpha(QColor color, double alpha);
// `color` drawn at `opacity` (0…1): its own alpha multiplied.
QColor faded(QColor color, double opacity);

// Fills of the lowest emphasis: the palette's text colour at 10 % (light) or 18 % (dark).
QColor quaternary(const QPalette& palette);

// The theme's standard red, orange and yellow.
inline const ThemeColor& systemRed = Theme::red;
inline const ThemeColor& systemOrange = Theme::orange;
inline const ThemeColor& systemYellow = Theme::yellow;
// Text of controls that remove or clear something.
inline const ThemeColor& destructive = Theme::red;

// Sets the colour a widget's text is drawn in.
void setForeground(QWidget* widget, const QColor& color);
// Draws an enabled widget's text in the destructive colour, following the palette from then on.
void setDestructive(QWidget* widget);
// A horizontal line one point high across a panel, in the palette's mid tone.
QFrame* divider(QWidget* parent);
// A borderless button that never takes keyboard focus, showing the icon `symbol` (in the
// palette's button text colour) inside a `width` × `height` frame, with the tooltip `help`.
QToolButton* iconButton(const QString& symbol, const QString& help, int width, int height, QWidget* parent);

} // namespace ViewStyle
