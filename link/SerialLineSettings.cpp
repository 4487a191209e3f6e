#include "SerialLineSettings.h"

#include "VantrelError.h"

#include <QCoreApplication>
#include <algorithm>
#include <array>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("SerialLineSettings", text);
}

// The speeds the old serial control accepted, and 230400, which the
// configuration editor offers: a speed chosen there must not fail every send.
constexpr std::array<qint32, 17> AcceptedSpeeds = {110,   300,    600,    1200,   2400,  4800,
                                                   9600,  14400,  19200,  28800,  38400, 56000,
                                                   57600, 115200, 128000, 230400, 256000};

[[noreturn]] void refuse(const QString &text, const QString &reason)
{
    throw VantrelError(tr("Serial settings \"%1\" refused: %2").arg(text, reason));
}

bool isDigits(const QString &s)
{
    return !s.isEmpty() && std::all_of(s.cbegin(), s.cend(), [](QChar c) {
        return c >= QLatin1Char('0') && c <= QLatin1Char('9');
    });
}

} // namespace

SerialLineSettings SerialLineSettings::parse(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4)
        refuse(text, tr("expected speed,parity,data bits,stop bits"));

    SerialLineSettings s;

    const QString &speed = parts[0];
    bool speedOk = isDigits(speed) && speed.size() <= 6;
    const qint32 baud = speedOk ? speed.toInt() : 0;
    speedOk = speedOk && std::find(AcceptedSpeeds.cbegin(), AcceptedSpeeds.cend(), baud) !=
                             AcceptedSpeeds.cend();
    if (!speedOk)
        refuse(text, tr("speed \"%1\" is not one of 110, 300, 600, 1200, 2400, 4800, 9600, "
                        "14400, 19200, 28800, 38400, 56000, 57600, 115200, 128000, 230400, 256000")
                         .arg(speed));
    s.baudRate = baud;

    const QString parity = parts[1].toUpper();
    if (parity == QLatin1String("N"))
        s.parity = QSerialPort::NoParity;
    else if (parity == QLatin1String("E"))
        s.parity = QSerialPort::EvenParity;
    else if (parity == QLatin1String("O"))
        s.parity = QSerialPort::OddParity;
    else if (parity == QLatin1String("M"))
        s.parity = QSerialPort::MarkParity;
    else if (parity == QLatin1String("S"))
        s.parity = QSerialPort::SpaceParity;
    else
        refuse(text, tr("parity \"%1\" is not one of N, E, O, M, S").arg(parts[1]));

    const QString &data = parts[2];
    if (data.size() != 1 || data[0] < QLatin1Char('4') || data[0] > QLatin1Char('8'))
        refuse(text, tr("data bits \"%1\" are not one of 4, 5, 6, 7, 8").arg(data));
    switch (data[0].unicode()) {
    case u'4':
        refuse(text, tr("4 data bits are not supported by this system's serial driver"));
    case u'5':
        s.dataBits = QSerialPort::Data5;
        break;
    case u'6':
        s.dataBits = QSerialPort::Data6;
        break;
    case u'7':
        s.dataBits = QSerialPort::Data7;
        break;
    default:
        s.dataBits = QSerialPort::Data8;
        break;
    }

    const QString &stop = parts[3];
    if (stop == QLatin1String("1")) {
        s.stopBits = QSerialPort::OneStop;
    } else if (stop == QLatin1String("2")) {
        s.stopBits = QSerialPort::TwoStop;
    } else if (stop == QLatin1String("1.5")) {
#ifdef Q_OS_WIN
        s.stopBits = QSerialPort::OneAndHalfStop;
#else
        refuse(text, tr("1.5 stop bits are not supported by this system's serial driver"));
#endif
    } else {
        refuse(text, tr("stop bits \"%1\" are not one of 1, 1.5, 2").arg(stop));
    }
    return s;
}

QString SerialLineSettings::toText() const
{
    QString parityText;
    switch (parity) {
    case QSerialPort::EvenParity:
        parityText = QStringLiteral("e");
        break;
    case QSerialPort::OddParity:
        parityText = QStringLiteral("o");
        break;
    case QSerialPort::MarkParity:
        parityText = QStringLiteral("m");
        break;
    case QSerialPort::SpaceParity:
        parityText = QStringLiteral("s");
        break;
    default:
        parityText = QStringLiteral("n");
        break;
    }
    QString stopText = QStringLiteral("1");
    if (stopBits == QSerialPort::TwoStop)
        stopText = QStringLiteral("2");
    else if (stopBits == QSerialPort::OneAndHalfStop)
        stopText = QStringLiteral("1.5");
    return QStringLiteral("%1,%2,%3,%4")
        .arg(baudRate)
        .arg(parityText)
        .arg(static_cast<int>(dataBits))
        .arg(stopText);
}
