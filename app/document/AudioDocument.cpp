#include "document/AudioDocument.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QMessageBox>
#include <QTimer>

#include <filesystem>

#include "base/QuarError.h"
#include "core/EnvelopeSet.h"
#include "document/ContentCollector.h"
#include "io/AudioDecoder.h"
#include "io/AudioEncoder.h"
#include "io/FormatCatalog.h"
#include "platform/DocumentController.h"
#include "platform/ErrorAlert.h"
#include "platform/FileStamp.h"
#include "platform/JobPool.h"
#include "platform/Platform.h"
#include "platform/SavePanel.h"
#include "platform/WindowController.h"
#include "recording/Recorder.h"
#include "sheets/ExportOptionsModel.h"
#include "sheets/ExportOptionsView.h"
#include "support/Preferences.h"
#include "support/TimeFormat.h"

using quar::AudioFileInfo;
using quar::EncodeSettings;
using quar::EnvelopedSource;
using quar::PCMBitDepth;

namespace {

std::filesystem::path pathOf(const QUrl& url) { return std::filesystem::path(url.toLocalFile().toStdString()); }

// “name.wav”, as busy titles show a file.
QString quotedName(const QUrl& url) {
  return QString::fromStdString(quar::curlyQuoted(QFileInfo(url.toLocalFile()).fileName().toStdString()));
}

QString directoryOf(const QUrl& url) {
  return url.isEmpty() ? QDir::homePath() : QFileInfo(url.toLocalFile()).absolutePath();
}

// Shows an alert on the window once the current event is done; when the window is gone or
// hidden, the document controller presents it (application-modal, and the program quits only
// after it was read).
void showLater(QWidget* window, QMessageBox::Icon icon, const QString& name, const QString& text,
               const QString& informative) {
  QTimer::singleShot(0, qApp, [window = QPointer<QWidget>(window), icon, name, text, informative] {
    QWidget* parent = window && window->isVisible() ? window.data() : nullptr;
    auto* box = new QMessageBox(icon, QStringLiteral("Quarnel"), text, QMessageBox::Ok, parent);
    box->setObjectName(name);
    box->setInformativeText(informative);
    box->setAttribute(Qt::WA_DeleteOnClose);
    if (parent) {
      box->open();
    } else if (DocumentController* controller = DocumentController::shared()) {
      controller->presentAlert(box);
    } else {
      box->setWindowModality(Qt::ApplicationModal);
      box->show();
    }
  });
}

// Tells how many samples the save or export to `url` clipped, once the current event is done:
// on the window while it is still shown (a document may close right after its save), else on
// its own.
void tellClipped(QWidget* window, const QUrl& url, int64_t clipped, const EncodeSettings& settings) {
  if (clipped <= 0) return;
  const QString count = clipped == 1 ? QStringLiteral("1 sample was")
                                     : QLocale().toString(static_cast<qlonglong>(clipped)) + QStringLiteral(" samples were");
  const QString text = count + QStringLiteral(" clipped in ") + quotedName(url) + QLatin1Char('.');
  // Lossless formats write float as 24-bit integers.
  const int bits = quar::isFloat(settings.bitDepth) ? 24 : quar::bits(settings.bitDepth);
  const QString format = settings.format == quar::ExportFormat::mp3
                             ? QStringLiteral("the MP3 encoder")
                             : QStringLiteral("%1-bit integer samples").arg(bits);
  const QString informative = QStringLiteral("They were louder than full scale, which %1 can\u2019t hold, so they were "
                                             "saved at full scale. A 32-bit float format (WAV, AIFF or CAF) keeps them.")
                                  .arg(format);
  showLater(window, QMessageBox::Information, QStringLiteral("clippingAlert"), text, informative);
}

// The sample format of the file, as the export formats write it; none when it has no such depth.
std::optional<PCMBitDepth> bitDepthOf(const AudioFileInfo& info) {
  if (info.isFloat) return PCMBitDepth::float32;
  switch (info.bitDepth.value_or(-1)) {
  case 16: return PCMBitDepth::int16;
  case 24: return PCMBitDepth::int24;
  case 32: return PCMBitDepth::int32;
  case 0: return PCMBitDepth::float32;
  default: return std::nullopt;
  }
}

// “name.wav” in the folder “/path”, as failures to write name the file.
QString fileAndFolder(const QUrl& url) {
  return quotedName(url) + QStringLiteral(" in the folder ") +
         QString::fromStdString(quar::curlyQuoted(QDir::toNativeSeparators(directoryOf(url)).toStdString()));
}

// "Only 0:12.3 of 0:45.0 could be read.", or, when all the file declares arrived, that parts may
// be wrong.
QString damageText(const AudioFileInfo& info) {
  const int64_t declared = info.damage ? info.damage->declaredFrames : 0;
  if (declared <= info.frameCount)
    return QStringLiteral("It could be read to its end, but parts of it may be missing or wrong.");
  return QStringLiteral("Only %1 of %2 could be read.")
      .arg(hmsString(info.frameCount, info.sampleRate, 1), hmsString(declared, info.sampleRate, 1));
}

// Tells, on the window once the current event is done, that the file just opened is damaged and
// how much of it could be read. The file itself stays as it is until the user saves.
void tellDamaged(QWidget* window, const QUrl& url, const AudioFileInfo& info) {
  if (!info.damage) return;
  const QString text = QStringLiteral("The file ") + quotedName(url) + QStringLiteral(" is damaged.");
  const QString informative = damageText(info);
  showLater(window, QMessageBox::Warning, QStringLiteral("damagedFileAlert"), text, informative);
}

AudioDocument::WindowMaker& windowMaker() {
  static AudioDocument::WindowMaker maker;
  return maker;
}

} // namespace

