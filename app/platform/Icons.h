// The project's own icons, looked up by symbol name ("waveform", "play.fill", ...): SVGs in
// the resource folder app/resources/icons. GUI thread only.
#pragma once

#include <QIcon>
#include <QString>

namespace Icons {

// The icon named `name`; a null icon when the project has no such icon.
QIcon get(const QString& name);

} // namespace Icons
