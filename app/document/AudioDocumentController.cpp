#include "document/AudioDocumentController.h"

#include <QFileDialog>

#include "document/AudioDocument.h"
#include "io/AudioDecoder.h"
#include "io/FormatCatalog.h"

namespace {

// One type per identifier of the written formats (ALAC and AAC share "m4a"), with every
// readable extension that stands for it; WAV first, the type of new documents.
std::vector<DocumentController::DocumentType> audioTypes() {
  std::vector<DocumentController::DocumentType> types;
  const auto typeOf = [&types](quar::ExportFormat format) -> DocumentController::DocumentType& {
    const QString identifier = QString::fromUtf8(quar::typeIdentifier(format));
    for (auto& type : types)
      if (type.identifier == identifier) return type;
    types.push_back({identifier, {}});
    return types.back();
  };
  for (const quar::ExportFormat format : quar::allCases<quar::ExportFormat>()) {
    auto& type = typeOf(format);
    const QString extension = QString::fromUtf8(quar::fileExtension(format));
    if (!type.extensions.contains(extension)) type.extensions << extension;
  }
  for (const std::string& extension : quar::AudioDecoder::readableFileExtensions())
    if (const auto format = quar::FormatCatalog::exportFormatForFileExtension(extension)) {
      auto& type = typeOf(*format);
      if (!type.extensions.contains(QString::fromStdString(extension))) type.extensions << QString::fromStdString(extension);
    }
  return types;
}

} // namespace

AudioDocumentController::AudioDocumentController() : DocumentController(audioTypes()) {}

QString AudioDocumentController::typeForContentsOfUrl(const QUrl& url) const {
  try {
    return DocumentController::typeForContentsOfUrl(url);
  } catch (...) {
    return QStringLiteral("public.audio");
  }
}

std::unique_ptr<Document> AudioDocumentController::makeDocument(const QString&) {
  return std::make_unique<AudioDocument>();
}

void AudioDocumentController::beginOpenPanel(QFileDialog* panel, std::function<void(QList<QUrl>)> done) {
  QStringList patterns;
  for (const std::string& extension : quar::AudioDecoder::readableFileExtensions())
    patterns << QStringLiteral("*.") + QString::fromStdString(extension);
  panel->setNameFilters({QStringLiteral("Audio Files (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')'),
                         QStringLiteral("All Files (*)")});
  DocumentController::beginOpenPanel(panel, std::move(done));
}
