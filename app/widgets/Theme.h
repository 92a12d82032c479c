// Theme: the editor's named colours, each a light and a dark colour resolved at drawing time
// against the palette being drawn with (dark when the palette's window colour has a lightness
// below 128), and rulerSteps, the tick spacing of the time ruler. Immutable; colours may be
// read from any thread, resolving against a palette is for the GUI thread.
#pragma once

#include <QColor>
#include <QPalette>

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
// labels (alpha 0.85, 0.5, 0.26, 0.1).
QColor label(const QPalette& palette);
QColor secondaryLabel(const QPalette& palette);
QColor tertiaryLabel(const QPalette& palette);
QColor quaternaryLabel(const QPalette& palette);

} // namespace Theme

// The ruler's labelled (major) and unlabelled (minor) tick spacing in seconds: the first of
// 26 candidate steps at least `minLabelSpacing` points wide, else 7200 s.
struct RulerSteps {
  double major;
  double minor;
  bool operator==(const RulerSteps&) const = default;
};
RulerSteps rulerSteps(double secondsPerPoint, double minLabelSpacing);
