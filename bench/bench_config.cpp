// Load and save throughput of "vantrel.ini" beside a plain line-by-line read
// and write of the same bytes (stdio, no model, no checks). A save waits until
// its bytes are on the disk before the new file replaces the old one, so the
// write is also compared with the plain loop followed by the same wait.
// Figures only: nothing here fails on timing.
#include "BenchConfig.h"
#include "BenchSupport.h"
#include "VantrelFile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// The baseline reader: every line into one reused buffer.
qint64 plainRead(const QString &path)
{
    std::FILE *file = std::fopen(QFile::encodeName(path).constData(), "rb");
    char *line = nullptr;
    size_t capacity = 0;
    qint64 bytes = 0;
    ssize_t n;
    while ((n = ::getline(&line, &capacity, file)) > 0)
        bytes += n;
    std::free(line);
    std::fclose(file);
    return bytes;
}

std::vector<std::string> readLines(const QString &path)
{
    std::vector<std::string> lines;
    std::FILE *file = std::fopen(QFile::encodeName(path).constData(), "rb");
    char *line = nullptr;
    size_t capacity = 0;
    ssize_t n;
    while ((n = ::getline(&line, &capacity, file)) > 0)
        lines.emplace_back(line, size_t(n));
    std::free(line);
    std::fclose(file);
    return lines;
}

// The baseline writer; "flush" adds what every save does before it replaces
// the old file: wait until the bytes are on the disk.
void plainWrite(const QString &path, const std::vector<std::string> &lines, bool flush)
{
    std::FILE *file = std::fopen(QFile::encodeName(path).constData(), "wb");
    for (const std::string &line : lines)
        std::fwrite(line.data(), 1, line.size(), file);
    std::fflush(file);
    if (flush)
        ::fdatasync(::fileno(file));
    std::fclose(file);
}

template <typename F> double timeMs(F &&work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const bool quick = Bench::quickMode(argc, argv);
    QTemporaryDir dir;
    const QString path = dir.filePath(VantrelFile::kFileName);
    const QString plainPath = dir.filePath(QStringLiteral("plain.ini"));

    struct Case
    {
        const char *name;
        int outputs;
        int inputs;
        int commandLength;
        int rounds;
    };
    const Case cases[] = {{"16 x 64", 16, 64, 12, 50},
                          {"30,000 x 10, 200-character commands", 30000, 10, 200, 3}};

    std::printf("load and save of vantrel.ini beside a plain line loop (median ms, MB/s)\n");
    Bench::Table table({"file", "MB", "load", "plain read", "load/plain", "save", "plain write",
                        "save/plain", "write+flush", "save/(write+flush)"});
    for (const Case &c : cases) {
        const clsVantrelConfig config = Bench::makeConfig(c.outputs, c.inputs, c.commandLength);
        VantrelFile::Save(config, path);
        const std::vector<std::string> lines = readLines(path);
        const double mb = double(QFileInfo(path).size()) / 1e6;
        const int rounds = quick ? 1 : c.rounds;

        std::vector<double> loads, reads, saves, writes, flushed;
        for (int r = 0; r < rounds; ++r) {
            VantrelFile::LoadResult loaded;
            loads.push_back(timeMs([&] { loaded = VantrelFile::Load(path); }));
            loaded = {}; // the model is dropped outside the timing
            reads.push_back(timeMs([&] { plainRead(path); }));
            saves.push_back(timeMs([&] { VantrelFile::Save(config, path); }));
            writes.push_back(timeMs([&] { plainWrite(plainPath, lines, false); }));
            flushed.push_back(timeMs([&] { plainWrite(plainPath, lines, true); }));
        }
        const double load = Bench::median(loads), read = Bench::median(reads);
        const double save = Bench::median(saves), write = Bench::median(writes);
        const double synced = Bench::median(flushed);
        const auto rate = [mb](double ms) {
            return Bench::number(mb / (ms / 1e3), 0) + " MB/s";
        };
        table.row({c.name, Bench::number(mb, 1), Bench::number(load, 2) + " (" + rate(load) + ")",
                   Bench::number(read, 2) + " (" + rate(read) + ")", Bench::ratio(load / read),
                   Bench::number(save, 2) + " (" + rate(save) + ")",
                   Bench::number(write, 2) + " (" + rate(write) + ")", Bench::ratio(save / write),
                   Bench::number(synced, 2), Bench::ratio(save / synced)});
    }
    table.print();
    std::printf("target: load and save at least half the plain loop's speed (ratio <= 2.00)\n");
    return 0;
}
