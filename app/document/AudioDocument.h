// AudioDocument: one audio file (or an untitled stereo document) and its EditorModel. Reading
// only probes the file; making the window starts decoding it in the background (busy
// "Opening “name”", cancellable). A save captures the content with its gain envelopes when it
// is requested and encodes that capture on a worker (busy "Saving “name”"), replacing the file
// atomically; the user may go on editing meanwhile. A plain Save uses the document's save
// settings: derived from the file when its format can be written here (keeping its sample rate
// and samples: no resampling, no dither), replaced by the settings chosen in a save panel;
// without them Save turns into Save As. Export writes the selection (or everything) to another
// file without changing the document. The panels offer only the formats that can be written
// here and start from the file's own bit depth where the format has it. Only audio is written: envelopes are rendered into the
// samples; markers, grid and effects are not stored. A save or export that clipped samples
// (integer formats, MP3) tells how many afterwards, also when its window closed meanwhile.
// GUI thread only.
#pragma once

#include <QPointer>

#include <functional>
#include <memory>
#include <optional>

#include "base/AudioFormats.h"
#include "document/ContentCollector.h"
#include "editor/EditorModel.h"
#include "editor/ProgressToken.h"
#include "platform/Document.h"

class ExportOptionsModel;
class WindowController;

class AudioDocument final : public Document {
  Q_OBJECT
public:
  AudioDocument();
  ~AudioDocument() override;

  EditorModel& model() const { return *model_; }
  // The description of the file from the last read (the probe), before any decoding.
  const std::optional<quar::AudioFileInfo>& probedInfo() const { return probedInfo_; }
  // The settings a plain Save uses; none means Save asks for them with the save panel.
  std::optional<quar::EncodeSettings> saveSettings() const { return saveSettings_; }
  // The save settings for a file as opened: none when its own format cannot be written here.
  static std::optional<quar::EncodeSettings> settingsMatching(const quar::AudioFileInfo& info);

  // Makes the document's window; the layer that knows the window installs it once at start-up.
  using WindowMaker = std::function<std::unique_ptr<WindowController>(AudioDocument& document)>;
  static void setWindowMaker(WindowMaker maker);
  // Makes the window (none before a maker is installed) and starts loading the file.
  void makeWindowControllers() override;
  // Probes the file; throws when it cannot be read.
  void read(const QUrl& url, const QString& type) override;
  // A job runs or a take is being recorded: the document may not be saved or replaced.
  bool isBusy() const;
  // Save, Save As and Revert beep and do nothing while busy.
  void saveDocument(Done done = {}) override;
  void saveDocumentAs(Done done = {}) override;
  void revertDocumentToSaved() override;
  // Export: the selection, or the whole content, to a file chosen in a save panel ("Export
  // Selection" / "Export Audio"), with the formats of the panel. A panel confirmed without a
  // file does nothing.
  void exportSelection();
  // Stops playback, the load and the model's job and analyses before closing.
  void close() override;

protected:
  SaveJob prepareSave(const QUrl& url, const QString& type, SaveOperation operation) override;
  bool isExporting() const override { return exporting_; }
  bool prepareSavePanel(SavePanel& panel) override;
  QString fileTypeFromLastRunSavePanel(const SavePanel& panel) const override;
  void revertToContentsOf(const QUrl& url, const QString& type) override;

private:
  void beginLoading(const QUrl& url);
  // The end of a load on the GUI thread: the content, or the document closes.
  void loaded(const QUrl& url, const quar::Uuid& busy, const std::shared_ptr<ProgressToken>& token,
              std::optional<ContentCollector::Decoded> decoded, std::exception_ptr error);
  void refreshFileInfo();
  // Beeps and answers true while busy.
  bool refuseWhileBusy() const;
  // The export options of a panel, shown as its accessory; the panel owns both.
  ExportOptionsModel* makeAccessory(const quar::EncodeSettings& settings, SavePanel& panel);

  std::unique_ptr<EditorModel> model_;
  std::optional<quar::AudioFileInfo> probedInfo_;
  std::optional<quar::EncodeSettings> saveSettings_;
  // The export options of the save panel being run.
  QPointer<ExportOptionsModel> exportOptions_;
  std::shared_ptr<ProgressToken> loadToken_;
  bool exporting_ = false;
};
