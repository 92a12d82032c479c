#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>

#include "AppTestSupport.h"
#include "effects/EditorTestSupport.h"
#include "io/AudioEncoder.h"
#include "sheets/ExportOptionsModel.h"
#include "sheets/ExportOptionsView.h"

using quar::EncodeSettings;
using quar::ExportFormat;

class ExportOptionsViewTest : public AppTest {
protected:
  QComboBox* menu(const char* name) const { return view->findChild<QComboBox*>(QString::fromUtf8(name)); }
  static QStringList items(const QComboBox* box) {
    QStringList texts;
    for (int i = 0; i < box->count(); ++i) texts << box->itemText(i);
    return texts;
  }
  // The menus shown, top to bottom.
  QStringList rows() const {
    QStringList shown;
    for (const char* name : {"formatMenu", "bitDepthMenu", "bitRateMenu", "sampleRateMenu", "ditherMenu"})
      if (menu(name)->isVisibleTo(view.get())) shown << QString::fromUtf8(name);
    return shown;
  }
  QStringList notes() const {
    QStringList texts;
    for (const QLabel* label : view->findChildren<QLabel*>(QStringLiteral("note")))
      if (label->isVisibleTo(view.get())) texts << label->text();
    return texts;
  }
  void choose(const char* name, const QString& item) {
    QComboBox* box = menu(name);
    const int index = box->findText(item);
    ASSERT_GE(index, 0) << item.toStdString();
    box->setCurrentIndex(index);
    Q_EMIT box->activated(index);
  }
  void savePicture(const QString& name) const {
    view->adjustSize();
    EditorTestSupport::savePicture(*view, name);
  }
  void make(EncodeSettings settings, double sourceRate, int channels) {
    model = std::make_unique<ExportOptionsModel>(settings.normalized(), sourceRate, channels, nullptr);
    view = std::make_unique<ExportOptionsView>(model.get());
    view->show();
  }

  std::unique_ptr<ExportOptionsModel> model;
  std::unique_ptr<ExportOptionsView> view;
};

TEST_F(ExportOptionsViewTest, FromWavToMP3TheRowsFollowTheFormat) {
  if (!quar::AudioEncoder::isAvailable(ExportFormat::mp3)) GTEST_SKIP() << "no MP3 encoder";
  make(EncodeSettings::defaults(ExportFormat::wav), 96000, 2);
  EXPECT_EQ(view->width(), 480);
  EXPECT_EQ(rows(), (QStringList{"formatMenu", "bitDepthMenu", "sampleRateMenu", "ditherMenu"}));
  EXPECT_EQ(menu("formatMenu")->currentText(), QStringLiteral("WAV"));
  EXPECT_EQ(items(menu("bitDepthMenu")), (QStringList{"16-bit", "24-bit", "32-bit", "32-bit float"}));
  EXPECT_EQ(menu("bitDepthMenu")->currentText(), QStringLiteral("24-bit"));
  EXPECT_EQ(items(menu("ditherMenu")), (QStringList{"None", "Triangular (TPDF)"}));
  EXPECT_EQ(menu("sampleRateMenu")->currentText(), QStringLiteral("Same as source (96 kHz)"));
  EXPECT_EQ(menu("sampleRateMenu")->count(), 9);
  EXPECT_TRUE(notes().isEmpty());
  savePicture(QStringLiteral("export-options-wav"));

  choose("formatMenu", QStringLiteral("MP3"));
  EXPECT_EQ(model->format(), ExportFormat::mp3);
  EXPECT_EQ(rows(), (QStringList{"formatMenu", "bitRateMenu", "sampleRateMenu"}));
  EXPECT_EQ(items(menu("bitRateMenu")),
            (QStringList{"96 kbps", "128 kbps", "160 kbps", "192 kbps", "224 kbps", "256 kbps", "320 kbps"}));
  EXPECT_EQ(menu("bitRateMenu")->currentText(), QStringLiteral("320 kbps"));
  EXPECT_EQ(items(menu("sampleRateMenu")), (QStringList{"Same as source (96 kHz)", "32 kHz", "44.1 kHz", "48 kHz"}));
  EXPECT_EQ(menu("sampleRateMenu")->currentIndex(), 0);
  EXPECT_EQ(notes(), (QStringList{QStringLiteral("MP3 doesn\u2019t support 96 kHz; audio will be resampled to 48 kHz."),
                                  QStringLiteral("Lossy format \u2014 some audio detail is discarded.")}));
  savePicture(QStringLiteral("export-options-mp3"));

  // An explicit rate: no resampling note.
  choose("sampleRateMenu", QStringLiteral("44.1 kHz"));
  EXPECT_EQ(model->settings().sampleRate, 44100);
  EXPECT_EQ(notes(), QStringList{QStringLiteral("Lossy format \u2014 some audio detail is discarded.")});
  choose("bitRateMenu", QStringLiteral("128 kbps"));
  EXPECT_EQ(model->settings().bitRateKbps, 128);
  choose("sampleRateMenu", QStringLiteral("Same as source (96 kHz)"));
  EXPECT_EQ(model->settings().sampleRate, std::nullopt);
}

TEST_F(ExportOptionsViewTest, DitherOnlyFor16And24BitSamples) {
  make(EncodeSettings::defaults(ExportFormat::wav), 48000, 2);
  choose("bitDepthMenu", QStringLiteral("32-bit"));
  EXPECT_EQ(model->settings().bitDepth, quar::PCMBitDepth::int32);
  EXPECT_FALSE(menu("ditherMenu")->isVisibleTo(view.get()));
  choose("bitDepthMenu", QStringLiteral("32-bit float"));
  EXPECT_FALSE(menu("ditherMenu")->isVisibleTo(view.get()));
  choose("bitDepthMenu", QStringLiteral("16-bit"));
  EXPECT_TRUE(menu("ditherMenu")->isVisibleTo(view.get()));
  choose("ditherMenu", QStringLiteral("None"));
  EXPECT_EQ(model->settings().dither, quar::DitherMode::none);
}

TEST_F(ExportOptionsViewTest, MenusOfTheOtherFormats) {
  make(EncodeSettings::defaults(ExportFormat::wav), 44100, 6);
  QStringList formats;
  for (const ExportFormat format : ExportOptionsModel::availableFormats())
    formats << QString::fromUtf8(std::string(quar::displayName(format)));
  EXPECT_EQ(items(menu("formatMenu")), formats);

  if (quar::AudioEncoder::isAvailable(ExportFormat::aac)) {
    model->setFormat(ExportFormat::aac);
    EXPECT_EQ(items(menu("sampleRateMenu")), (QStringList{"Same as source (44.1 kHz)", "22.1 kHz", "32 kHz", "44.1 kHz",
                                                          "48 kHz", "88.2 kHz", "96 kHz"}));
    EXPECT_EQ(rows(), (QStringList{"formatMenu", "bitRateMenu", "sampleRateMenu"}));
  }
  if (quar::AudioEncoder::isAvailable(ExportFormat::opus)) {
    model->setFormat(ExportFormat::opus);
    EXPECT_EQ(items(menu("sampleRateMenu")), (QStringList{"Same as source (44.1 kHz)", "48 kHz"}));
    EXPECT_EQ(notes().size(), 3);
    savePicture(QStringLiteral("export-options-opus-six-channels"));
  }
  model->setFormat(ExportFormat::alac);
  EXPECT_EQ(items(menu("bitDepthMenu")), (QStringList{"16-bit", "24-bit", "32-bit"}));
  EXPECT_TRUE(notes().isEmpty());
}