AudioDocument::AudioDocument() : model_(std::make_unique<EditorModel>(quar::AudioContent(2, 48000), std::nullopt)) {
  model_->setUndoManager(undoManager());
  model_->setPresentError([guard = QPointer<AudioDocument>(this)](std::exception_ptr error) {
    if (guard) guard->presentError(error);
  });
}

AudioDocument::~AudioDocument() {
  if (loadToken_) loadToken_->cancel();
  // The window shows the model: it goes first.
  destroyWindowControllers();
  // Once the model and the undo steps are gone too.
  if (QCoreApplication::instance()) QTimer::singleShot(0, &Platform::returnFreedMemory);
}

std::optional<EncodeSettings> AudioDocument::settingsMatching(const AudioFileInfo& info) {
  if (!info.nativeExportFormat || !ExportOptionsModel::isAvailable(*info.nativeExportFormat)) return std::nullopt;
  EncodeSettings settings = Preferences::encodeSettings(*info.nativeExportFormat);
  if (const std::optional<PCMBitDepth> depth = bitDepthOf(info)) settings.bitDepth = *depth;
  if (info.bitRateKbps) settings.bitRateKbps = *info.bitRateKbps;
  // A plain Save rewrites the file at the content's own rate; only a panel's choice resamples.
  settings.sampleRate = std::nullopt;
  return settings.normalized();
}

void AudioDocument::setWindowMaker(WindowMaker maker) { windowMaker() = std::move(maker); }

void AudioDocument::makeWindowControllers() {
  if (const WindowMaker& maker = windowMaker()) addWindowController(maker(*this));
  if (!fileUrl().isEmpty()) beginLoading(fileUrl());
}

void AudioDocument::read(const QUrl& url, const QString&) {
  probedInfo_ = quar::AudioDecoder::probe(pathOf(url));
  saveSettings_ = settingsMatching(*probedInfo_);
}

void AudioDocument::beginLoading(const QUrl& url) {
  auto token = std::make_shared<ProgressToken>();
  loadToken_ = token;
  const quar::Uuid busy = model_->jobs().beginExternalBusy(QStringLiteral("Opening ") + quotedName(url), token);
  auto decoded = std::make_shared<std::optional<ContentCollector::Decoded>>();
  // The file as it was when decoding began.
  const std::optional<FileStamp> stamp = FileStamp::of(url.toLocalFile());
  JobPool::run<AudioDocument>(
      this, [path = pathOf(url), token, decoded] { *decoded = ContentCollector::decode(path, token->callback()); },
      [url, busy, token, decoded, stamp](AudioDocument& document, std::exception_ptr error) {
        document.setFileStamp(stamp);
        document.loaded(url, busy, token, std::move(*decoded), error);
      });
}

