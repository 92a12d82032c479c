// ToneLabel: a text label in the system font at a size in points, coloured as the primary,
// secondary or tertiary label text of the palette it is shown in; the colour follows palette
// changes (light and dark). GUI thread.
#pragma once

#include <QLabel>

class ToneLabel final : public QLabel {
  Q_OBJECT
public:
  enum class Tone { primary, secondary, tertiary };

  ToneLabel(const QString& text, int pixelSize, Tone tone, QWidget* parent = nullptr);

  Tone tone() const { return tone_; }

protected:
  void changeEvent(QEvent* event) override;

private:
  // Recolours the text from the parent's palette (the label's own carries the tone).
  void applyTone();

  Tone tone_;
};
