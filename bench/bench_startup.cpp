// Start-up, from process start to the first paint of the window, and peak
// memory: the panel with a 16 x 64 configuration beside a minimal window with
// the panel's 16 rows as text buttons, and the editor with 30,000 outputs x
// 10 inputs beside a plain program reading the same file with a line loop
// into a QListWidget. Further plain programs, each adding one thing to the
// one before, measure what the explanations in the README say: the fonts any
// text loads, the rows' lists of 64 inputs, the network and serial
// libraries, the pictures made as the panel makes them, and the same
// pictures read from PNG files at run time.
//
// All run with VANTREL_EXIT_WHEN_SHOWN, which ends them right after their
// first paint has reached the screen, and take turns round by round, so
// drift on the machine touches them alike, each after the display has
// settled from the one before. On both platforms, under X when Xvfb is
// installed (the benchmark starts one) and offscreen, each figure named for
// its platform; QT_QPA_PLATFORM set by the caller runs that one only.
#include "BenchConfig.h"
#include "BenchSupport.h"
#include "VantrelFile.h"
#include "XServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
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
Run launch(const char *program, const std::string &folder, const std::vector<const char *> &args)
{
    std::vector<char *> argv{const_cast<char *>(program)};
    for (const char *arg : args)
        argv.push_back(const_cast<char *>(arg));
    argv.push_back(nullptr);
    const Clock::time_point start = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::chdir(folder.c_str()) != 0)
            ::_exit(126);
        // The probe ends the panel without releasing its lock: a start finds
        // none, as after a panel that was closed.
        ::unlink("vantrel.ini.lock");
        ::execv(program, argv.data());
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

struct Program
{
    const char *name;
    const char *path;
    std::vector<const char *> args;
    const std::string *folder;
    Bench::Series ms, mib;
};

} // namespace

// Each start waits this long after the one before has ended. An X server
// tears an ended client down after the client has gone, so a start right
// after another would wait for that and measure the previous program too;
// a user starts the panel on a display that has settled.
constexpr auto kSettle = std::chrono::milliseconds(300);

struct Platform
{
    std::string label; // in the figures' names
    std::string qpa;   // QT_QPA_PLATFORM
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const bool names = Bench::namesMode(argc, argv);
    const bool quick = Bench::quickMode(argc, argv);
    const int rounds = names ? 0 : quick ? 1 : 12;
    // The quick run only shows that the programs start.
    const auto settle = quick ? std::chrono::milliseconds(0) : kSettle;
    QTemporaryDir dir;
    const QString panelPath = dir.filePath(QStringLiteral("panel"));
    const QString editorPath = dir.filePath(QStringLiteral("editor"));
    QDir().mkpath(panelPath);
    QDir().mkpath(editorPath);
    // Written by a child: a process started from this one counts this one's
    // memory at the start towards its peak, which must stay small.
    if (names) {
    } else if (const pid_t writer = ::fork(); writer == 0) {
        VantrelFile::Save(Bench::makeConfig(16, 64),
                          QDir(panelPath).filePath(VantrelFile::kFileName));
        VantrelFile::Save(Bench::makeConfig(30000, 10),
                          QDir(editorPath).filePath(VantrelFile::kFileName));
        ::_exit(0);
    } else if (int status = 0; ::waitpid(writer, &status, 0) != writer || status != 0) {
        return 1;
    }
    const std::string panelFolder = QFile::encodeName(panelPath).toStdString();
    const std::string editorFolder = QFile::encodeName(editorPath).toStdString();

    ::setenv("VANTREL_EXIT_WHEN_SHOWN", "1", 1);
    if (!qEnvironmentVariableIsSet("XDG_RUNTIME_DIR"))
        ::setenv("XDG_RUNTIME_DIR", QFile::encodeName(dir.path()).constData(), 1);
    // Both platforms, each figure named for its own, unless the caller
    // chose one; a display of the benchmark's own when Xvfb is installed.
    std::unique_ptr<Bench::XServer> x;
    std::vector<Platform> platforms;
    if (const QByteArray chosen = qgetenv("QT_QPA_PLATFORM"); !chosen.isEmpty()) {
        platforms.push_back({chosen.toStdString(), chosen.toStdString()});
    } else {
        if (!names)
            x = std::make_unique<Bench::XServer>();
        if (names || !x->display().empty())
            platforms.push_back({"Xvfb", "xcb"});
        platforms.push_back({"offscreen", "offscreen"});
    }

