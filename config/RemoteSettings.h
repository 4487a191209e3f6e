#pragma once

#include <QString>
#include <QStringList>

// The remote control's settings, in their own file beside vantrel.ini (never
// inside it): where the network API listens, its secret token, and OSC. The
// file exists only while remote control is on; `vantrelctl remote` writes it
// with mode 0600, and the panel reads it when it starts.
struct RemoteSettings
{
    static inline const QString kFileName = QStringLiteral("vantrel-remote.ini");
    static constexpr quint16 kDefaultPort = 8470;
    // 256 bits from the system's generator.
    static constexpr int kTokenBytes = 32;

    // A literal address, IPv6 without brackets; loopback unless named.
    QString listenAddress = QStringLiteral("127.0.0.1");
    quint16 httpPort = kDefaultPort;
    QString token;
    // 0: OSC is off.
    quint16 oscPort = 0;
    // Senders OSC accepts besides loopback; empty: loopback only.
    QStringList oscAllow;
    // How long an HTTP client has to send its request (slow ones are cut off).
    int requestTimeoutMs = 10000;

    // The file beside the configuration file at `configPath`.
    static QString pathFor(const QString &configPath);
    // Reads the file; `problem` says why it cannot be used (missing file:
    // empty problem and false). A file others may read is refused, since its
    // token may no longer be secret.
    bool read(const QString &path, QString *problem);
    // Writes the whole file, mode 0600, replacing the old one atomically.
    // Throws VantrelError.
    void write(const QString &path) const;

    static QString newToken();
    // "127.0.0.1:8470", "[::1]:8470".
    QString listenText() const;
    // Splits "ADDRESS:PORT" ("[v6]:PORT" for IPv6); false when malformed.
    static bool splitListen(const QString &text, QString *address, quint16 *port);

    // The panel's local control socket for the folder holding `configPath`:
    // in the user's runtime folder, named for the folder's canonical path so
    // that every panel has its own and vantrelctl finds the right one.
    static QString controlSocketPath(const QString &configPath);
};
