#pragma once

#include <QSerialPort>
#include <QString>

// The serial settings text "speed,parity,data,stop" (for example 9600,n,8,1),
// checked as strictly as the old serial control did and turned into what
// QSerialPort takes.
struct SerialLineSettings
{
    qint32 baudRate = 9600;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;

    // Throws VantrelError naming the refused part: the old control's refusals
    // first, then what this system's serial driver cannot do.
    static SerialLineSettings parse(const QString &text);

    // The settings in the text's own form, as the port reports them back.
    QString toText() const;

    friend bool operator==(const SerialLineSettings &a, const SerialLineSettings &b)
    {
        return a.baudRate == b.baudRate && a.parity == b.parity && a.dataBits == b.dataBits &&
               a.stopBits == b.stopBits;
    }
};
