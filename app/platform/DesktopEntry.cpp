#include "platform/DesktopEntry.h"

#include <map>
#include <set>

#include "io/AudioDecoder.h"

namespace DesktopEntry {

namespace {

// The shared MIME database's types for each extension (with the aliases desktops still use),
// and conventional names where the database has none (caf, rf64, w64, tak, eac3).
const std::map<QString, QStringList>& mimeTable() {
  static const std::map<QString, QStringList> table{
      {"3gp", {"video/3gpp", "audio/3gpp"}},
      {"aac", {"audio/aac"}},
      {"ac3", {"audio/ac3"}},
      {"adts", {"audio/aac"}},
      {"aif", {"audio/x-aiff"}},
      {"aifc", {"audio/x-aifc"}},
      {"aiff", {"audio/x-aiff"}},
      {"amr", {"audio/AMR"}},
      {"ape", {"audio/x-ape"}},
      {"asf", {"application/vnd.ms-asf", "video/x-ms-asf"}},
      {"au", {"audio/basic"}},
      {"bwf", {"audio/x-wav"}},
      {"caf", {"audio/x-caf"}},
      {"dff", {"audio/x-dff"}},
      {"dsf", {"audio/x-dsf"}},
      {"dts", {"audio/vnd.dts"}},
      {"eac3", {"audio/eac3"}},
      {"flac", {"audio/flac", "audio/x-flac"}},
      {"m4a", {"audio/mp4", "audio/x-m4a"}},
      {"m4b", {"audio/x-m4b"}},
      {"m4v", {"video/mp4", "video/x-m4v"}},
      {"mka", {"audio/x-matroska"}},
      {"mkv", {"video/x-matroska"}},
      {"mov", {"video/quicktime"}},
      {"mp2", {"audio/mp2"}},
      {"mp3", {"audio/mpeg", "audio/mp3"}},
      {"mp4", {"video/mp4", "audio/mp4"}},
      {"mpc", {"audio/x-musepack"}},
      {"oga", {"audio/ogg", "audio/x-vorbis+ogg", "audio/x-flac+ogg", "audio/x-speex+ogg"}},
      {"ogg", {"audio/ogg", "audio/x-vorbis+ogg", "audio/x-flac+ogg", "audio/x-speex+ogg", "video/ogg"}},
      {"opus", {"audio/ogg", "audio/x-opus+ogg"}},
      {"ra", {"audio/vnd.rn-realaudio"}},
      {"rf64", {"audio/x-rf64"}},
      {"rm", {"application/vnd.rn-realmedia"}},
      {"shn", {"application/x-shorten"}},
      {"snd", {"audio/basic"}},
      {"spx", {"audio/x-speex+ogg", "audio/x-speex"}},
      {"tak", {"audio/x-tak"}},
      {"tta", {"audio/x-tta"}},
      {"voc", {"audio/x-voc"}},
      {"w64", {"audio/x-w64"}},
      {"wav", {"audio/x-wav", "audio/wav", "audio/vnd.wave"}},
      {"wave", {"audio/x-wav"}},
      {"webm", {"video/webm", "audio/webm"}},
      {"wma", {"audio/x-ms-wma"}},
      {"wv", {"audio/x-wavpack"}},
  };
  return table;
}

} // namespace

QStringList openedExtensions() {
  QStringList extensions;
  for (const std::string& extension : quar::AudioDecoder::fileExtensions(true))
    extensions << QString::fromStdString(extension);
  return extensions;
}

QStringList mimeTypesForExtension(const QString& extension) {
  const auto found = mimeTable().find(extension);
  return found == mimeTable().end() ? QStringList() : found->second;
}

QStringList mimeTypes() {
  std::set<QString> types;
  for (const QString& extension : openedExtensions())
    for (const QString& type : mimeTypesForExtension(extension)) types.insert(type);
  return {types.begin(), types.end()};
}

QString text() {
  const QString id = QString::fromUtf16(identifier);
  return QStringLiteral("[Desktop Entry]\n"
                        "Type=Application\n"
                        "Name=Quarnel\n"
                        "GenericName=Audio Editor\n"
                        "Comment=Record, edit and export audio files\n"
                        "Exec=quarnel %F\n"
                        "Icon=%1\n"
                        "Terminal=false\n"
                        "Categories=AudioVideo;Audio;AudioVideoEditing;\n"
                        "Keywords=audio;sound;waveform;recording;editor;\n"
                        "MimeType=%2;\n")
      .arg(id, mimeTypes().join(QLatin1Char(';')));
}

} // namespace DesktopEntry
