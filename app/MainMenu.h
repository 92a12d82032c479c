// MainMenu: the menu bar of the application's windows: File (New, Open…, Open Recent, Close,
// Save, Save As…, Export Selection…, Revert to Saved, Quit Quarnel) and Help (Quarnel
// Shortcuts). A document window's items act on its document; the window shown while no
// document is open has its document items disabled. GUI thread only.
#pragma once

class AudioDocument;
class QMenuBar;

namespace MainMenu {

// Fills `bar`; `document` is the window's document, or null for the no-document window.
void build(QMenuBar* bar, AudioDocument* document);

} // namespace MainMenu
