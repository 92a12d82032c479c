#include <gtest/gtest.h>

#include <QLocale>
#include <QMessageBox>
#include <QPointer>

#include <algorithm>
#include <cmath>

#include "AppTestSupport.h"
#include "DocumentTestSupport.h"
#include "core/EnvelopeSet.h"
#include "document/AudioDocument.h"
#include "document/AudioDocumentController.h"
#include "io/AudioEncoder.h"
#include "sheets/ExportOptionsModel.h"
#include "support/Preferences.h"

using namespace DocumentTestSupport;
using quar::EncodeSettings;
using quar::ExportFormat;
using quar::PCMBitDepth;

// What a save or export says of the samples it clipped.
class AudioDocumentClippingTest : public AppTest {
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

  AudioDocument* openLoaded(const QString& path) {
    AudioDocument* opened = nullptr;
    controller.openDocumentWithContentsOfUrl(QUrl::fromLocalFile(path), true, [&](Document* document, std::exception_ptr) {
      opened = qobject_cast<AudioDocument*>(document);
    });
    EXPECT_TRUE(opened && waitUntilIdle(*opened));
    return opened;
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

// A save or export whose 24-bit samples clip at full scale says how many once it is done, in
// front of the window, or on its own when the document closes right after its save; the file
// is written as always. One that does not clip says nothing.
TEST_F(AudioDocumentClippingTest, ASaveOrExportThatClipsSaysHowManySamples) {
  const QString path = writeAudio(folder, QStringLiteral("tone.wav"), 4800);
  AudioDocument* document = openLoaded(path);
  ASSERT_TRUE(document);
  QWidget* window = document->windowForSheet();
  const auto clippingAlerts = [&] {
    QCoreApplication::sendPostedEvents();
    std::vector<QMessageBox*> alerts = visibleTopLevels<QMessageBox>(QStringLiteral("clippingAlert"));
    for (QMessageBox* alert : window->findChildren<QMessageBox*>(QStringLiteral("clippingAlert")))
      if (alert->isVisible()) alerts.push_back(alert);
    return alerts;
  };
  // Samples the 24-bit file holds at full scale.
  const auto fullScale = [](const QString& file) {
    int64_t count = 0;
    for (const auto& channel : samplesOf(file))
      count += std::count_if(channel.begin(), channel.end(), [](float x) { return std::fabs(x) >= 8388607.0f / 8388608; });
    return count;
  };
  const QString informative = QStringLiteral(
      "They were louder than full scale, which 24-bit integer samples can\u2019t hold, so they were saved at full scale. "
      "A 32-bit float format (WAV, AIFF or CAF) keeps them.");

  editGain(*document);
  document->saveDocument();
  ASSERT_TRUE(waitUntilSaved(*document));
  EXPECT_TRUE(clippingAlerts().empty());

  // A gain envelope lifts the peaks (about 0.51) to about +5 dBFS.
  document->model().setEnvelopes(quar::EnvelopeSet{quar::GainEnvelope({quar::EnvelopePoint(0, 17)}), {}, {}});
  document->saveDocument();
  ASSERT_TRUE(waitUntilSaved(*document));
  QMessageBox* alert = waitForDialog<QMessageBox>(window, QStringLiteral("clippingAlert"));
  ASSERT_TRUE(alert);
  const int64_t clipped = fullScale(path);
  ASSERT_GT(clipped, 1000);
  EXPECT_EQ(alert->text(), QStringLiteral("%1 samples were clipped in \u201Ctone.wav\u201D.").arg(QLocale().toString(clipped)));
  EXPECT_EQ(alert->informativeText(), informative);
  EXPECT_EQ(alert->icon(), QMessageBox::Information);
  EXPECT_EQ(alert->windowModality(), Qt::WindowModal);
  delete alert;

  // Export of the selection, through the panel's 24-bit WAV.
  Preferences::store(pcm(ExportFormat::wav, PCMBitDepth::int24));
  document->model().setSelection(quar::FrameRange(0, 2400));
  document->exportSelection();
  SavePanel* panel = savePanel(*document);
  ASSERT_TRUE(panel);
  const QString exported = folder.filePath(QStringLiteral("part.wav"));
  confirmPanel(panel, exported);
  ASSERT_TRUE(waitUntilIdle(*document));
  alert = waitForDialog<QMessageBox>(window, QStringLiteral("clippingAlert"));
  ASSERT_TRUE(alert);
  EXPECT_EQ(alert->text(),
            QStringLiteral("%1 samples were clipped in \u201Cpart.wav\u201D.").arg(QLocale().toString(fullScale(exported))));
  delete alert;

  // Save from the question on closing: the document and its window go, the count stays.
  edit(*document, quar::applyingGain(document->model().content(), 6.0, std::nullopt, std::nullopt));
  const QPointer<AudioDocument> guard(document);
  window->close();
  QMessageBox* question = waitForDialog<QMessageBox>(window, QStringLiteral("closeAlert"));
  ASSERT_TRUE(question);
  clickButton(question, QStringLiteral("Save"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !guard; }, 20000));
  alert = waitForDialog<QMessageBox>(nullptr, QStringLiteral("clippingAlert"));
  ASSERT_TRUE(alert);
  EXPECT_EQ(alert->windowModality(), Qt::ApplicationModal);
  EXPECT_EQ(alert->text(), QStringLiteral("%1 samples were clipped in \u201Ctone.wav\u201D.").arg(QLocale().toString(fullScale(path))));
  delete alert;
}

// A float file boosted beyond full scale, exported to MP3 or saved as 24-bit WAV through the
// panel, says it clipped exactly the samples beyond full scale, in the words of the format.
TEST_F(AudioDocumentClippingTest, ABoostedFloatFileSaysHowManySamplesMP3And24BitClipped) {
  if (!quar::AudioEncoder::isAvailable(ExportFormat::mp3)) GTEST_SKIP() << "no MP3 encoder library";
  const quar::AudioContent boosted = quar::applyingGain(signal(48000, 2, 48000), 7.0, std::nullopt, std::nullopt);
  int64_t beyond = 0;
  for (const auto& channel : boosted.readChannels(boosted.fullRange()))
    beyond += std::count_if(channel.begin(), channel.end(), [](float x) { return std::fabs(x) > 1; });
  ASSERT_GT(beyond, 1000);
  const QString path = folder.filePath(QStringLiteral("loud.wav"));
  quar::AudioEncoder::write(boosted, std::nullopt, path.toStdString(), pcm(ExportFormat::wav, PCMBitDepth::float32));
  AudioDocument* document = openLoaded(path);
  ASSERT_TRUE(document);
  QWidget* window = document->windowForSheet();

  struct Case {
    bool exporting;
    EncodeSettings settings;
    QString name;
    QString informative;
  };
  const Case cases[] = {
      {true, EncodeSettings::defaults(ExportFormat::mp3), QStringLiteral("loud.mp3"),
       QStringLiteral("They were louder than full scale, which the MP3 encoder can\u2019t hold, so they were saved at full "
                      "scale. A 32-bit float format (WAV, AIFF or CAF) keeps them.")},
      {false, pcm(ExportFormat::wav, PCMBitDepth::int24), QStringLiteral("loud24.wav"),
       QStringLiteral("They were louder than full scale, which 24-bit integer samples can\u2019t hold, so they were saved "
                      "at full scale. A 32-bit float format (WAV, AIFF or CAF) keeps them.")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name.toStdString());
    if (c.exporting)
      document->exportSelection();
    else
      document->saveDocumentAs();
    SavePanel* panel = savePanel(*document);
    ASSERT_TRUE(panel);
    auto* options = panel->findChild<ExportOptionsModel*>();
    options->setFormat(c.settings.format);
    options->setSettings(c.settings);
    confirmPanel(panel, folder.filePath(c.name));
    ASSERT_TRUE(waitUntilSaved(*document));
    QMessageBox* alert = waitForDialog<QMessageBox>(window, QStringLiteral("clippingAlert"));
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->text(), QStringLiteral("%1 samples were clipped in \u201C%2\u201D.").arg(QLocale().toString(beyond), c.name));
    EXPECT_EQ(alert->informativeText(), c.informative);
    delete alert;
  }
}
