// What the desktop gives every window: the application's identity for settings, the system
// beep (replaceable, so tests can count beeps), the check that a call runs on the GUI thread and
// how the process allocates and returns memory.
#pragma once

#include <functional>

namespace Platform {

// Sounds the beep through the current handler (QApplication::beep by default).
void beep();
// Replaces the beep handler; an empty function restores the default.
void setBeepHandler(std::function<void()> handler);

// Names the application for its preferences (organisation and application "Quarnel", INI files).
void configureApplication();

// Sets how the allocator gives memory back: the free top of every thread's heap goes back to the
// system once it reaches 2 MiB, whatever was allocated and freed before. Called once at start,
// before any audio is allocated.
void configureMemory();
// Gives the system every free page the allocator still holds inside its heaps: for after a
// document has gone or a job has ended. Any thread.
void returnFreedMemory();

// Stops the program when called off the GUI thread (or before the application exists).
void assertGuiThread();

} // namespace Platform
