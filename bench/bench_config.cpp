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
    const bool names = Bench::namesMode(argc, argv);
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

    std::printf("load and save of vantrel.ini beside a plain line loop, in turns round by round "
                "(ms)\n");
    Bench::Comparison table("vantrel", "plain loop", 2, "ms");
    std::vector<std::string> rates;
    for (const Case &c : cases) {
        clsVantrelConfig config;
        std::vector<std::string> lines;
        double mb = 0;
        if (!names) {
            config = Bench::makeConfig(c.outputs, c.inputs, c.commandLength);
            VantrelFile::Save(config, path);
            lines = readLines(path);
            mb = double(QFileInfo(path).size()) / 1e6;
        }
        const int rounds = names ? 0 : quick ? 1 : c.rounds;

        Bench::Series loads, reads, saves, writes, flushed;
        for (int r = 0; r < rounds; ++r) {
            VantrelFile::LoadResult loaded;
            loads.add(timeMs([&] { loaded = VantrelFile::Load(path); }));
            loaded = {}; // the model is dropped outside the timing
            reads.add(timeMs([&] { plainRead(path); }));
            saves.add(timeMs([&] { VantrelFile::Save(config, path); }));
            writes.add(timeMs([&] { plainWrite(plainPath, lines, false); }));
            flushed.add(timeMs([&] { plainWrite(plainPath, lines, true); }));
        }
        const std::string name = c.name;
        table.row("load, " + name + " / plain read", loads, reads, 2.0);
        table.row("save, " + name + " / plain write + flush", saves, flushed, 2.0);
        table.row("save, " + name + " / plain write", saves, writes);
        const auto rate = [mb](const Bench::Series &ms) {
            return Bench::number(mb / (ms.median() / 1e3), 0) + " MB/s";
        };
        rates.push_back(std::string(c.name) + " (" + Bench::number(mb, 1) + " MB): load " +
                        rate(loads) + ", plain read " + rate(reads) + ", save " + rate(saves) +
                        ", plain write + flush " + rate(flushed));
    }
    table.print();
    for (const std::string &line : rates)
        std::printf("%s\n", line.c_str());
    std::printf("target: load and save at least half the plain loop's speed (ratio <= 2.00)\n");
    return 0;
}
