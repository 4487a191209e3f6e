#include "RemoteSettings.h"

#include "VantrelError.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>
#include <array>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

// A settings file is a few lines; anything larger is not one.
constexpr qint64 kMaxFileSize = 64 * 1024;

bool parsePort(const QString &text, quint16 *port, bool allowZero)
{
    bool ok = false;
    const uint value = text.toUInt(&ok);
    if (!ok || value > 65535 || (value == 0 && !allowZero))
        return false;
    *port = quint16(value);
    return true;
}

// From a tenth of a second (tests) to ten minutes (a very slow network).
bool parseTimeout(const QString &text, int *milliseconds)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < 100 || value > 600000)
        return false;
    *milliseconds = value;
    return true;
}

} // namespace

QString RemoteSettings::pathFor(const QString &configPath)
{
    return QFileInfo(configPath).absoluteDir().filePath(kFileName);
}

QString RemoteSettings::newToken()
{
    std::array<quint32, kTokenBytes / 4> words{};
    QRandomGenerator::system()->fillRange(words.data(), words.size());
    const QByteArray bytes(reinterpret_cast<const char *>(words.data()), kTokenBytes);
    return QString::fromLatin1(
        bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

QString RemoteSettings::listenText() const
{
    const QString host = listenAddress.contains(QLatin1Char(':'))
                             ? QLatin1Char('[') + listenAddress + QLatin1Char(']')
                             : listenAddress;
    return host + QLatin1Char(':') + QString::number(httpPort);
}

bool RemoteSettings::splitListen(const QString &text, QString *address, quint16 *port)
{
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0)
        return false;
    QString host = text.left(colon);
    if (host.startsWith(QLatin1Char('[')) != host.endsWith(QLatin1Char(']')))
        return false;
    if (host.startsWith(QLatin1Char('[')))
        host = host.mid(1, host.size() - 2);
    else if (host.contains(QLatin1Char(':')))
        return false; // an IPv6 address needs its brackets
    if (host.isEmpty() || !parsePort(text.mid(colon + 1), port, false))
        return false;
    *address = host;
    return true;
}

bool RemoteSettings::read(const QString &path, QString *problem)
{
    problem->clear();
    QFile file(path);
    if (!file.exists())
        return false;
    if (!file.open(QIODevice::ReadOnly)) {
        *problem = QStringLiteral("cannot open %1: %2").arg(path, file.errorString());
        return false;
    }
    const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                            QFileDevice::ReadOther | QFileDevice::WriteOther;
    if (file.permissions() & others) {
        *problem = QStringLiteral("%1 may be read by other users, so its token is not secret; "
                                  "run 'vantrelctl remote enable' for a new one")
                       .arg(path);
        return false;
    }
    if (file.size() > kMaxFileSize) {
        *problem = QStringLiteral("%1 is too large to be a settings file").arg(path);
        return false;
    }
    RemoteSettings read;
    read.token.clear();
    int number = 0;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (const QByteArray &raw : lines) {
        ++number;
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')) ||
            line == QLatin1String("[remote]"))
            continue;
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        const QString key = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1).trimmed();
        bool ok = equals > 0;
        if (ok && key == QLatin1String("listen"))
            ok = splitListen(value, &read.listenAddress, &read.httpPort);
        else if (ok && key == QLatin1String("token"))
            read.token = value;
        else if (ok && key == QLatin1String("osc"))
            ok = parsePort(value, &read.oscPort, true);
        else if (ok && key == QLatin1String("request-timeout-ms"))
            ok = parseTimeout(value, &read.requestTimeoutMs);
        else if (ok && key == QLatin1String("osc-allow"))
            read.oscAllow = value.split(QLatin1Char(','), Qt::SkipEmptyParts);
        else
            ok = false;
        if (!ok) {
            *problem = QStringLiteral("%1:%2: cannot use \"%3\"").arg(path).arg(number).arg(line);
            return false;
        }
    }
    // Fewer than 128 bits could be guessed.
    if (read.token.size() < 22) {
        *problem = QStringLiteral("%1 holds no token of at least 128 bits").arg(path);
        return false;
    }
    for (QString &sender : read.oscAllow)
        sender = sender.trimmed();
    *this = read;
    return true;
}

void RemoteSettings::write(const QString &path) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw VantrelError(file.errorString());
    // Before a byte of the token is written.
    if (!file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        throw VantrelError(QStringLiteral("cannot make it private: %1").arg(file.errorString()));
    QString text = QStringLiteral("# Remote control of the Vantrel panel in this folder, written "
                                  "by vantrelctl remote.\n# The token lets anyone who has it "
                                  "drive the switcher: keep this file private.\n[remote]\n");
    text += QStringLiteral("listen=%1\ntoken=%2\n").arg(listenText(), token);
    if (oscPort != 0)
        text += QStringLiteral("osc=%1\n").arg(oscPort);
    if (!oscAllow.isEmpty())
        text += QStringLiteral("osc-allow=%1\n").arg(oscAllow.join(QLatin1Char(',')));
    if (requestTimeoutMs != RemoteSettings().requestTimeoutMs)
        text += QStringLiteral("request-timeout-ms=%1\n").arg(requestTimeoutMs);
    file.write(text.toUtf8());
    if (!file.commit())
        throw VantrelError(file.errorString());
}

QString RemoteSettings::controlSocketPath(const QString &configPath)
{
    const QFileInfo folder(QFileInfo(configPath).absolutePath());
    const QString canonical = folder.canonicalFilePath();
    const QByteArray hash =
        QCryptographicHash::hash(
            (canonical.isEmpty() ? folder.absoluteFilePath() : canonical).toUtf8(),
            QCryptographicHash::Sha256)
            .toHex()
            .left(24);
    QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
#ifdef Q_OS_UNIX
    // Without a session's runtime folder: one of the user's own in /tmp,
    // which the panel makes private (and refuses when someone else owns it).
    if (runtime.isEmpty())
        runtime = QDir::temp().filePath(QStringLiteral("vantrel-%1").arg(::getuid()));
#endif
    return QDir(runtime).filePath(QStringLiteral("vantrel-%1.sock").arg(QString::fromLatin1(hash)));
}
