#include "FontPreload.h"

#include <QFontDatabase>
#include <future>

namespace FontPreload {

namespace {

// Started and waited for on the main thread only. A text measured before
// wait() still finds a whole database: Qt fills it under its own lock.
std::future<void> &pending()
{
    static std::future<void> reading;
    return reading;
}

} // namespace

void start()
{
    if (!pending().valid())
        pending() = std::async(std::launch::async, [] { QFontDatabase::families(); });
}

bool reading()
{
    return pending().valid();
}

void wait()
{
    if (pending().valid())
        pending().get();
}

} // namespace FontPreload
