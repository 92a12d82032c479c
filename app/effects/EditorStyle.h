// EditorStyle: the text sizes and spacings the effect editors share, in points (logical
// pixels). Pure values.
#pragma once

namespace EditorStyle {

// Text styles: size in points.
inline constexpr int calloutSize = 12;
inline constexpr int captionSize = 10;

// Spacing between the rows of an editor panel.
inline constexpr int rowSpacing = 8;

} // namespace EditorStyle
