// AudioDocumentController: the application's document controller for audio documents. New
// documents are empty stereo AudioDocuments; files are typed by extension as the formats the
// editor writes, and any other file as "public.audio", so that every file is offered to the
// document, which probes it. The open panel lists audio files and lets any file be chosen.
// GUI thread only.
#pragma once

#include "platform/DocumentController.h"

class AudioDocumentController final : public DocumentController {
  Q_OBJECT
public:
  AudioDocumentController();

  // The type of the file; "public.audio" when its extension is not one of the written formats.
  QString typeForContentsOfUrl(const QUrl& url) const override;

protected:
  std::unique_ptr<Document> makeDocument(const QString& type) override;
  void beginOpenPanel(QFileDialog* panel, std::function<void(QList<QUrl>)> done) override;
};
