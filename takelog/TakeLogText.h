#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

// The take log's events as an engineer reads them: one line per event, and
// for a take with failed attempts one more line per failure. vantrelctl log
// prints them; the journal's MESSAGE= is the first line.
class TakeLogText
{
public:
    // "2026-03-14 20:05:31.042+01:00  take  row 3 "Proj" <- "Cam 2": sent in 12 ms, mouse,
    // tcp 10.0.0.5:3001, command SW 3 4\r\n"
    static QString line(const QJsonObject &event);
    // "attempt 1: Connection refused", one per failed attempt, oldest first.
    static QStringList failures(const QJsonObject &event);
};
