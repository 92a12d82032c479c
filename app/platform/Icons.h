// The project's own icons, looked up by symbol name ("waveform", "play.fill", ...): SVGs in
// the resource folder app/resources/icons. GUI thread only.
#pragma once

#include <QColor>
#include <QIcon>
#include <QString>

namespace Icons {

// The icon named `name`; a null icon when the project has no such icon.
QIcon get(const QString& name);
// The icon named `name` drawn in `color` instead of the black of its SVG, at the usual icon
// sizes for one and two device pixels per point; a null icon when the project has no such icon.
QIcon tinted(const QString& name, const QColor& color);

} // namespace Icons
