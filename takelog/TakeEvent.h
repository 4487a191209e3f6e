#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <variant>

// One line of the take log: its kind, the moment it happened, and named
// fields in the order they were added, so that the raw line reads time,
// event, then the rest. Made on the thread that saw the event and written on
// the log's own thread: the time is formatted there, off the window's path.
class TakeEvent
{
public:
    using Value = std::variant<QString, qint64, QStringList>;

    explicit TakeEvent(const QString &kind, qint64 msecsSinceEpoch = -1);

    TakeEvent &add(QLatin1String key, const QString &value);
    TakeEvent &add(QLatin1String key, qint64 value);
    TakeEvent &add(QLatin1String key, const QStringList &value);

    const QString &kind() const { return fKind; }
    qint64 time() const { return fTime; }

    // {"time":...,"event":...,...} and a line feed. The time is local, ISO
    // 8601 with milliseconds and the offset from UTC.
    QByteArray toJsonLine() const;
    static QString localTime(qint64 msecsSinceEpoch);
    // A JSON string literal, quotes included.
    static QByteArray quoted(const QString &text);

private:
    struct Field
    {
        QLatin1String key;
        Value value;
    };
    QString fKind;
    qint64 fTime;
    QList<Field> fFields;
};
