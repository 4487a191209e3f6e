#pragma once

#include <QString>
#include <QStringList>

// One take as the log keeps it.
struct TakeEntry
{
    QString source; // TakeOrigin::name
    QString client; // the requester's address for HTTP and OSC
    int row = 0;    // counted from 1, as the panel numbers its rows
    QString output;
    QString input;
    QString command;      // as stored in the file, escapes undecoded
    QString link;         // "serial COM1 (/dev/ttyS0) 9600,n,8,1", "tcp 10.0.0.5:3001"
    QStringList failures; // each failed attempt's reason, in order
    int attempts = 0;
    QString outcome;      // "sent", "failed" or "cancelled"
    qint64 startedAt = 0; // ms since the epoch, UTC
    qint64 durationMs = 0;
};
