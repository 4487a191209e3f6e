// Start-up of the panel, from process start to its window shown, and its
// peak memory, with a 16 x 64 configuration; beside a minimal Qt Widgets
// program that shows one window, built the same way, and the same window
// with one line of text (which loads the fonts, as any window with text
// does). All run with
// VANTREL_EXIT_WHEN_SHOWN, which ends them right after their first paint, and
// are started alternately so drift on the machine touches both alike.
// Runs on the platform QT_QPA_PLATFORM names, offscreen when unset.
#include "BenchConfig.h"
#include "BenchSupport.h"
#include "VantrelFile.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Run
{
    double ms = 0;
    double peakMiB = 0;
    bool ok = false;
};

// Starts the program in the folder and waits for it, giving up after 30 s.
Run launch(const char *program, const std::string &folder, const char *argument = nullptr)
{
    const Clock::time_point start = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::chdir(folder.c_str()) != 0)
            ::_exit(126);
        ::execl(program, program, argument, static_cast<char *>(nullptr));
        ::_exit(127);
    }
    Run run;
    int status = 0;
    rusage usage{};
    for (;;) {
        const pid_t ended = ::wait4(pid, &status, WNOHANG, &usage);
        if (ended == pid)
            break;
        if (Clock::now() - start > std::chrono::seconds(30)) {
            ::kill(pid, SIGKILL);
            ::wait4(pid, &status, 0, &usage);
            std::fprintf(stderr, "%s did not show its window within 30 s\n", program);
            return run;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    run.ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    run.peakMiB = double(usage.ru_maxrss) / 1024.0; // kibibytes on Linux
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!run.ok)
        std::fprintf(stderr, "%s ended with status %d\n", program, status);
    return run;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = Bench::quickMode(argc, argv) ? 1 : 15;
    QTemporaryDir dir;
    VantrelFile::Save(Bench::makeConfig(16, 64), dir.filePath(VantrelFile::kFileName));
    const std::string folder = QFile::encodeName(dir.path()).toStdString();

    ::setenv("VANTREL_EXIT_WHEN_SHOWN", "1", 1);
    if (!qEnvironmentVariableIsSet("XDG_RUNTIME_DIR"))
        ::setenv("XDG_RUNTIME_DIR", QFile::encodeName(dir.path()).constData(), 1);
    ::setenv("QT_QPA_PLATFORM",
             qEnvironmentVariable("QT_QPA_PLATFORM", QStringLiteral("offscreen"))
                 .toLocal8Bit()
                 .constData(),
             1);

    struct Program
    {
        const char *path;
        const char *argument;
        std::vector<double> ms, mib;
    };
    Program programs[] = {{VANTREL_PANEL_PATH, nullptr, {}, {}},
                          {VANTREL_MINIMAL_PATH, nullptr, {}, {}},
                          {VANTREL_MINIMAL_PATH, "--text", {}, {}}};
    // One start of each first, so all find the libraries in the page cache.
    for (const Program &p : programs)
        launch(p.path, folder, p.argument);
    for (int r = 0; r < rounds; ++r) {
        for (Program &p : programs) {
            const Run run = launch(p.path, folder, p.argument);
            if (!run.ok)
                return 1;
            p.ms.push_back(run.ms);
            p.mib.push_back(run.peakMiB);
        }
    }

    std::printf("start-up to the window shown, 16 x 64 configuration, platform %s (median of %d)\n",
                std::getenv("QT_QPA_PLATFORM"), rounds);
    Bench::Table table({"figure", "panel", "minimal window", "panel/minimal", "target",
                        "minimal with text", "panel/with text"});
    const auto row = [&](const char *name, std::vector<double> Program::*samples, int decimals,
                         const char *target) {
        const double panel = Bench::median(programs[0].*samples);
        const double minimal = Bench::median(programs[1].*samples);
        const double withText = Bench::median(programs[2].*samples);
        table.row({name, Bench::number(panel, decimals), Bench::number(minimal, decimals),
                   Bench::ratio(panel / minimal), target, Bench::number(withText, decimals),
                   Bench::ratio(panel / withText)});
    };
    row("start-up (ms)", &Program::ms, 1, "<= 1.30x");
    row("peak memory (MiB)", &Program::mib, 1, "<= 1.20x");
    table.print();
    return 0;
}
