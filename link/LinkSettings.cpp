#include "LinkSettings.h"

#include "VantrelError.h"
#include "VantrelNumbers.h"
#include "VantrelText.h"
#include "clsVantrelConfig.h"

#include <QCoreApplication>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("LinkSettings", text);
}

// C0, DEL and C1 (0x80-0x9F): none belongs in an address or host name.
bool isControl(QChar c)
{
    return c.category() == QChar::Other_Control;
}

// The text with each control character written as its code point, so that a
// message can name a value that holds one.
QString visibleControls(const QString &text)
{
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        if (isControl(c))
            shown += QLatin1Char('<') + VantrelText::CodePoint(c) + QLatin1Char('>');
        else
            shown += c;
    }
    return shown;
}

} // namespace

LinkSettings LinkSettings::fromConfig(const clsVantrelConfig &config)
{
    LinkSettings s;
    s.fType = config.fType;
    s.fCommPort = config.fCommPort;
    s.fBaudRate = config.fBaudRate;
    s.fDataBits = config.fDataBits;
    s.fParity = config.fParity;
    s.fStopBits = config.fStopBits;
    s.fProtocol = config.fProtocol;
    s.fIPAddress = config.fIPAddress;
    s.fPort = config.fPort;
    return s;
}

LinkSettings::Kind LinkSettings::kind() const
{
    const QString type = fType.toLower();
    if (type == QLatin1String("serial"))
        return Kind::Serial;
    if (type == QLatin1String("network"))
        return Kind::Network;
    return Kind::Unknown;
}

bool LinkSettings::usesTcp() const
{
    return fProtocol.toLower() == QLatin1String("tcp");
}

QString LinkSettings::serialSettingsText() const
{
    return fBaudRate + QLatin1Char(',') + fParity + QLatin1Char(',') + fDataBits +
           QLatin1Char(',') + fStopBits;
}

int LinkSettings::serialPortNumber() const
{
    const std::optional<double> value = VantrelNumbers::parseNumber(fCommPort);
    if (!value)
        throw VantrelError(tr("Serial port \"%1\" is not a number").arg(fCommPort));
    const std::optional<int> port = VantrelNumbers::toInteger16(*value);
    if (!port)
        throw VantrelError(tr("Serial port \"%1\" is out of range (overflow)").arg(fCommPort));
    if (*port < MinSerialPort || *port > MaxSerialPort)
        throw VantrelError(tr("Serial port number %1 is invalid: ports are numbered %2 to %3")
                               .arg(*port)
                               .arg(MinSerialPort)
                               .arg(MaxSerialPort));
    return *port;
}

quint16 LinkSettings::networkPort() const
{
    const double value = VantrelNumbers::leadingNumber(fPort);
    const std::optional<qint32> port = VantrelNumbers::toInteger32(value);
    if (!port || *port < 1 || *port > 65535)
        throw VantrelError(
            tr("Network port \"%1\" is invalid: it must be a number from 1 to 65535").arg(fPort));
    return static_cast<quint16>(*port);
}

QString LinkSettings::networkHost() const
{
    // Only spaces are trimmed, as everywhere in the file: a general trim
    // would also drop tabs, line breaks and NEL (0x85) at either end
    // without a word.
    const QString host = VantrelText::TrimSpaces(fIPAddress);
    if (host.isEmpty())
        throw VantrelError(tr("No network address is set"));
    // The system's resolver reads a name only up to a NUL and would connect
    // to what comes before it, and the name lookup would pass C1 characters
    // on raw; no address or host name holds a control character.
    for (const QChar c : fIPAddress) {
        if (isControl(c))
            throw VantrelError(
                tr("Network address \"%1\" is invalid: it holds the control character %2")
                    .arg(visibleControls(fIPAddress), VantrelText::CodePoint(c)));
    }
    return host;
}

QString LinkSettings::targetText(const QString &host, quint16 port)
{
    if (host.contains(QLatin1Char(':')))
        return QStringLiteral("[%1]:%2").arg(host).arg(port);
    return QStringLiteral("%1:%2").arg(host).arg(port);
}
