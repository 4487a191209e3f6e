#include "SimFormat.h"

#include "VantrelText.h"

namespace SimFormat {

QString LinkName(SimLink link)
{
    switch (link) {
    case SimLink::Tcp:
        return QStringLiteral("tcp");
    case SimLink::Udp:
        return QStringLiteral("udp");
    case SimLink::Serial:
        return QStringLiteral("serial");
    }
    return QString();
}

QString Readable(const QByteArray &bytes)
{
    return VantrelText::Readable(bytes);
}

QString Timestamp(const QDateTime &when)
{
    return when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
}

QString CommandLine(const QDateTime &when, SimLink link, const QByteArray &bytes, bool reset)
{
    const QString count =
        bytes.size() == 1 ? QStringLiteral("1 byte") : QStringLiteral("%1 bytes").arg(bytes.size());
    const QString how = reset ? QStringLiteral(", then reset by the peer") : QString();
    return QStringLiteral("%1 %2 %3%4: %5")
        .arg(Timestamp(when), LinkName(link), count, how, Readable(bytes));
}

QString NoteLine(const QDateTime &when, SimLink link, const QString &text)
{
    return QStringLiteral("%1 %2 [%3]").arg(Timestamp(when), LinkName(link), text);
}

} // namespace SimFormat
