#include "FontConfigPreload.h"

#ifdef VANTREL_HAVE_FONTCONFIG
#include <fontconfig/fontconfig.h>
#include <future>
#endif

namespace FontConfigPreload {

#ifdef VANTREL_HAVE_FONTCONFIG

namespace {

// Started and waited for on the main thread only. Fontconfig makes its
// configuration current with one atomic exchange, so a text measured by Qt
// before wait() still finds a whole configuration (read twice, then).
std::future<void> &pending()
{
    static std::future<void> reading;
    return reading;
}

} // namespace

void start()
{
    if (!pending().valid())
        pending() = std::async(std::launch::async, [] { FcInit(); });
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

#else

void start() {}
bool reading()
{
    return false;
}
void wait() {}

#endif

} // namespace FontConfigPreload
