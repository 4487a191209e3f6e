#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>

// The take log's copy in the system journal, with its fields as journal
// fields (VANTREL_ROW=3, VANTREL_SOURCE=key, ...), so that
// `journalctl VANTREL_ROW=3` finds a row's takes. Written with libsystemd's
// sd_journal_sendv rather than through Qt's logging: Qt's journal backend
// sends only the message, the priority and the code location, and only when
// Qt itself was built for it, and it would carry every qWarning() too.
// Sending may wait on the journal's socket, so only the log's own thread
// calls it.
class TakeJournal
{
public:
    // Whether this session has a journal to write to (its socket exists) and
    // the program was built with libsystemd.
    static bool available();
    // The journal's fields for an event: MESSAGE=, PRIORITY=,
    // SYSLOG_IDENTIFIER= and VANTREL_<KEY>= for each of the event's fields.
    static QList<QByteArray> fields(const QJsonObject &event, const QByteArray &identifier);
    // Syslog priority: 3 a failed save, 4 a failed take or a refused request,
    // 6 anything else.
    static int priority(const QJsonObject &event);
    static bool send(const QList<QByteArray> &fields);
};
