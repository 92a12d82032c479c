#include "widgets/Theme.h"

#include <QApplication>
#include <QEvent>

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

namespace {

QColor rgba(int r, int g, int b, double alpha) {
  QColor color(r, g, b);
  color.setAlphaF(static_cast<float>(alpha));
  return color;
}

ThemeColor pair(int lr, int lg, int lb, double la, int dr, int dg, int db, double da) {
  return {rgba(lr, lg, lb, la), rgba(dr, dg, db, da)};
}

} // namespace

QColor ThemeColor::resolved(const QPalette& palette) const { return resolved(Theme::isDark(palette)); }

namespace Theme {

bool isDark(const QPalette& palette) { return palette.color(QPalette::Window).lightness() < 128; }

const ThemeColor background = pair(243, 244, 247, 1, 22, 24, 29, 1);
const ThemeColor laneBackground = pair(255, 255, 255, 1, 28, 31, 37, 1);
const ThemeColor laneBorder = pair(217, 220, 227, 1, 42, 46, 54, 1);
const ThemeColor centerLine = pair(197, 202, 211, 1, 52, 57, 69, 1);
const ThemeColor gridLine = pair(232, 234, 239, 1, 35, 38, 45, 1);
const ThemeColor waveform = pair(33, 103, 216, 1, 79, 179, 255, 1);
const ThemeColor waveformRMS = pair(111, 163, 245, 1, 154, 212, 255, 1);
const ThemeColor waveformDimmed = pair(155, 181, 222, 1, 46, 93, 130, 1);
const ThemeColor selection = pair(33, 103, 216, 0.18, 79, 179, 255, 0.22);
const ThemeColor selectionEdge = pair(33, 103, 216, 0.8, 127, 200, 255, 0.9);
const ThemeColor cursor = pair(26, 26, 26, 1, 242, 242, 242, 1);
const ThemeColor playhead = pair(232, 69, 60, 1, 255, 90, 79, 1);
const ThemeColor rulerBackground = pair(233, 235, 240, 1, 18, 20, 25, 1);
const ThemeColor marker = pair(217, 138, 0, 1, 255, 176, 32, 1);
const ThemeColor loudnessShortTerm = pair(224, 108, 0, 1, 255, 159, 64, 1);
const ThemeColor loudnessMomentary = pair(224, 108, 0, 0.35, 255, 208, 138, 0.35);
const ThemeColor loudnessTarget = pair(30, 158, 83, 1, 61, 220, 132, 1);
const ThemeColor loudnessIntegrated = pair(122, 63, 209, 1, 196, 155, 255, 1);
const ThemeColor envelope = pair(194, 65, 12, 1, 255, 224, 138, 1);
const ThemeColor envelopeFill = pair(194, 65, 12, 0.08, 255, 224, 138, 0.08);
const ThemeColor gridBar = pair(91, 33, 182, 1, 185, 165, 255, 1);
const ThemeColor clip = pair(232, 69, 60, 1, 255, 90, 79, 1);
const ThemeColor red = pair(255, 59, 48, 1, 255, 69, 58, 1);
const ThemeColor orange = pair(255, 149, 0, 1, 255, 159, 10, 1);
const ThemeColor yellow = pair(255, 204, 0, 1, 255, 214, 10, 1);
const ThemeColor green = pair(52, 199, 89, 1, 48, 209, 88, 1);
const ThemeColor mint = pair(0, 199, 190, 1, 99, 230, 226, 1);
const ThemeColor cyan = pair(50, 173, 230, 1, 100, 210, 255, 1);
const ThemeColor blue = pair(0, 122, 255, 1, 10, 132, 255, 1);
const ThemeColor purple = pair(175, 82, 222, 1, 191, 90, 242, 1);

namespace {

QColor text(const QPalette& palette, float alpha) {
  QColor color = palette.color(QPalette::WindowText);
  color.setAlphaF(alpha);
  return color;
}

// WCAG relative luminance of an opaque colour.
double luminance(const QColor& color) {
  const auto linear = [](double c) { return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
  return 0.2126 * linear(color.redF()) + 0.7152 * linear(color.greenF()) + 0.0722 * linear(color.blueF());
}

// `over` drawn with its alpha onto the opaque `under`.
QColor composited(const QColor& over, const QColor& under) {
  const double a = over.alphaF();
  const auto mix = [a](double top, double bottom) { return top * a + bottom * (1 - a); };
  return QColor::fromRgbF(static_cast<float>(mix(over.redF(), under.redF())),
                          static_cast<float>(mix(over.greenF(), under.greenF())),
                          static_cast<float>(mix(over.blueF(), under.blueF())));
}

// `from` moved toward `to` just far enough to reach `minimum` against `background`.
QColor movedToward(const QColor& from, const QColor& to, const QColor& background, double minimum) {
  for (int step = 0; step <= 100; ++step) {
    const double t = step / 100.0;
    const QColor mixed = QColor::fromRgbF(static_cast<float>(from.redF() + (to.redF() - from.redF()) * t),
                                          static_cast<float>(from.greenF() + (to.greenF() - from.greenF()) * t),
                                          static_cast<float>(from.blueF() + (to.blueF() - from.blueF()) * t));
    if (contrast(mixed, background) >= minimum) return mixed;
  }
  return to;
}

// Raises the contrast of an application palette's disabled text whenever the palette changes.
class DisabledTextKeeper final : public QObject {
public:
  using QObject::QObject;

  void apply() {
    const QPalette current = QApplication::palette();
    const QPalette readable = withReadableDisabledText(current);
    if (readable != current) QApplication::setPalette(readable);
  }

protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == qApp && event->type() == QEvent::ApplicationPaletteChange) apply();
    return QObject::eventFilter(watched, event);
  }
};

} // namespace

