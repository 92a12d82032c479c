#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "io/ExportCodec.h"

using namespace quar;

TEST(ExportCodec, OneRecordPerCaseInCaseOrder) {
  const auto codecs = exportCodecs();
  ASSERT_EQ(codecs.size(), allCases<ExportFormat>().size());
  for (size_t i = 0; i < codecs.size(); ++i) {
    const ExportFormat format = allCases<ExportFormat>()[i];
    EXPECT_EQ(std::ranges::count(codecs, format, &ExportCodec::format), 1) << i;
    EXPECT_EQ(codecs[i].format, format) << i;
    EXPECT_EQ(&exportCodec(format), &codecs[i]) << i;
  }
}

// A file of each format, as the native reader or ffprobe describes it, is recognised as that
// format again: no record listed earlier takes its container, and the native writers write a
// file type they recognise.
TEST(ExportCodec, EveryFormatsFilesAreRecognisedAsIt) {
  using Writer = ExportCodec::Writer;
  for (const ExportCodec& codec : exportCodecs()) {
    SCOPED_TRACE(std::string(rawValue(codec.format)));
    EXPECT_EQ(codec.writer == Writer::pcmFile, isPCM(codec.format));
    if (codec.writer == Writer::pcmFile || codec.writer == Writer::codecFile) {
      EXPECT_NE(codec.layoutTag, nullptr);
      EXPECT_TRUE(std::ranges::find(codec.nativeFileTypes, codec.fileType) != codec.nativeFileTypes.end());
      EXPECT_EQ(exportFormatOfNativeFile(codec.fileType, codec.formatID), codec.format);
    }
    ASSERT_FALSE(codec.nativeFileTypes.empty());
    for (const uint32_t fileType : codec.nativeFileTypes)
      EXPECT_EQ(exportFormatOfNativeFile(fileType, codec.nativeCodec.value_or(codec.formatID)), codec.format);

    ASSERT_FALSE(codec.ffmpegFormats.empty());
    std::string codecName(codec.ffmpegCodec);
    if (codecName.ends_with('*')) codecName.back() = 'x';
    for (const std::string_view name : codec.ffmpegFormats)
      EXPECT_EQ(exportFormatOfProbedFile(std::span(&name, 1), codecName.empty() ? "any" : codecName), codec.format)
          << name;
  }
}
