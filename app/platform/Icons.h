// The project's own icons, looked up by symbol name ("waveform", "play.fill", ...): SVGs in
// the resource folder app/resources/icons, drawn in black; `tinted` draws one in a single
// colour at any size and device-pixel ratio. GUI thread only.
#pragma once

#include <QColor>
#include <QIcon>
#include <QString>

namespace Icons {

// The icon named `name`; a null icon when the project has no such icon.
QIcon get(const QString& name);
// The icon named `name` in `color` (dimmed when disabled); without a valid colour, in the
// application palette's button text colour at drawing time. A null icon when there is none.
QIcon tinted(const QString& name, const QColor& color = {});

} // namespace Icons
