// ToneLabel: a line of text in a font of the editor's text styles (or the system font at a size
// in points), in one of the palette's text tones (primary, secondary, tertiary) or a theme
// colour; the colour is resolved against the parent's palette and follows its changes (light
// and dark). GUI thread only.
#pragma once

#include <QFont>
#include <QLabel>

#include "widgets/Theme.h"
#include "widgets/ViewStyle.h"

class ToneLabel final : public QLabel {
  Q_OBJECT
public:
  enum class Tone { primary, secondary, tertiary };

  ToneLabel(const QString& text, const QFont& font, Tone tone, QWidget* parent);
  ToneLabel(const QString& text, ViewStyle::TextStyle style, Tone tone, QWidget* parent);
  ToneLabel(const QString& text, int pixelSize, Tone tone, QWidget* parent);

  // Draws the text in `color` instead of the tone; null goes back to the tone.
  void setColor(const ThemeColor* color);

protected:
  void changeEvent(QEvent* event) override;

private:
  void applyColor();

  Tone tone_;
  const ThemeColor* color_ = nullptr;
};
