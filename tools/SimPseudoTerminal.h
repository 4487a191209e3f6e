#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>

class QSocketNotifier;

// The serial end of the simulated switcher: a pseudo-terminal whose slave
// device the panel opens like a serial port. A serial line has no framing,
// so a command is whatever arrives before the line goes quiet for a moment.
class SimPseudoTerminal : public QObject
{
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kQuietGap{50};

    explicit SimPseudoTerminal(QObject *parent = nullptr);
    ~SimPseudoTerminal() override;

    // Creates the pair; reading starts only when `read` is true (the silent
    // mode never reads), and what is read is written back when `echo` is.
    // Returns an empty string or the system's error.
    QString Open(bool read, bool echo = false);
    QString SlavePath() const { return fSlavePath; }

signals:
    void commandReceived(const QByteArray &bytes);
    void noted(const QString &text);

private:
    void ReadAvailable();
    void Flush();

    int fMaster = -1;
    // Kept open so the master never sees a hang-up (and spins on EIO) while
    // no program has the device open.
    int fSlave = -1;
    QString fSlavePath;
    bool fEcho = false;
    QSocketNotifier *fNotifier = nullptr;
    QTimer fQuiet;
    QByteArray fBytes;
};
