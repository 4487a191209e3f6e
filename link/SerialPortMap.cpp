#include "SerialPortMap.h"

#include <QDir>
#include <QFileInfo>

QMap<int, QString> &SerialPortMap::overrides()
{
    static QMap<int, QString> map;
    return map;
}

QString SerialPortMap::deviceFor(int portNumber)
{
    const auto it = overrides().constFind(portNumber);
    if (it != overrides().cend())
        return *it;
#if defined(Q_OS_WIN)
    return QStringLiteral("COM%1").arg(portNumber);
#elif defined(Q_OS_MACOS)
    QStringList devices =
        QDir(QStringLiteral("/dev"))
            .entryList({QStringLiteral("cu.*")}, QDir::System | QDir::Files, QDir::Name);
    devices.removeAll(QStringLiteral("cu.Bluetooth-Incoming-Port"));
    devices.removeAll(QStringLiteral("cu.debug-console"));
    if (portNumber < 1 || portNumber > devices.size())
        return QString();
    return QStringLiteral("/dev/") + devices.at(portNumber - 1);
#else
#ifdef Q_OS_LINUX
    // USB adapters appear as ttyUSBk or ttyACMk in the order they were found;
    // a link made by udev from the adapter's serial number stays put.
    const QString link = QStringLiteral("/dev/vantrel/COM%1").arg(portNumber);
    if (QFileInfo::exists(link))
        return link;
#endif
    return QStringLiteral("/dev/ttyS%1").arg(portNumber - 1);
#endif
}

QString SerialPortMap::describe(int portNumber)
{
    const QString name = QStringLiteral("COM%1").arg(portNumber);
    const QString device = deviceFor(portNumber);
    if (device.isEmpty())
        return name + QStringLiteral(" (no device)");
    if (device == name)
        return name;
    return QStringLiteral("%1 (%2)").arg(name, device);
}

void SerialPortMap::setOverride(int portNumber, const QString &device)
{
    overrides().insert(portNumber, device);
}

void SerialPortMap::clearOverride(int portNumber)
{
    overrides().remove(portNumber);
}

void SerialPortMap::clearOverrides()
{
    overrides().clear();
}
