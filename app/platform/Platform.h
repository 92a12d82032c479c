// What the desktop gives every window: the application's identity for settings, the system
// beep (replaceable, so tests can count beeps) and the check that a call runs on the GUI thread.
#pragma once

#include <functional>

namespace Platform {

// Sounds the beep through the current handler (QApplication::beep by default).
void beep();
// Replaces the beep handler; an empty function restores the default.
void setBeepHandler(std::function<void()> handler);

// Names the application for QSettings (organisation and application "Quarnel", INI files).
void configureApplication();

// Stops the program when called off the GUI thread (or before the application exists).
void assertGuiThread();

} // namespace Platform
