// PanelLabel: a line of text in the inspector's panels, in a font of the editor's text styles
// and in one of the palette's text tones (primary, secondary, tertiary) or a theme colour; the
// colour is resolved against the parent's palette and follows its changes (light and dark).
// Also the panels' one-point divider. GUI thread only.
#pragma once

#include <QFont>
#include <QLabel>

#include "views/Theme.h"
#include "views/ViewStyle.h"

class QFrame;

class PanelLabel final : public QLabel {
  Q_OBJECT
public:
  enum class Tone { primary, secondary, tertiary };

  PanelLabel(const QString& text, const QFont& font, Tone tone, QWidget* parent);
  PanelLabel(const QString& text, ViewStyle::TextStyle style, Tone tone, QWidget* parent);

  // Draws the text in `color` instead of the tone; null goes back to the tone.
  void setColor(const ThemeColor* color);

  // A horizontal line one point high across the panel.
  static QFrame* divider(QWidget* parent);

protected:
  void changeEvent(QEvent* event) override;

private:
  void applyColor();

  Tone tone_;
  const ThemeColor* color_ = nullptr;
};