void AudioDocument::loaded(const QUrl& url, const quar::Uuid& busy, const std::shared_ptr<ProgressToken>& token,
                           std::optional<ContentCollector::Decoded> decoded, std::exception_ptr error) {
  model_->jobs().endExternalBusy(busy);
  if (loadToken_ == token) loadToken_.reset();
  if (decoded && !error && !token->isCancelled()) {
    model_->load(std::move(decoded->content), decoded->info);
    undoManager()->removeAllActions();
    markClean();
    saveSettings_ = settingsMatching(decoded->info);
    tellDamaged(windowForSheet(), url, decoded->info);
    return;
  }
  close();
  if (!token->isCancelled())
    if (DocumentController* controller = DocumentController::shared()) controller->presentOpenError(url, error);
}

void AudioDocument::revertToContentsOf(const QUrl& url, const QString& type) {
  Document::revertToContentsOf(url, type);
  beginLoading(url);
}

bool AudioDocument::isBusy() const { return model_->jobs().busy() || model_->recorder().isRecording(); }

bool AudioDocument::refuseWhileBusy() const {
  if (!isBusy()) return false;
  Platform::beep();
  return true;
}

void AudioDocument::saveDocument(Done done) {
  if (refuseWhileBusy()) {
    if (done) done(false);
  } else if (!fileUrl().isEmpty() && !saveSettings_) {
    saveDocumentAs(std::move(done));
  } else {
    Document::saveDocument(std::move(done));
  }
}

void AudioDocument::saveDocumentAs(Done done) {
  if (refuseWhileBusy()) {
    if (done) done(false);
    return;
  }
  Document::saveDocumentAs(std::move(done));
}

void AudioDocument::revertDocumentToSaved() {
  if (!refuseWhileBusy()) Document::revertDocumentToSaved();
}

ExportOptionsModel* AudioDocument::makeAccessory(const EncodeSettings& settings, SavePanel& panel) {
  const quar::AudioContent& content = model_->content();
  auto* options = new ExportOptionsModel(settings.normalized(), content.sampleRate(), content.channelCount(), &panel, &panel);
  if (const std::optional<AudioFileInfo>& info = model_->fileInfo()) options->setSourceBitDepth(bitDepthOf(*info));
  panel.setTypeChooser([options = QPointer<ExportOptionsModel>(options)](const QString& extension) {
    return options && options->selectFormatForExtension(extension);
  });
  panel.setAccessoryView(new ExportOptionsView(options));
  options->syncPanel();
  return options;
}

bool AudioDocument::prepareSavePanel(SavePanel& panel) {
  exportOptions_ = makeAccessory(saveSettings_.value_or(Preferences::encodeSettings(Preferences::lastExportFormat())), panel);
  return true;
}

QString AudioDocument::fileTypeFromLastRunSavePanel(const SavePanel& panel) const {
  if (!exportOptions_) return Document::fileTypeFromLastRunSavePanel(panel);
  return QString::fromUtf8(quar::typeIdentifier(exportOptions_->settings().format));
}

