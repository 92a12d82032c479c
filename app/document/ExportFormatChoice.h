// ExportFormatChoice: the accessory of the document's save panels: a "Format" menu of the
// formats this machine can encode, over the settings the save or export will use. Choosing
// another format takes that format's stored settings (keeping the chosen sample rate) and
// makes the panel's file type and the name's extension follow. GUI thread only.
#pragma once

#include <QPointer>
#include <QWidget>

#include "base/AudioFormats.h"

class QComboBox;
class SavePanel;

class ExportFormatChoice final : public QWidget {
  Q_OBJECT
public:
  // `settings` are already normalised; the panel is held weakly.
  ExportFormatChoice(quar::EncodeSettings settings, SavePanel* panel);

  const quar::EncodeSettings& settings() const { return settings_; }
  void setFormat(quar::ExportFormat format);
  // The panel's allowed type and the name field's extension follow the format.
  void syncPanel();

private:
  quar::EncodeSettings settings_;
  QPointer<SavePanel> panel_;
  QComboBox* menu_;
};
