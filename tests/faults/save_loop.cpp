// Saves two large configurations to vantrel.ini in the working directory, one
// after the other, in a child process that runs until it is killed. The fault
// suite kills each child at a random moment and checks that the file is
// always one of the two, whole.
//
// Protocol on stdin/stdout: "ready" once the configurations are built; then
// each line read ("A" or "B": the configuration to save first) starts a child
// and answers its process id, and once the child has ended, "ended" and the
// signal that ended it. End of input ends the program. Building
// the configurations once and forking keeps forty kills quick even under the sanitizers, where a
// fresh start costs more than a second.
#include "LargeConfig.h"
#include "VantrelFile.h"

#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>

int main()
{
    const clsVantrelConfig configs[] = {largeConfig(QLatin1Char('A')),
                                        largeConfig(QLatin1Char('B'))};
    std::puts("ready");
    std::fflush(stdout);
    char line[64];
    while (std::fgets(line, sizeof line, stdin)) {
        const pid_t child = ::fork();
        if (child < 0)
            return 1;
        if (child == 0) {
            for (unsigned n = line[0] == 'B' ? 1 : 0;; ++n) {
                try {
                    VantrelFile::Save(configs[n % 2]);
                } catch (const VantrelError &e) {
                    std::fprintf(stderr, "save failed: %s\n", qPrintable(e.description()));
                    ::_exit(1);
                }
            }
        }
        std::printf("%d\n", int(child));
        std::fflush(stdout);
        int status = 0;
        ::waitpid(child, &status, 0);
        std::printf("ended %d\n", WIFSIGNALED(status) ? WTERMSIG(status) : 0);
        std::fflush(stdout);
    }
    return 0;
}
