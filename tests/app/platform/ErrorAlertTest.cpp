#include <gtest/gtest.h>

#include <QMessageBox>

#include "AppTestSupport.h"
#include "base/QuarError.h"
#include "platform/ErrorAlert.h"

using quar::QuarError;

namespace {

std::exception_ptr errorPointer(const QuarError& error) { return std::make_exception_ptr(error); }

} // namespace

TEST(ErrorAlertTest, LibraryLinesLoseAddressesAndRepeatsAndKeepTheEnd) {
  struct Case {
    QString text;
    QString lines;
  };
  const Case cases[] = {
      {QStringLiteral("[flac @ 0x5561a2b3c4d0] decode_frame() failed"), QStringLiteral("[flac] decode_frame() failed")},
      {QStringLiteral("ffmpeg: [flac @ 0x55] invalid residual\n[flac @ 0x55] decode_frame() failed\n"
                      "[flac @ 0x66] invalid residual\n[flac @ 0x66] decode_frame() failed\n\n"),
       QStringLiteral("ffmpeg: [flac] invalid residual\n[flac] invalid residual\n[flac] decode_frame() failed")},
      {QStringLiteral("one\ntwo\nthree\nfour\nfive"), QStringLiteral("three\nfour\nfive")},
      {QStringLiteral("  \n \n"), QString()},
      {QStringLiteral("[aac @ 0xdeadbeef] [mov @ 0x1f] nested"), QStringLiteral("[aac] [mov] nested")},
  };
  for (const Case& c : cases) EXPECT_EQ(ErrorAlert::libraryLines(c.text), c.lines) << c.text.toStdString();
}

TEST(ErrorAlertTest, TheSentenceQuotesNoLibraryAndTheDetailsHoldItsLastLines) {
  QString flood;
  for (int i = 0; i < 200; ++i)
    flood += QStringLiteral("[flac @ 0x5561ab%1] decode_frame() failed\n").arg(i % 7);
  flood += QStringLiteral("Error while decoding stream #0:0: Invalid data found when processing input\n");
  struct Case {
    QuarError error;
    QString informative;
    QString details;
  };
  const Case cases[] = {
      // Both decoders failed on a damaged file.
      {QuarError::decodeFailed("Native decode error (status 1685348671 'dta?') after 0 frames; ffmpeg: " + flood.toStdString()),
       QStringLiteral("The audio couldn\u2019t be read: the file is damaged or in a form that can\u2019t be decoded."),
       QStringLiteral("Native decode error (status 1685348671 'dta?') after 0 frames\nffmpeg: [flac] decode_frame() failed\n"
                      "Error while decoding stream #0:0: Invalid data found when processing input")},
      // No ffmpeg: the hint stays in the sentence.
      {QuarError::unsupportedFormat("The native reader can\u2019t open the file (status 1954115647 'typ?'); install ffmpeg "
                                    "to open more formats"),
       QStringLiteral("The file\u2019s format isn\u2019t supported. Install ffmpeg to open more formats."),
       QStringLiteral("The native reader can\u2019t open the file (status 1954115647 'typ?')")},
      {QuarError::decodeFailed("ffprobe: /music/x.wav: Invalid data found when processing input"),
       QStringLiteral("The audio couldn\u2019t be read: the file is damaged or in a form that can\u2019t be decoded."),
       QStringLiteral("ffprobe: /music/x.wav: Invalid data found when processing input")},
      // The kit's own words are shown as they are.
      {QuarError::decodeFailed("the file doesn\u2019t exist or can\u2019t be read"),
       QStringLiteral("Couldn\u2019t read the audio: the file doesn\u2019t exist or can\u2019t be read"), QString()},
      {QuarError::codecUnavailable("MP3 export needs the LAME library (libmp3lame)"),
       QStringLiteral("Codec unavailable: MP3 export needs the LAME library (libmp3lame)"), QString()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error.message());
    const ErrorAlert::AlertText text = ErrorAlert::alertText(errorPointer(c.error));
    EXPECT_EQ(text.informative, c.informative);
    EXPECT_EQ(text.details, c.details);
    EXPECT_FALSE(text.informative.contains(QStringLiteral("status")));
    EXPECT_FALSE(text.informative.contains(QStringLiteral("0x")));
  }
}

// The alert of a failed open: the heading names the file, the informative text says what failed,
// the details hold the library's last lines.
TEST_F(AppTest, AnErrorAlertKeepsLibraryOutputInItsDetails) {
  const auto error = errorPointer(QuarError::decodeFailed(
      "Native decode error (status 1685348671 'dta?') after 0 frames; ffmpeg: [mp3 @ 0x55aa] Header missing\n"
      "[mp3 @ 0x55aa] Header missing"));
  QMessageBox* box = ErrorAlert::show(nullptr, error, QStringLiteral("The file \u201Cx.mp3\u201D couldn\u2019t be opened."));
  ASSERT_TRUE(box);
  EXPECT_EQ(box->text(), QStringLiteral("The file \u201Cx.mp3\u201D couldn\u2019t be opened."));
  EXPECT_EQ(box->informativeText(),
            QStringLiteral("The audio couldn\u2019t be read: the file is damaged or in a form that can\u2019t be decoded."));
  EXPECT_EQ(box->detailedText(),
            QStringLiteral("Native decode error (status 1685348671 'dta?') after 0 frames\nffmpeg: [mp3] Header missing"));
  delete box;
}
