// EditorStyle: the text sizes and spacings the effect editors share, in points (logical
// pixels), and the fading of a colour to an opacity. Pure values; GUI thread for fonts.
#pragma once

#include <QColor>

namespace EditorStyle {

// Text styles: size in points.
inline constexpr int calloutSize = 12;
inline constexpr int captionSize = 10;

// Spacing between the rows of an editor panel.
inline constexpr int rowSpacing = 8;

// `color` drawn at `opacity` (its own alpha multiplied).
inline QColor faded(QColor color, double opacity) {
  color.setAlphaF(static_cast<float>(color.alphaF() * opacity));
  return color;
}

} // namespace EditorStyle
