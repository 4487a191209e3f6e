#include "SimFormat.h"

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
    static const char kHex[] = "0123456789ABCDEF";
    QString text;
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '\r') {
            text += QLatin1String("\\r");
        } else if (byte == '\n') {
            text += QLatin1String("\\n");
        } else if (byte == '\\') {
            text += QLatin1String("\\\\");
        } else if (byte < 0x20 || byte >= 0x7F) {
            text += QLatin1String("\\x");
            text += QLatin1Char(kHex[byte >> 4]);
            text += QLatin1Char(kHex[byte & 0x0F]);
        } else {
            text += QLatin1Char(c);
        }
    }
    return text;
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
