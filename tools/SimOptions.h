#pragma once

#include <QHostAddress>
#include <QString>
#include <QStringList>

// How the simulated switcher treats what reaches it, so the panel's retries
// and error message can be shown and tested without a real device.
enum class SimMode
{
    Accept, // read and print every command
    Refuse, // nothing listens: TCP connects are refused, UDP is not bound
    Reset,  // accept each TCP connection and reset it at once
    Silent, // accept, bind and open, but never read anything
    Answer, // greet each TCP connection and acknowledge its command; echo serial
};

QString SimModeName(SimMode mode);

struct SimOptions
{
    QHostAddress address{QHostAddress::LocalHost};
    quint16 tcpPort = 3001; // 0 lets the system pick a free port
    quint16 udpPort = 3001;
    bool serial = false; // also offer a pseudo-terminal as the serial end
    SimMode mode = SimMode::Accept;
};

// The command line turned into SimOptions without touching a socket, so the
// parsing can be tested on its own.
class SimCommandLine
{
public:
    enum class Outcome
    {
        Run,
        Help,
        Version,
        Error,
    };
    struct Result
    {
        Outcome outcome = Outcome::Error;
        SimOptions options;
        // Help text, version line or error description, ready to print.
        QString message;
    };

    // arguments[0] is the program name, as in QCoreApplication::arguments().
    static Result Parse(const QStringList &arguments);
};