Document::SaveJob AudioDocument::prepareSave(const QUrl& url, const QString& type, SaveOperation operation) {
  std::optional<EncodeSettings> panelSettings;
  if (operation != SaveOperation::save && exportOptions_) {
    panelSettings = exportOptions_->settings().normalized();
    Preferences::store(*panelSettings);
  }
  exportOptions_ = nullptr;
  const EncodeSettings defaults = EncodeSettings::defaults(
      quar::FormatCatalog::exportFormatForTypeIdentifier(type.toStdString()).value_or(quar::ExportFormat::wav));
  const EncodeSettings settings = operation == SaveOperation::save ? saveSettings_.value_or(panelSettings.value_or(defaults))
                                                                   : panelSettings.value_or(saveSettings_.value_or(defaults));
  auto token = std::make_shared<ProgressToken>();
  auto snapshot = std::make_shared<const EnvelopedSource>(model_->content(), model_->envelopes());
  const quar::Uuid busy = model_->jobs().beginExternalBusy(QStringLiteral("Saving ") + quotedName(url), token);
  auto clipped = std::make_shared<int64_t>(0);
  return {
      [snapshot, settings, token, clipped, path = pathOf(url)] {
        *clipped = quar::AudioEncoder::write(*snapshot, std::nullopt, path, settings, token->callback()).clippedSamples;
      },
      [this, busy, operation, panelSettings, clipped, url, settings](std::exception_ptr error) {
        model_->jobs().endExternalBusy(busy);
        if (error) return;
        tellClipped(windowForSheet(), url, *clipped, settings);
        if (operation == SaveOperation::saveTo) return;
        if (panelSettings) saveSettings_ = panelSettings;
        refreshFileInfo();
      },
  };
}

void AudioDocument::refreshFileInfo() {
  if (fileUrl().isEmpty()) return;
  auto info = std::make_shared<AudioFileInfo>();
  JobPool::run<AudioDocument>(
      this, [path = pathOf(fileUrl()), info] { *info = quar::AudioDecoder::probe(path); },
      [info](AudioDocument& document, std::exception_ptr error) {
        if (!error) document.model().setFileInfo(*info);
      });
}

void AudioDocument::exportSelection() {
  QWidget* window = windowForSheet();
  if (!window || refuseWhileBusy()) return;
  const std::optional<quar::FrameRange> selection = model_->selection();
  const quar::FrameRange range = selection.value_or(quar::FrameRange(0, model_->content().frameCount()));
  auto* panel = new SavePanel(window);
  panel->setWindowTitle(selection ? QStringLiteral("Export Selection") : QStringLiteral("Export Audio"));
  panel->setDirectory(directoryOf(fileUrl()));
  QString name = fileUrl().isEmpty() ? displayName() : QFileInfo(fileUrl().toLocalFile()).completeBaseName();
  if (selection) name += QStringLiteral(" (selection)");
  panel->setNameFieldText(name);
  refuseOtherDocumentsFiles(*panel);
  exportOptions_ = makeAccessory(Preferences::encodeSettings(Preferences::lastExportFormat()), *panel);
  auto snapshot = std::make_shared<const EnvelopedSource>(model_->content(), model_->envelopes());
  panel->begin([this, guard = QPointer<AudioDocument>(this), panel, snapshot, range](bool confirmed) {
    if (!guard || !confirmed || panel->url().isEmpty() || !exportOptions_) return;
    const EncodeSettings settings = exportOptions_->settings().normalized();
    exportOptions_ = nullptr;
    Preferences::store(settings);
    auto token = std::make_shared<ProgressToken>();
    const QUrl url = panel->url();
    const quar::Uuid busy = model_->jobs().beginExternalBusy(QStringLiteral("Exporting ") + quotedName(url), token);
    auto clipped = std::make_shared<int64_t>(0);
    exporting_ = true;
    JobPool::run<AudioDocument>(
        this,
        [snapshot, range, settings, token, clipped, path = pathOf(url)] {
          *clipped = quar::AudioEncoder::write(*snapshot, range, path, settings, token->callback()).clippedSamples;
        },
        [busy, token, url, clipped, settings](AudioDocument& document, std::exception_ptr error) {
          document.exporting_ = false;
          document.model().jobs().endExternalBusy(busy);
          if (!error) tellClipped(document.windowForSheet(), url, *clipped, settings);
          if (error && !token->isCancelled())
            ErrorAlert::showWriteFailure(document.windowForSheet(), error,
                                         QStringLiteral("The audio could not be exported to ") + fileAndFolder(url) +
                                             QLatin1Char('.'),
                                         url.toLocalFile());
          document.exportEnded(token->isCancelled() ? nullptr : error);
        });
  });
}

void AudioDocument::close() {
  model_->stop(false);
  if (loadToken_) loadToken_->cancel();
  model_->cancelBackgroundWork();
  Document::close();
}

