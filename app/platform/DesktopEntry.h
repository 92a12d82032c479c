// DesktopEntry: how the desktop knows the program: its application id (the desktop entry's and
// the icon's file name), the MIME types of the files it opens, and the text of its desktop
// entry file. Pure data and formatting; any thread.
#pragma once

#include <QString>
#include <QStringList>

namespace DesktopEntry {

// The reverse-DNS application id: "<id>.desktop", the icon "<id>.svg" and the window's app id.
inline constexpr char16_t identifier[] = u"org.quarnel.Quarnel";

// Every file extension the decoder opens, natively or with the FFmpeg tools, lower case and
// sorted, whether or not the tools are installed here.
QStringList openedExtensions();
// The MIME types that stand for files with this extension (lower case, no dot); none for an
// extension the program does not know.
QStringList mimeTypesForExtension(const QString& extension);
// The MIME types of every opened extension, sorted, each once.
QStringList mimeTypes();
// The desktop entry file: the program started with the chosen files (%F), its icon, its
// categories and the MIME types it opens.
QString text();

} // namespace DesktopEntry
