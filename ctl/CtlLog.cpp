#include "CtlLog.h"

#include "TakeLogFiles.h"
#include "TakeLogText.h"

#include <QCommandLineParser>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QThread>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace CtlLog {

namespace {

constexpr int kSuccess = 0;
constexpr int kFailure = 1;
constexpr int kBadUsage = 2;
// How often --follow looks for new lines.
constexpr unsigned long kFollowPollMs = 250;

struct Filter
{
    std::optional<qint64> since; // ms since the epoch
    std::optional<qint64> row;
    bool failed = false;

    bool accepts(const QJsonObject &event) const
    {
        if (since) {
            const QDateTime time = QDateTime::fromString(
                event.value(QLatin1String("time")).toString(), Qt::ISODateWithMs);
            if (!time.isValid() || time.toMSecsSinceEpoch() < *since)
                return false;
        }
        if (row && (!event.contains(QLatin1String("row")) ||
                    event.value(QLatin1String("row")).toInteger() != *row))
            return false;
        return !failed ||
               event.value(QLatin1String("outcome")).toString() == QLatin1String("failed");
    }
};

// Prints the events of complete lines in `data`, returning how many bytes
// it used (a last line without its line feed waits for the rest).
class Printer
{
public:
    Printer(const Filter &filter, bool json, QIODevice &out)
        : fFilter(filter), fJson(json), fOut(out)
    {}

    qsizetype print(const QByteArray &data)
    {
        qsizetype start = 0;
        QByteArray text;
        for (qsizetype end; (end = data.indexOf('\n', start)) >= 0; start = end + 1) {
            const QByteArray line = data.mid(start, end - start);
            const QJsonObject event = QJsonDocument::fromJson(line).object();
            if (event.isEmpty()) {
                ++fUnreadable;
                continue;
            }
            if (!fFilter.accepts(event))
                continue;
            if (fJson) {
                text += line + '\n';
                continue;
            }
            text += TakeLogText::line(event).toUtf8() + '\n';
            for (const QString &failure : TakeLogText::failures(event))
                text += "    " + failure.toUtf8() + '\n';
        }
        fOut.write(text);
        // Standard output is a stdio stream: --follow's lines must not wait
        // in its buffer.
        if (auto *file = qobject_cast<QFileDevice *>(&fOut))
            file->flush();
        return start;
    }

    int unreadable() const { return fUnreadable; }

private:
    const Filter &fFilter;
    bool fJson;
    QIODevice &fOut;
    int fUnreadable = 0;
};

QByteArray readAvailable(int fd)
{
    QByteArray data;
    char buffer[65536];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) != 0;) {
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            break;
        data.append(buffer, n);
    }
    return data;
}

// Like tail -f: prints what is added to take.log from offset on, and goes on
// in the new file when the old one is rotated away. Runs until the process
// is ended.
[[noreturn]] void follow(const QString &folder, qint64 offset, Printer &printer)
{
    const QByteArray path = TakeLogFiles::current(folder).toLocal8Bit();
    int fd = -1;
    QByteArray pending;
    for (;;) {
        if (fd < 0 && (fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC)) >= 0) {
            ::lseek(fd, offset, SEEK_SET);
            offset = 0;
        }
        if (fd >= 0) {
            pending += readAvailable(fd);
            pending.remove(0, printer.print(pending));
            struct stat open = {};
            struct stat named = {};
            if (::fstat(fd, &open) != 0 || ::stat(path.constData(), &named) != 0 ||
                open.st_ino != named.st_ino || open.st_dev != named.st_dev) {
                // Rotated away: the rest of the old file, then the new one.
                pending += readAvailable(fd);
                printer.print(pending);
                pending.clear();
                ::close(fd);
                fd = -1;
                continue;
            }
        }
        QThread::msleep(kFollowPollMs);
    }
}

} // namespace

std::optional<QDateTime> parseSince(const QString &text, const QDateTime &now)
{
    static const QRegularExpression kDuration(QStringLiteral("^(\\d{1,9})([smhd])$"));
    const QRegularExpressionMatch match = kDuration.match(text.trimmed());
    if (match.hasMatch()) {
        static const QString kUnits = QStringLiteral("smhd");
        static const qint64 kSeconds[] = {1, 60, 3600, 86400};
        const qint64 seconds =
            match.captured(1).toLongLong() * kSeconds[kUnits.indexOf(match.captured(2))];
        return now.addSecs(-seconds);
    }
    QDateTime time = QDateTime::fromString(text.trimmed(), Qt::ISODateWithMs);
    if (!time.isValid())
        time = QDateTime::fromString(text.trimmed(), Qt::ISODate);
    if (!time.isValid())
        return std::nullopt;
    return time;
}

int Run(const QCommandLineParser &parser, QIODevice &out, QIODevice &err)
{
    const auto usage = [&](const QString &message) {
        err.write(QStringLiteral("vantrelctl log: %1\nTry 'vantrelctl log --help'.\n")
                      .arg(message)
                      .toUtf8());
        return kBadUsage;
    };
    if (!parser.positionalArguments().isEmpty())
        return usage(QStringLiteral("log takes no arguments"));
    Filter filter;
    if (parser.isSet(QStringLiteral("since"))) {
        const QString since = parser.value(QStringLiteral("since"));
        const auto time = parseSince(since, QDateTime::currentDateTime());
        if (!time)
            return usage(QStringLiteral("--since takes a time such as 2026-03-14T20:00 or a "
                                        "duration such as 90s, 15m, 2h or 1d, not \"%1\"")
                             .arg(since));
        filter.since = time->toMSecsSinceEpoch();
    }
    if (parser.isSet(QStringLiteral("row"))) {
        bool isNumber = false;
        filter.row = parser.value(QStringLiteral("row")).toLongLong(&isNumber);
        if (!isNumber || *filter.row < 1)
            return usage(QStringLiteral("--row takes a row number from 1, not \"%1\"")
                             .arg(parser.value(QStringLiteral("row"))));
    }
    filter.failed = parser.isSet(QStringLiteral("failed"));

    const QString folder = TakeLogFiles::defaultFolder();
    const QStringList files = TakeLogFiles::existing(folder);
    Printer printer(filter, parser.isSet(QStringLiteral("json")), out);
    qint64 end = 0;
    for (const QString &path : files) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            err.write(QStringLiteral("vantrelctl log: cannot read %1: %2\n")
                          .arg(path, file.errorString())
                          .toUtf8());
            return kFailure;
        }
        const QByteArray data = file.readAll();
        const qsizetype used = printer.print(data);
        end = path == TakeLogFiles::current(folder) ? used : 0;
    }
    if (printer.unreadable() > 0)
        err.write(QStringLiteral("vantrelctl log: %1 line(s) were not events and were left out\n")
                      .arg(printer.unreadable())
                      .toUtf8());
    if (parser.isSet(QStringLiteral("follow")))
        follow(folder, end, printer);
    if (files.isEmpty())
        err.write(
            QStringLiteral("vantrelctl log: nothing is logged yet in %1\n").arg(folder).toUtf8());
    return kSuccess;
}

} // namespace CtlLog
