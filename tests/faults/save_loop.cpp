// Saves two large configurations to vantrel.ini in the working directory,
// one after the other, until it is killed. The fault suite kills it at random
// moments and checks that the file is always one of the two, whole.
#include "LargeConfig.h"
#include "VantrelFile.h"

#include <cstdio>

int main()
{
    const clsVantrelConfig configs[] = {largeConfig(QLatin1Char('B')),
                                        largeConfig(QLatin1Char('A'))};
    // Tells the suite that the saves start now, so its random delays fall
    // among them rather than into the start-up.
    std::fputs("ready\n", stdout);
    std::fflush(stdout);
    for (unsigned n = 0;; ++n) {
        try {
            VantrelFile::Save(configs[n % 2]);
        } catch (const VantrelError &e) {
            std::fprintf(stderr, "save failed: %s\n", qPrintable(e.description()));
            return 1;
        }
    }
}