    for (const Platform &platform : platforms) {
        ::setenv("QT_QPA_PLATFORM", platform.qpa.c_str(), 1);
        if (x && platform.qpa == "xcb")
            ::setenv("DISPLAY", x->display().c_str(), 1);
        Program programs[] = {
            {"panel", VANTREL_PANEL_PATH, {}, &panelFolder, {}, {}},
            {"blank window", VANTREL_MINIMAL_PATH, {}, &panelFolder, {}, {}},
            {"a line of text", VANTREL_MINIMAL_PATH, {"--text"}, &panelFolder, {}, {}},
            {"16 rows", VANTREL_MINIMAL_PATH, {"--rows"}, &panelFolder, {}, {}},
            {"16 rows + lists", VANTREL_MINIMAL_PATH, {"--rows", "--lists"}, &panelFolder, {}, {}},
            {"16 rows + libraries", VANTREL_MINIMAL_LINKS_PATH, {"--rows"}, &panelFolder, {}, {}},
            {"16 rows + pictures",
             VANTREL_MINIMAL_PATH,
             {"--rows", "--pictures"},
             &panelFolder,
             {},
             {}},
            {"16 rows + PNG pictures",
             VANTREL_MINIMAL_PATH,
             {"--rows", "--png-pictures"},
             &panelFolder,
             {},
             {}},
            {"editor", VANTREL_EDITOR_PATH, {}, &editorFolder, {}, {}},
            {"line loop + list", VANTREL_LIST_PATH, {}, &editorFolder, {}, {}},
        };
        // One start of each first, so all find their libraries in the page
        // cache.
        if (!names && !quick)
            for (const Program &p : programs)
                launch(p.path, *p.folder, p.args);
        for (int r = 0; r < rounds; ++r) {
            for (Program &p : programs) {
                std::this_thread::sleep_for(settle);
                Run run = launch(p.path, *p.folder, p.args);
                // On a shared machine something else may end the X server: a
                // new one, and the start again.
                if (!run.ok && x && platform.qpa == "xcb" && !x->alive()) {
                    std::fprintf(stderr, "the X server ended; starting another\n");
                    x = std::make_unique<Bench::XServer>();
                    ::setenv("DISPLAY", x->display().c_str(), 1);
                    std::this_thread::sleep_for(settle);
                    run = launch(p.path, *p.folder, p.args);
                }
                if (!run.ok)
                    return 1;
                p.ms.add(run.ms);
                p.mib.add(run.peakMiB);
            }
        }
        const auto find = [&programs](const char *name) -> const Program & {
            for (const Program &p : programs)
                if (std::strcmp(p.name, name) == 0)
                    return p;
            std::abort();
        };

        const std::string where = platform.qpa == "xcb" && x
                                      ? "xcb, under the benchmark's own Xvfb " + x->display()
                                      : platform.qpa;
        std::printf("start-up to the first paint, platform %s, %d rounds, %lld ms idle before "
                    "each start\n",
                    where.c_str(), rounds, static_cast<long long>(settle.count()));
        for (const bool memory : {false, true}) {
            const auto series = [memory](const Program &p) {
                return memory ? p.mib : p.ms;
            };
            const std::string unit = memory ? "peak memory (MiB)" : "start-up (ms)";
            Bench::Comparison table(unit, "baseline", 1, memory ? "MiB" : "ms");
            const std::string kind =
                std::string(memory ? "memory" : "start-up") + " (" + platform.label + "): ";
            const auto row = [&](const char *program, const char *baseline, double target = 0) {
                table.row(kind + program + " / " + baseline, series(find(program)),
                          series(find(baseline)), target);
            };
            row("panel", "16 rows", memory ? 0 : 1.10);
            row("panel", "blank window");
            row("editor", "line loop + list", memory ? 0 : 1.25);
            row("a line of text", "blank window");
            row("16 rows", "a line of text");
            row("16 rows + lists", "16 rows");
            row("16 rows + libraries", "16 rows");
            row("16 rows + pictures", "16 rows");
            row("16 rows + PNG pictures", "16 rows + pictures");
            std::printf("\n");
            table.print();
        }
        std::printf("\n");
    }
    std::printf("(16 x 64 configuration for the panel and the plain windows, 30,000 outputs x 10 "
                "inputs, %.1f MB, for the editor and its baseline)\n",
                double(QFileInfo(QDir(editorPath).filePath(VantrelFile::kFileName)).size()) / 1e6);
    return 0;
}