QColor rulerText(const QPalette& palette) { return secondaryLabel(palette); }
QColor label(const QPalette& palette) { return readable(text(palette, 0.85f), palette.color(QPalette::Window)); }
QColor secondaryLabel(const QPalette& palette) { return readable(text(palette, 0.5f), palette.color(QPalette::Window)); }
QColor tertiaryLabel(const QPalette& palette) { return readable(text(palette, 0.26f), palette.color(QPalette::Window)); }
QColor quaternaryLabel(const QPalette& palette) { return text(palette, 0.1f); }

double contrast(const QColor& text, const QColor& background) {
  const double a = luminance(composited(text, background)), b = luminance(background);
  return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

QColor readable(QColor text, const QColor& background, double minimum) {
  for (int percent = static_cast<int>(std::ceil(text.alphaF() * 100)); contrast(text, background) < minimum; ++percent) {
    if (percent >= 100) {
      text.setAlphaF(1);
      break;
    }
    text.setAlphaF(static_cast<float>(percent) / 100);
  }
  return text;
}

QPalette withReadableDisabledText(QPalette palette) {
  const std::pair<QPalette::ColorRole, QPalette::ColorRole> roles[] = {
      {QPalette::WindowText, QPalette::Window}, {QPalette::ButtonText, QPalette::Button}, {QPalette::Text, QPalette::Base}};
  for (const auto& [role, background] : roles) {
    const QColor disabled = palette.color(QPalette::Disabled, role);
    const QColor behind = palette.color(QPalette::Disabled, background);
    if (contrast(disabled, behind) >= minimumDisabledContrast) continue;
    const QColor base = composited(disabled, behind);
    palette.setColor(QPalette::Disabled, role,
                     movedToward(base, palette.color(QPalette::Active, role), behind, minimumDisabledContrast));
  }
  return palette;
}

void keepDisabledTextReadable() {
  static DisabledTextKeeper* keeper = nullptr;
  if (!keeper) {
    keeper = new DisabledTextKeeper(qApp);
    qApp->installEventFilter(keeper);
  }
  keeper->apply();
}

std::vector<TextColor> textColors(const QPalette& palette) {
  const bool dark = isDark(palette);
  const QColor window = palette.color(QPalette::Window);
  return {
      {"label", label(palette), window, minimumTextContrast},
      {"secondaryLabel", secondaryLabel(palette), window, minimumTextContrast},
      {"tertiaryLabel", tertiaryLabel(palette), window, minimumTextContrast},
      {"rulerText", rulerText(palette), rulerBackground.resolved(dark), minimumTextContrast},
      {"channel label", secondaryLabel(palette), laneBackground.resolved(dark), minimumTextContrast},
      {"gridBar", gridBar.resolved(dark), window, minimumTextContrast},
      {"loudnessIntegrated", loudnessIntegrated.resolved(dark), window, minimumTextContrast},
      {"disabled window text", palette.color(QPalette::Disabled, QPalette::WindowText),
       palette.color(QPalette::Disabled, QPalette::Window), minimumDisabledContrast},
      {"disabled button text", palette.color(QPalette::Disabled, QPalette::ButtonText),
       palette.color(QPalette::Disabled, QPalette::Button), minimumDisabledContrast},
      {"disabled field text", palette.color(QPalette::Disabled, QPalette::Text),
       palette.color(QPalette::Disabled, QPalette::Base), minimumDisabledContrast},
  };
}

} // namespace Theme

RulerSteps rulerSteps(double secondsPerPoint, double minLabelSpacing) {
  static constexpr std::array<double, 26> candidates{0.0001, 0.0002, 0.0005, 0.001, 0.002, 0.005, 0.01,
                                                     0.02,   0.05,   0.1,    0.2,   0.5,   1,     2,
                                                     5,      10,     15,     30,    60,    120,   300,
                                                     600,    900,    1800,   3600,  7200};
  double major = 7200;
  for (const double candidate : candidates)
    if (candidate / secondsPerPoint >= minLabelSpacing) {
      major = candidate;
      break;
    }
  double divisor = 5;
  if (major == 15 || major == 30 || major == 900 || major == 1800)
    divisor = 3;
  else if (major == 60 || major == 120 || major == 600 || major == 3600 || major == 7200)
    divisor = 6;
  else if (major == 0.002 || major == 0.02 || major == 0.2 || major == 2)
    divisor = 4;
  return {major, major / divisor};
}
