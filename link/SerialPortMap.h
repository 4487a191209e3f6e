#pragma once

#include <QMap>
#include <QString>

// Which device a serial port number opens. The mapping depends on the port
// number and the platform only, never on the order in which the system lists
// its ports:
//   Windows  COMn -> "COMn" (Qt adds the \\.\ prefix that COM10 and up need)
//   Linux    COMn -> /dev/vantrel/COMn where that link exists (a udev rule
//            points it at a USB adapter), otherwise /dev/ttyS(n-1)
//   macOS    COMn -> the n-th /dev/cu.* device in name order, leaving out
//            /dev/cu.Bluetooth-Incoming-Port and /dev/cu.debug-console
// An override for a port number (tests point one at a pseudo-terminal, an
// installation at a USB adapter) takes precedence.
class SerialPortMap
{
public:
    // The device for a port number; empty when none is known (macOS only).
    static QString deviceFor(int portNumber);
    // "COM3 (/dev/ttyS2)" where the device differs from the port's name,
    // "COM3" where it is the same, so every message names what was opened.
    static QString describe(int portNumber);

    static void setOverride(int portNumber, const QString &device);
    static void clearOverride(int portNumber);
    static void clearOverrides();

private:
    static QMap<int, QString> &overrides();
};
