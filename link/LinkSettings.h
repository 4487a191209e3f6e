#pragma once

#include <QString>

class clsVantrelConfig;

// The nine communication settings as the configuration holds them: text,
// unchecked. Each send attempt takes a fresh copy, so an edit of the settings
// between attempts is honoured by the next one.
struct LinkSettings
{
    enum class Kind
    {
        Serial,
        Network,
        Unknown
    };

    // The old serial control numbered its ports 1 to 255.
    static constexpr int MinSerialPort = 1;
    static constexpr int MaxSerialPort = 255;

    QString fType;
    QString fCommPort;
    QString fBaudRate;
    QString fDataBits;
    QString fParity;
    QString fStopBits;
    QString fProtocol;
    QString fIPAddress;
    QString fPort;

    static LinkSettings fromConfig(const clsVantrelConfig &config);

    // "serial" or "network" in any letter case; anything else is Unknown.
    Kind kind() const;
    // Lower-cased protocol "tcp" selects TCP; any other text selects UDP.
    bool usesTcp() const;
    // "speed,parity,data,stop", the order the serial control expects.
    QString serialSettingsText() const;
    // fCommPort as a serial port number (1 to 255); throws VantrelError.
    int serialPortNumber() const;
    // Leading number of fPort, rounded; throws VantrelError outside 1..65535.
    quint16 networkPort() const;
    // fIPAddress without surrounding blanks; throws VantrelError when empty.
    QString networkHost() const;
    // "host:port", "[v6-address]:port", for messages.
    static QString targetText(const QString &host, quint16 port);
};
