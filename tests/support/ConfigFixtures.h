#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

// The worked example of the file layout: two outputs, the first with two
// inputs, every line ending in CR LF.
inline QByteArray workedExampleFile()
{
    return QByteArrayLiteral("[vantrel]\r\n"
                             "type=serial\r\n"
                             "commport=2\r\n"
                             "baudrate=19200\r\n"
                             "databits=8\r\n"
                             "parity=N\r\n"
                             "stopbits=1\r\n"
                             "protocol=tcp\r\n"
                             "ipaddress=127.0.0.0\r\n"
                             "port=3001\r\n"
                             "\r\n"
                             "[output]\r\n"
                             "name=Studio A\r\n"
                             "selected=1\r\n"
                             "\r\n"
                             "[input]\r\n"
                             "name=Tuner\r\n"
                             "command=SW1\\r\r\n"
                             "\r\n"
                             "[input]\r\n"
                             "name=Player\r\n"
                             "command=SW2\\r\r\n"
                             "\r\n"
                             "[output]\r\n"
                             "name=Monitor\r\n"
                             "selected=-1\r\n");
}

// What a freshly initialised configuration writes.
inline QByteArray defaultConfigFile()
{
    return QByteArrayLiteral("[vantrel]\r\n"
                             "type=Serial\r\n"
                             "commport=1\r\n"
                             "baudrate=9600\r\n"
                             "databits=8\r\n"
                             "parity=n\r\n"
                             "stopbits=1\r\n"
                             "protocol=TCP\r\n"
                             "ipaddress=127.0.0.0\r\n"
                             "port=3001\r\n");
}

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() && f.flush();
}

inline QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
