// Big files: how start-up, Close and peak memory of both programs grow with
// the number of outputs (10 inputs each, 200-character commands; 30,000
// outputs is a file of about 72 MB). Each program is started in a folder
// holding the file, driven through VANTREL_TEST_DRIVER: start-up runs until
// it says "ready" (its window shown and its event loop running), Close from
// the press of Close until the process has ended, which includes writing the
// file and the exit. Close is set beside dd writing the same bytes with
// conv=fsync, run in turn with the programs so drift touches all alike. The
// "file changed" run presses Close after another program appended a line to
// the file, so the panel reads the newer file and merges into it (the
// editor finds the loaded outputs, inputs and commands in it); "command
// changed" changes the file's first command instead, so the editor merges
// output by output into the writing; the "in
// place" run gives the file a second name first, so the panel writes it in
// place instead of replacing it. All of it offscreen and then on a real
// display (Xvfb), each figure named for its platform.
//
// A second table measures the model in this process: the heap it holds per
// output (beside the file's bytes per output), and the time to load it, to
// read the file's fingerprint (which Close does before it saves), to save it
// and to destroy it (which the programs skip at their exit).
// Figures only: nothing here fails on timing.
#include "BenchConfig.h"
#include "BenchSupport.h"
#include "LineBlocks.h"
#include "VantrelFile.h"
#include "XServer.h"
#include "clsVantrelConfig.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocale>
#include <QTemporaryDir>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Run
{
    double startMs = 0;
    double closeMs = 0;
    double peakMiB = 0;
    bool ok = false;
};

// A program started with its standard input and output on pipes.
class Driven
{
public:
    Driven(const char *program, const std::string &folder)
    {
        int in[2], out[2];
        if (::pipe(in) != 0 || ::pipe(out) != 0)
            return;
        fPid = ::fork();
        if (fPid == 0) {
            ::dup2(in[0], STDIN_FILENO);
            ::dup2(out[1], STDOUT_FILENO);
            ::close(in[0]), ::close(in[1]), ::close(out[0]), ::close(out[1]);
            if (::chdir(folder.c_str()) != 0)
                ::_exit(126);
            ::execl(program, program, static_cast<char *>(nullptr));
            ::_exit(127);
        }
        ::close(in[0]);
        ::close(out[1]);
        fIn = in[1];
        fOut = out[0];
    }
    ~Driven()
    {
        if (fIn >= 0)
            ::close(fIn);
        if (fOut >= 0)
            ::close(fOut);
        if (fPid > 0 && !fEnded) {
            ::kill(fPid, SIGKILL);
            ::waitpid(fPid, nullptr, 0);
        }
    }
    Driven(const Driven &) = delete;
    Driven &operator=(const Driven &) = delete;

    // The next line the program says; empty when it says nothing for 60 s.
    std::string readLine()
    {
        std::string line;
        char c = 0;
        pollfd ready{fOut, POLLIN, 0};
        while (::poll(&ready, 1, 60000) == 1 && ::read(fOut, &c, 1) == 1 && c != '\n')
            line += c;
        return line;
    }
    void say(const std::string &line)
    {
        const std::string text = line + '\n';
        if (::write(fIn, text.data(), text.size()) != ssize_t(text.size()))
            std::fprintf(stderr, "the program did not take \"%s\"\n", line.c_str());
    }
    // Waits for the end; false unless it ended with status 0. peakMiB: its
    // largest resident size over its whole life.
    bool wait(double &peakMiB)
    {
        int status = 0;
        rusage usage{};
        fEnded = ::wait4(fPid, &status, 0, &usage) == fPid;
        peakMiB = double(usage.ru_maxrss) / 1024.0; // kibibytes on Linux
        return fEnded && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

private:
    pid_t fPid = -1;
    int fIn = -1;
    int fOut = -1;
    bool fEnded = false;
};

// How the file is changed between start-up and Close, as another program's
// save would change it: not at all, a line appended (the outputs, inputs
// and commands stay), or the first command changed.
enum class Change
{
    None,
    Appended,
    Command
};

void changeFile(const std::string &path, Change change)
{
    if (change == Change::Appended) {
        std::FILE *file = std::fopen(path.c_str(), "ab");
        std::fputs("\r\n", file);
        std::fclose(file);
    } else if (change == Change::Command) {
        std::FILE *file = std::fopen(path.c_str(), "r+b");
        char head[8192] = {};
        const size_t got = std::fread(head, 1, sizeof head - 1, file);
        if (const char *at = std::strstr(head, "command=")) {
            std::fseek(file, long(at - head) + 8, SEEK_SET);
            std::fputc(head[at - head + 8] == 'X' ? 'Y' : 'X', file);
        }
        std::fclose(file);
        (void)got;
    }
}

// Start-up, Close and peak of one program, the file changed before Close.
Run startAndClose(const char *program, const std::string &folder, Change change = Change::None)
{
    Run run;
    const Clock::time_point start = Clock::now();
    Driven driven(program, folder);
    const std::string first = driven.readLine();
    if (first != "ready") {
        std::fprintf(stderr, "%s said \"%s\" instead of ready\n", program, first.c_str());
        return run;
    }
    run.startMs = msSince(start);
    changeFile(folder + "/vantrel.ini", change);
    const Clock::time_point close = Clock::now();
    driven.say("click btnClose");
    const std::string answer = driven.readLine();
    run.ok = driven.wait(run.peakMiB) && answer == "ok";
    run.closeMs = msSince(close);
    if (!run.ok)
        std::fprintf(stderr, "%s: Close answered \"%s\"\n", program, answer.c_str());
    return run;
}

// The baseline of Close: the same bytes written to a new file and synced.
double ddCopy(const std::string &folder)
{
    const Clock::time_point start = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::chdir(folder.c_str()) != 0)
            ::_exit(126);
        ::execlp("dd", "dd", "if=vantrel.ini", "of=dd.out", "bs=64K", "conv=fsync", "status=none",
                 static_cast<char *>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return msSince(start);
}

struct Samples
{
    std::vector<double> startMs, closeMs, peakMiB;
    void add(const Run &run)
    {
        startMs.push_back(run.startMs);
        closeMs.push_back(run.closeMs);
        peakMiB.push_back(run.peakMiB);
    }
};

// "median (min-p90)"
std::string spread(const std::vector<double> &samples, int decimals)
{
    return Bench::number(Bench::median(samples), decimals) + " (" +
           Bench::number(Bench::percentile(samples, 0.0), decimals) + "-" +
           Bench::number(Bench::percentile(samples, 0.9), decimals) + ")";
}

// The memory the process holds resident. The load's text blocks are mapped
// on their own, outside the heap's accounting, so the heap alone would miss
// them; sizes grow from row to row, so each load lands on fresh pages.
size_t residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? size_t(fields[1].toULongLong()) * size_t(sysconf(_SC_PAGESIZE)) : 0;
}

