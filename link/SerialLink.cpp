#include "SerialLink.h"

#include "SerialPortMap.h"
#include "VantrelError.h"

#include <QSerialPort>

#ifdef Q_OS_UNIX
#include <sys/ioctl.h>
#include <termios.h>
#endif

namespace {

// Start bit, up to eight data bits, parity and two stop bits.
constexpr qint64 MaxBitsPerByte = 12;

std::chrono::milliseconds lineTime(qint64 bytes, qint32 baudRate)
{
    return std::chrono::milliseconds(bytes * MaxBitsPerByte * 1000 / qMax(baudRate, 1));
}

} // namespace

SerialLink::SerialLink(const LinkSettings &settings, QObject *parent)
    : SwitcherLink(settings, parent)
{
    fDrainTimer.setSingleShot(true);
    connect(&fDrainTimer, &QTimer::timeout, this, &SerialLink::checkDrained);
}

SerialLink::~SerialLink()
{
    if (fPort && fPort->isOpen())
        fPort->close();
}

void SerialLink::start(const QByteArray &bytes)
{
    SerialLineSettings line;
    QString device;
    try {
        const int portNumber = settings().serialPortNumber();
        setTarget(SerialPortMap::describe(portNumber));
        device = SerialPortMap::deviceFor(portNumber);
        if (device.isEmpty()) {
            fail(tr("no serial device has this number"));
            return;
        }
        line = SerialLineSettings::parse(settings().serialSettingsText());
    } catch (const VantrelError &e) {
        fail(e.description());
        return;
    }
    fBaudRate = line.baudRate;
    fLimit = timeout() + 2 * lineTime(bytes.size(), line.baudRate);
    armWatchdog(fLimit);

    fPort = new QSerialPort(this);
    fPort->setPortName(device);
    fPort->setBaudRate(line.baudRate);
    fPort->setParity(line.parity);
    fPort->setDataBits(line.dataBits);
    fPort->setStopBits(line.stopBits);
    fPort->setFlowControl(QSerialPort::NoFlowControl);
    if (!fPort->open(QIODevice::WriteOnly)) {
        fail(fPort->errorString());
        return;
    }
    // Whatever the switcher echoed or answered waits in the driver until it
    // is dropped: here and before the port closes, so that it can never meet
    // the next send. Reading it instead would also read the end-of-file of a
    // device that goes away, which the port reports with a stale reason.
    fPort->clear(QSerialPort::Input);
    fOpenedSettings = SerialLineSettings{fPort->baudRate(), fPort->parity(), fPort->dataBits(),
                                         fPort->stopBits()};

    connect(fPort, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError error) {
        // Control-line requests fail on some devices (pseudo-terminals among
        // them) without harming the data; they are no reason to give up.
        if (error == QSerialPort::NoError || error == QSerialPort::UnsupportedOperationError)
            return;
        // The system only says "Input/output error" when the device vanishes
        // under an open port (an adapter unplugged mid-command).
        if (error == QSerialPort::ResourceError)
            fail(tr("the device went away while the command was being sent (%1)")
                     .arg(fPort->errorString()));
        else
            fail(fPort->errorString());
    });
    connect(fPort, &QSerialPort::bytesWritten, this, &SerialLink::onBytesWritten);

    if (bytes.isEmpty()) {
        finish(true, QString());
        return;
    }
    if (fPort->write(bytes) != bytes.size())
        fail(fPort->errorString());
}

void SerialLink::onBytesWritten()
{
    if (!isFinished() && fPort->bytesToWrite() == 0)
        checkDrained();
}

// Closing restores the port's earlier line settings at once, which would
// garble bytes still waiting in the driver: wait until they have left.
void SerialLink::checkDrained()
{
    if (isFinished())
        return;
#ifdef Q_OS_UNIX
    int pending = 0;
    if (::ioctl(static_cast<int>(fPort->handle()), TIOCOUTQ, &pending) == 0 && pending > 0) {
        const auto wait = lineTime(pending, fBaudRate);
        fDrainTimer.start(
            qBound(std::chrono::milliseconds(1), wait, std::chrono::milliseconds(50)));
        return;
    }
#endif
    finish(true, QString());
}

void SerialLink::release()
{
    fDrainTimer.stop();
    if (fPort) {
        fPort->disconnect(this);
        if (fPort->isOpen()) {
            fPort->clear(QSerialPort::Input);
            fPort->close();
        }
    }
}

QString SerialLink::timeoutReason() const
{
    return tr("the command did not go out within %1 ms").arg(fLimit.count());
}
