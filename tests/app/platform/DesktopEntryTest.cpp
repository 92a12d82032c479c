#include <gtest/gtest.h>

#include <QMimeDatabase>

#include <algorithm>

#include <map>

#include "io/AudioDecoder.h"
#include "platform/DesktopEntry.h"

namespace {

// The entry's keys and values, and its first line.
std::map<QString, QString> keysOf(const QString& text, QString* group) {
  std::map<QString, QString> keys;
  QStringList lines = text.split(QLatin1Char('\n'));
  EXPECT_EQ(lines.takeLast(), QString()) << "the last line ends with a line feed";
  *group = lines.takeFirst();
  for (const QString& line : lines) {
    const qsizetype equals = line.indexOf(QLatin1Char('='));
    EXPECT_GT(equals, 0) << line.toStdString();
    EXPECT_TRUE(keys.emplace(line.left(equals), line.mid(equals + 1)).second) << line.toStdString();
  }
  return keys;
}

} // namespace

TEST(DesktopEntry, ListsEveryExtensionTheDecoderOpens) {
  const QStringList extensions = DesktopEntry::openedExtensions();
  for (const std::string& extension : quar::AudioDecoder::coreAudioExtensions())
    EXPECT_TRUE(extensions.contains(QString::fromStdString(extension))) << extension;
  for (const std::string_view extension : quar::AudioDecoder::ffmpegExtensions)
    EXPECT_TRUE(extensions.contains(QString::fromUtf8(extension.data(), qsizetype(extension.size())))) << extension;
  QStringList sorted = extensions;
  sorted.sort();
  sorted.removeDuplicates();
  EXPECT_EQ(extensions, sorted);
}

// Each extension has MIME types, among them every audio type the shared MIME database gives
// its files and at least one of any types it gives them.
TEST(DesktopEntry, EachOpenedExtensionHasTheMimeTypesTheDesktopGivesItsFiles) {
  const QMimeDatabase database;
  for (const QString& extension : DesktopEntry::openedExtensions()) {
    const QStringList ours = DesktopEntry::mimeTypesForExtension(extension);
    EXPECT_FALSE(ours.isEmpty()) << extension.toStdString();
    bool shared = false;
    bool known = false;
    for (const QMimeType& type : database.mimeTypesForFileName(QStringLiteral("file.") + extension)) {
      known = true;
      QStringList names = type.aliases();
      names << type.name();
      const bool listed = std::any_of(names.begin(), names.end(), [&](const QString& name) { return ours.contains(name); });
      shared = shared || listed;
      if (type.name().startsWith(QLatin1String("audio/"))) {
        EXPECT_TRUE(listed) << extension.toStdString() << ": " << type.name().toStdString();
      }
    }
    if (known) {
      EXPECT_TRUE(shared) << extension.toStdString();
    }
  }
  EXPECT_TRUE(DesktopEntry::mimeTypesForExtension(QStringLiteral("txt")).isEmpty());
}

TEST(DesktopEntry, StartsTheProgramWithTheChosenFilesForEveryTypeItOpens) {
  QString group;
  const std::map<QString, QString> keys = keysOf(DesktopEntry::text(), &group);
  EXPECT_EQ(group, QStringLiteral("[Desktop Entry]"));
  EXPECT_EQ(keys.at(QStringLiteral("Type")), QStringLiteral("Application"));
  EXPECT_EQ(keys.at(QStringLiteral("Name")), QStringLiteral("Quarnel"));
  EXPECT_EQ(keys.at(QStringLiteral("Exec")), QStringLiteral("quarnel %F"));
  EXPECT_EQ(keys.at(QStringLiteral("Icon")), QString::fromUtf16(DesktopEntry::identifier));
  EXPECT_EQ(keys.at(QStringLiteral("Categories")), QStringLiteral("AudioVideo;Audio;AudioVideoEditing;"));

  QStringList listed = keys.at(QStringLiteral("MimeType")).split(QLatin1Char(';'));
  EXPECT_EQ(listed.takeLast(), QString());
  EXPECT_EQ(listed, DesktopEntry::mimeTypes());
  for (const QString& extension : DesktopEntry::openedExtensions())
    for (const QString& type : DesktopEntry::mimeTypesForExtension(extension))
      EXPECT_TRUE(listed.contains(type)) << extension.toStdString() << ": " << type.toStdString();
  for (const char* type : {"audio/x-wav", "audio/x-aiff", "audio/x-caf", "audio/flac", "audio/mpeg", "audio/mp4",
                           "audio/aac", "audio/ogg", "audio/x-opus+ogg"})
    EXPECT_TRUE(listed.contains(QLatin1String(type))) << type;
}
