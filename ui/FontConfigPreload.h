#pragma once

// The system's font configuration (fontconfig: its configuration files and
// the list of every installed font) is read the first time a program
// measures or draws text, and that is most of a window program's start:
// three times the work of making the panel's window and filling its rows.
// start() reads it on a thread of its own, once the application object has
// set the locale and the environment it is read with, while the window is
// being made and filled on the main thread; wait() holds the first text
// measured until it is read, so that it is not read a second time beside the
// thread. Without start(), or in a build without fontconfig, reading() is
// false and wait() returns at once.
namespace FontConfigPreload {

void start();
bool reading();
void wait();

} // namespace FontConfigPreload