// Writes the file from a child process. The system counts in a program's peak
// the size of the process it was forked from, so this one stays small while
// the programs run: no model of its own, and no copy of the file in memory.
bool writeConfig(int outputs, int inputs, int commandLength, const QString &path)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        VantrelFile::Save(Bench::makeConfig(outputs, inputs, commandLength), path);
        ::_exit(0);
    }
    int status = 0;
    return ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const bool quick = Bench::quickMode(argc, argv);
    const bool names = Bench::namesMode(argc, argv);
    std::vector<int> sizes =
        quick ? std::vector<int>{10, 1000} : std::vector<int>{10, 1000, 10000, 30000, 100000};
    // "--outputs N" measures one size only, with more rounds: for comparing
    // a change to the save path without the whole table.
    int rounds = 0;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--outputs") == 0) {
            sizes = {std::atoi(argv[i + 1])};
            rounds = 7;
        }
    }
    constexpr int kInputs = 10;
    constexpr int kCommandLength = 200;
    // Close against dd, and the peak against the file, for both programs.
    constexpr double kCloseTarget = 1.3;
    constexpr double kPeakTarget = 1.4;

    QTemporaryDir dir;
    if (!qEnvironmentVariableIsSet("XDG_RUNTIME_DIR"))
        ::setenv("XDG_RUNTIME_DIR", QFile::encodeName(dir.path()).constData(), 1);
    ::setenv("VANTREL_TEST_DRIVER", "1", 1);
    const QString path = dir.filePath(VantrelFile::kFileName);
    const std::string folder = QFile::encodeName(dir.path()).toStdString();

    // Offscreen, and on a real display (an Xvfb of the benchmark's own) when
    // one can be had, which adds its own work to Close and to the peak;
    // QT_QPA_PLATFORM set by the caller runs that one only.
    std::unique_ptr<Bench::XServer> x;
    std::vector<std::pair<std::string, std::string>> platforms; // label, QT_QPA_PLATFORM
    if (const QByteArray chosen = qgetenv("QT_QPA_PLATFORM"); !chosen.isEmpty()) {
        platforms.emplace_back(chosen.toStdString(), chosen.toStdString());
    } else {
        platforms.emplace_back("offscreen", "offscreen");
        if (!names)
            x = std::make_unique<Bench::XServer>();
        if (names || !x->display().empty())
            platforms.emplace_back("Xvfb", "xcb");
    }

    std::printf("big files: outputs of %d inputs, %d-character commands; median (min-p90) of "
                "the rounds\n",
                kInputs, kCommandLength);
    Bench::Table programs({"platform", "outputs", "file MiB", "program", "start-up ms", "Close ms",
                           "dd conv=fsync ms", "Close/dd", "peak MiB", "peak/file"});
    Bench::Table model({"outputs", "file bytes/output", "model bytes/output", "load ms",
                        "fingerprint ms", "format ms", "save ms", "destroy ms"});
    const QString original = dir.filePath(QStringLiteral("original.ini"));
    for (const auto &[label, qpa] : platforms) {
        ::setenv("QT_QPA_PLATFORM", qpa.c_str(), 1);
        if (x && qpa == "xcb")
            ::setenv("DISPLAY", x->display().c_str(), 1);
        for (const int outputs : sizes) {
            if (!names && (!writeConfig(outputs, kInputs, kCommandLength, path) ||
                           !QFile::copy(path, original)))
                return 1;
            const double fileMiB = double(QFileInfo(path).size()) / (1024.0 * 1024.0);
            const int sizeRounds = names              ? 0
                                   : rounds           ? rounds
                                   : quick            ? 1
                                   : outputs >= 30000 ? 3
                                                      : 5;

            // The programs, in turn with the baseline; the file is rewritten
            // by each Close with the same bytes, and restored after a changed
            // run.
            Samples panel, editor, merged, editorMerged, editorCommand, inPlace;
            std::vector<double> dd;
            bool ok = true;
            const QString secondName = dir.filePath(QStringLiteral("second-name.ini"));
            for (int r = 0; r < sizeRounds && ok; ++r) {
                const Run p = startAndClose(VANTREL_PANEL_PATH, folder);
                const Run e = startAndClose(VANTREL_EDITOR_PATH, folder);
                const Run m = startAndClose(VANTREL_PANEL_PATH, folder, Change::Appended);
                ok = QFile::remove(path) && QFile::copy(original, path);
                const Run em = startAndClose(VANTREL_EDITOR_PATH, folder, Change::Appended);
                ok = ok && QFile::remove(path) && QFile::copy(original, path);
                const Run ec = startAndClose(VANTREL_EDITOR_PATH, folder, Change::Command);
                ok = ok && QFile::remove(path) && QFile::copy(original, path);
                // A file with a second name is written in place, not replaced.
                ok = ok && ::link(QFile::encodeName(path).constData(),
                                  QFile::encodeName(secondName).constData()) == 0;
                const Run i = startAndClose(VANTREL_PANEL_PATH, folder);
                ok = ok && QFile::remove(secondName);
                dd.push_back(ddCopy(folder));
                ok = ok && p.ok && e.ok && m.ok && em.ok && ec.ok && i.ok;
                panel.add(p);
                editor.add(e);
                merged.add(m);
                editorMerged.add(em);
                editorCommand.add(ec);
                inPlace.add(i);
            }
            if (!ok)
                return 1;
            const auto row = [&](const char *name, const Samples &s, bool target) {
                const double closeRatio = Bench::median(s.closeMs) / Bench::median(dd);
                const double peakRatio = Bench::median(s.peakMiB) / fileMiB;
                programs.row({label, std::to_string(outputs), Bench::number(fileMiB, 1), name,
                              spread(s.startMs, 1), spread(s.closeMs, 1), spread(dd, 1),
                              Bench::ratio(closeRatio), Bench::number(Bench::median(s.peakMiB), 1),
                              Bench::ratio(peakRatio)});
                // The sizes where the file, not the programs' fixed start,
                // is most of the figure.
                if (outputs < 30000)
                    return;
                const std::string figure =
                    "(" + label + "): " + name + ", " +
                    QLocale(QLocale::English).toString(outputs).toStdString() + " outputs";
                Bench::record("Close " + figure + " / dd conv=fsync", closeRatio,
                              target ? kCloseTarget : 0, "x");
                Bench::record("peak " + figure + " / file", peakRatio, target ? kPeakTarget : 0,
                              "x");
            };
            row("panel", panel, true);
            row("panel, file changed", merged, false);
            row("panel, in place", inPlace, false);
            row("editor", editor, true);
            row("editor, file changed", editorMerged, false);
            row("editor, command changed", editorCommand, false);
            QFile::remove(original);
        }
    }
    if (names)
        return 0;

    // The model in this process, once the programs have run.
    for (const int outputs : sizes) {
        if (!writeConfig(outputs, kInputs, kCommandLength, path))
            return 1;
        QElapsedTimer timer;
        const size_t before = residentBytes();
        timer.start();
        auto loaded = VantrelFile::Load(path).config;
        const double loadMs = double(timer.nsecsElapsed()) / 1e6;
        const double bytes = double(qint64(residentBytes()) - qint64(before)) / outputs;
        timer.start();
        VantrelFile::ReadFingerprint(path);
        const double fingerprintMs = double(timer.nsecsElapsed()) / 1e6;
        // The formatting alone, into blocks that go nowhere: what of the save
        // is not the disk's.
        QFile discard(QStringLiteral("/dev/null"));
        discard.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
        timer.start();
        {
            LineBlocks blocks(discard);
            loaded->Serialize(&blocks);
            blocks.writeBlock();
        }
        const double formatMs = double(timer.nsecsElapsed()) / 1e6;
        timer.start();
        VantrelFile::Save(*loaded, path);
        const double saveMs = double(timer.nsecsElapsed()) / 1e6;
        timer.start();
        loaded.reset();
        const double destroyMs = double(timer.nsecsElapsed()) / 1e6;
        model.row(
            {std::to_string(outputs), Bench::number(double(QFileInfo(path).size()) / outputs, 0),
             Bench::number(bytes, 0), Bench::number(loadMs, 1), Bench::number(fingerprintMs, 1),
             Bench::number(formatMs, 1), Bench::number(saveMs, 1), Bench::number(destroyMs, 1)});
    }
    programs.print();
    std::printf("\nthe model in this process (one round)\n");
    model.print();
    return 0;
}
