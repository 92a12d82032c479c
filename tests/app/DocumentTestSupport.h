// Helpers of the document tests: audio fixtures written with the kit's encoder into a
// temporary folder, an edit as the editor model records one, opening a document and waiting
// for its load, driving save panels and message boxes, and the fixture most of them share.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <cmath>
#include <filesystem>
#include <vector>

#include "AppTestSupport.h"
#include "core/AudioContent.h"
#include "core/Processing.h"
#include "document/AudioDocument.h"
#include "document/AudioDocumentController.h"
#include "io/AudioDecoder.h"
#include "io/AudioEncoder.h"
#include "platform/SavePanel.h"

namespace DocumentTestSupport {

// A deterministic signal: a different sine per channel with a little noise-like detail, so
// that dither or resampling would show in the samples.
inline quar::AudioContent signal(int64_t frames, int channels, double rate) {
  std::vector<std::vector<float>> samples(static_cast<size_t>(channels), std::vector<float>(static_cast<size_t>(frames)));
  for (int c = 0; c < channels; ++c)
    for (int64_t i = 0; i < frames; ++i)
      samples[static_cast<size_t>(c)][static_cast<size_t>(i)] = static_cast<float>(
          0.5 * std::sin(2 * M_PI * (220.0 * (c + 1)) * static_cast<double>(i) / rate) + 0.01 * std::sin(0.37 * static_cast<double>(i * i % 1009)));
  return quar::AudioContent(samples, rate);
}

inline quar::EncodeSettings pcm(quar::ExportFormat format, quar::PCMBitDepth depth) {
  quar::EncodeSettings settings = quar::EncodeSettings::defaults(format);
  settings.bitDepth = depth;
  settings.dither = quar::DitherMode::none;
  return settings;
}

// Writes `frames` of the signal; 24-bit WAV unless told otherwise.
inline QString writeAudio(const QTemporaryDir& folder, const QString& name, int64_t frames, double rate = 48000,
                          int channels = 2, quar::EncodeSettings settings = pcm(quar::ExportFormat::wav, quar::PCMBitDepth::int24)) {
  const QString path = folder.filePath(name);
  quar::AudioEncoder::write(signal(frames, channels, rate), std::nullopt, path.toStdString(), settings);
  return path;
}

inline std::vector<std::vector<float>> samplesOf(const QString& path) {
  return quar::AudioDecoder::decodeToArrays(path.toStdString()).channels;
}

inline quar::AudioFileInfo infoOf(const QString& path) { return quar::AudioDecoder::probe(path.toStdString()); }

// Changes the content and records one undo step, as an edit of the model does.
inline void edit(AudioDocument& document, quar::AudioContent content) {
  EditorModel& model = document.model();
  const quar::AudioContent before = model.content();
  model.setContent(std::move(content));
  model.undoManager()->registerUndo([&model, before] { model.setContent(before); });
  model.undoManager()->setActionName(QStringLiteral("Edit"));
}

// Halves the gain of the whole content.
inline void editGain(AudioDocument& document) {
  edit(document, quar::applyingGain(document.model().content(), -6.0, std::nullopt, std::nullopt));
}

inline bool waitUntilIdle(const AudioDocument& document) {
  return QTest::qWaitFor([&] { return !document.model().jobs().busy(); }, 20000);
}

// The document `controller` made for the file at `path`, its load still running; null when it
// could not be opened.
inline AudioDocument* openDocument(AudioDocumentController& controller, const QString& path) {
  AudioDocument* opened = nullptr;
  controller.openDocumentWithContentsOfUrl(QUrl::fromLocalFile(path), true, [&](Document* document, std::exception_ptr) {
    opened = qobject_cast<AudioDocument*>(document);
  });
  return opened;
}

template <typename Widget>
std::vector<Widget*> visibleTopLevels(const QString& objectName) {
  std::vector<Widget*> found;
  for (QWidget* widget : QApplication::topLevelWidgets())
    if (auto* typed = qobject_cast<Widget*>(widget); typed && typed->isVisible() && typed->objectName() == objectName)
      found.push_back(typed);
  return found;
}

// The visible message box or panel of that name on `window` (or anywhere when null); waits for it.
template <typename Widget>
Widget* waitForDialog(QWidget* window, const QString& objectName) {
  Widget* found = nullptr;
  (void)QTest::qWaitFor([&] {
    const auto candidates = window ? window->findChildren<Widget*>(objectName) : QList<Widget*>();
    for (Widget* widget : candidates)
      if (widget->isVisible()) found = widget;
    if (!window)
      if (const auto top = visibleTopLevels<Widget>(objectName); !top.empty()) found = top.front();
    return found != nullptr;
  }, 5000);
  return found;
}

// Clicks the button of the box whose text is `text`.
inline void clickButton(QMessageBox* box, const QString& text) {
  for (QAbstractButton* button : box->buttons())
    if (button->text() == text) {
      button->click();
      return;
    }
  ADD_FAILURE() << "no button " << text.toStdString();
}

// Types the path into the panel's name field and presses Save.
inline void confirmPanel(SavePanel* panel, const QString& path) {
  panel->setNameFieldText(path);
  static_cast<QDialog*>(panel->fileDialog())->accept();
}

// A folder for the files and a document controller; the alerts and save panels a test leaves
// are deleted after it.
class AudioDocumentFixture : public AppTest {
protected:
  void SetUp() override {
    AppTest::SetUp();
    ASSERT_TRUE(folder.isValid());
  }
  void TearDown() override {
    std::vector<QPointer<QWidget>> dialogs;
    for (QWidget* widget : QApplication::topLevelWidgets())
      if (qobject_cast<QMessageBox*>(widget) || qobject_cast<SavePanel*>(widget)) dialogs.emplace_back(widget);
    for (const QPointer<QWidget>& dialog : dialogs) delete dialog.data();
  }

  AudioDocument* open(const QString& path) { return openDocument(controller, path); }
  // The opened document once its load has ended.
  AudioDocument* openLoaded(const QString& path) {
    AudioDocument* document = open(path);
    EXPECT_TRUE(document && waitUntilIdle(*document));
    return document;
  }
  bool waitUntilSaved(const AudioDocument& document) {
    return QTest::qWaitFor([&] { return !document.isSaving() && !document.model().jobs().busy(); }, 20000);
  }
  SavePanel* savePanel(const AudioDocument& document) {
    return waitForDialog<SavePanel>(document.windowForSheet(), QStringLiteral("savePanel"));
  }

  QTemporaryDir folder;
  AudioDocumentController controller;
};

} // namespace DocumentTestSupport
