#pragma once

#include "LinkSettings.h"
#include "SerialLineSettings.h"
#include "SwitcherLink.h"

#include <optional>

class QSerialPort;

// Opens the numbered serial port with the settings text, writes the command,
// waits until the line has sent it and closes the port again. What the
// switcher sends back is dropped.
class SerialLink : public SwitcherLink
{
    Q_OBJECT
public:
    explicit SerialLink(const LinkSettings &settings, QObject *parent = nullptr);
    ~SerialLink() override;

    void start(const QByteArray &bytes) override;

    // What the opened port reported back about its line settings.
    std::optional<SerialLineSettings> openedSettings() const { return fOpenedSettings; }

protected:
    void release() override;
    QString timeoutReason() const override;

private:
    void onBytesWritten();
    void checkDrained();

    QSerialPort *fPort = nullptr;
    qint32 fBaudRate = 9600;
    std::chrono::milliseconds fLimit{0};
    std::optional<SerialLineSettings> fOpenedSettings;
    QTimer fDrainTimer;
};
