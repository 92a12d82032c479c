#include "document/ExportFormatChoice.h"

#include <QComboBox>
#include <QFormLayout>
#include <QSignalBlocker>

#include "io/AudioEncoder.h"
#include "platform/SavePanel.h"
#include "support/Preferences.h"

namespace {

QString text(std::string_view view) { return QString::fromUtf8(view.data(), static_cast<qsizetype>(view.size())); }

} // namespace

ExportFormatChoice::ExportFormatChoice(quar::EncodeSettings settings, SavePanel* panel)
    : settings_(settings), panel_(panel), menu_(new QComboBox(this)) {
  menu_->setObjectName(QStringLiteral("formatChoice"));
  for (const quar::ExportFormat format : quar::allCases<quar::ExportFormat>())
    if (quar::AudioEncoder::isAvailable(format)) menu_->addItem(text(quar::displayName(format)), static_cast<int>(format));
  menu_->setCurrentIndex(menu_->findData(static_cast<int>(settings_.format)));
  connect(menu_, &QComboBox::activated, this,
          [this](int index) { setFormat(static_cast<quar::ExportFormat>(menu_->itemData(index).toInt())); });
  auto* layout = new QFormLayout(this);
  layout->setContentsMargins(24, 12, 24, 12);
  layout->addRow(QStringLiteral("Format"), menu_);
}

void ExportFormatChoice::setFormat(quar::ExportFormat format) {
  if (format == settings_.format) return;
  quar::EncodeSettings settings = Preferences::encodeSettings(format);
  settings.sampleRate = settings_.sampleRate;
  settings_ = settings.normalized();
  const QSignalBlocker blocker(menu_);
  menu_->setCurrentIndex(menu_->findData(static_cast<int>(format)));
  syncPanel();
}

void ExportFormatChoice::syncPanel() {
  if (!panel_) return;
  const QString extension = text(quar::fileExtension(settings_.format));
  panel_->setAllowedType(text(quar::displayName(settings_.format)), {extension});
  QString name = panel_->nameFieldText();
  if (name.isEmpty()) return;
  const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
  if (dot >= 0) name.truncate(dot);
  panel_->setNameFieldText(name + QLatin1Char('.') + extension);
}
