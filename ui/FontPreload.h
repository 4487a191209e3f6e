#pragma once

// The system's fonts (fontconfig's configuration files and its list of every
// installed font, then Qt's database of them) are read the first time a
// program measures or draws text, and that is most of a window program's
// start: three times the work of making the panel's window and filling its
// rows. start() reads them into Qt's font database on a thread of its own
// (its functions are thread-safe), once the application object exists, while
// the window is being made and filled on the main thread; wait() holds the
// first text measured until they are read, so that they are not read a
// second time beside the thread. Without start(), reading() is false and
// wait() returns at once.
namespace FontPreload {

void start();
bool reading();
void wait();

} // namespace FontPreload
