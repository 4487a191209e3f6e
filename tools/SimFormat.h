#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

enum class SimLink
{
    Tcp,
    Udp,
    Serial,
};

// The simulator's output lines. Each line is one event, so a log can be
// followed with tail -f and checked by scripts:
//   2026-12-07 09:15:02.481 tcp 8 bytes: SW 3 1\r\n
//   2026-12-07 09:15:03.020 tcp 2 bytes, then reset by the peer: SW
//   2026-12-07 09:15:04.112 udp [listening on 127.0.0.1:3001]
namespace SimFormat {

QString LinkName(SimLink link);

// Bytes made readable on one line (VantrelText::Readable), the notation
// vantrelctl shows commands in as well.
QString Readable(const QByteArray &bytes);

QString Timestamp(const QDateTime &when);

// A received command. reset: the peer reset the connection after sending.
QString CommandLine(const QDateTime &when, SimLink link, const QByteArray &bytes, bool reset);

// Anything else worth telling (listening, a connection reset on purpose...).
QString NoteLine(const QDateTime &when, SimLink link, const QString &text);

} // namespace SimFormat
