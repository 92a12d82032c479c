// Theme: the editor's named colours, each a light and a dark colour resolved at drawing time
// against the palette being drawn with (dark when the palette's window colour has a lightness
// below 128), the text tones with the contrast they keep against their backgrounds (WCAG
// ratios), and rulerSteps, the tick spacing of the time ruler. Immutable; colours may be read
// from any thread, resolving against a palette is for the GUI thread.
#pragma once

#include <QColor>
#include <QPalette>

#include <vector>

struct ThemeColor {
  QColor light;
  QColor dark;

  QColor resolved(bool isDark) const { return isDark ? dark : light; }
  QColor resolved(const QPalette& palette) const;
};

namespace Theme {

bool isDark(const QPalette& palette);

extern const ThemeColor background;
extern const ThemeColor laneBackground;
extern const ThemeColor laneBorder;
extern const ThemeColor centerLine;
extern const ThemeColor gridLine;
extern const ThemeColor waveform;
extern const ThemeColor waveformRMS;
extern const ThemeColor waveformDimmed;
extern const ThemeColor selection;
extern const ThemeColor selectionEdge;
extern const ThemeColor cursor;
extern const ThemeColor playhead;
extern const ThemeColor rulerBackground;
extern const ThemeColor marker;
extern const ThemeColor loudnessShortTerm;
extern const ThemeColor loudnessMomentary;
extern const ThemeColor loudnessTarget;
extern const ThemeColor loudnessIntegrated;
extern const ThemeColor envelope;
extern const ThemeColor envelopeFill;
extern const ThemeColor gridBar;
extern const ThemeColor clip;
// The platform's standard named colours: the equaliser's band colours, the gain-reduction bar,
// the compressor's threshold marker and the noise profile.
extern const ThemeColor red;
extern const ThemeColor orange;
extern const ThemeColor yellow;
extern const ThemeColor green;
extern const ThemeColor mint;
extern const ThemeColor cyan;
extern const ThemeColor blue;
extern const ThemeColor purple;
// Ruler labels: the palette's secondary text colour.
QColor rulerText(const QPalette& palette);
// The palette's text colour at the strengths of primary, secondary, tertiary and quaternary
// labels (alpha 0.85, 0.5, 0.26, 0.1). The three text tones are raised where needed to reach
// minimumTextContrast against the palette's window colour; the quaternary one is for fills.
QColor label(const QPalette& palette);
QColor secondaryLabel(const QPalette& palette);
QColor tertiaryLabel(const QPalette& palette);
QColor quaternaryLabel(const QPalette& palette);

// Least contrast ratios of text (WCAG AA) and of disabled text against their backgrounds.
inline constexpr double minimumTextContrast = 4.5;
inline constexpr double minimumDisabledContrast = 3.0;
// The contrast ratio (1 to 21) of `text`, drawn with its alpha over the opaque `background`.
double contrast(const QColor& text, const QColor& background);
// `text` with its alpha raised just enough to reach `minimum` against `background`; unchanged
// where it does already, opaque where nothing less does.
QColor readable(QColor text, const QColor& background, double minimum = minimumTextContrast);
// `palette` with its disabled window, button and field text brought to minimumDisabledContrast
// against the window, button and field colours, each moved toward its enabled text colour.
QPalette withReadableDisabledText(QPalette palette);
// Keeps the application palette's disabled text readable, now and after every palette change.
void keepDisabledTextReadable();

// Each text colour of the theme in `palette`, the background it is drawn on and the contrast
// it must reach.
struct TextColor {
  const char* name;
  QColor text;
  QColor background;
  double minimum;
};
std::vector<TextColor> textColors(const QPalette& palette);

} // namespace Theme

// The ruler's labelled (major) and unlabelled (minor) tick spacing in seconds: the first of
// 26 candidate steps at least `minLabelSpacing` points wide, else 7200 s.
struct RulerSteps {
  double major;
  double minor;
  bool operator==(const RulerSteps&) const = default;
};
RulerSteps rulerSteps(double secondsPerPoint, double minLabelSpacing);
