#include "RemoteAuth.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QNetworkInterface>
#include <QRandomGenerator>
#include <array>

RemoteAuth::RemoteAuth(const QString &token, const QString &listenAddress) : fToken(token.toUtf8())
{
    std::array<quint32, 8> words{};
    QRandomGenerator::system()->fillRange(words.data(), words.size());
    fSession = QByteArray(reinterpret_cast<const char *>(words.data()), sizeof words)
                   .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);

    QList<QHostAddress> addresses{QHostAddress(listenAddress)};
    const QHostAddress listen(listenAddress);
    if (listen == QHostAddress::AnyIPv4 || listen == QHostAddress::AnyIPv6 ||
        listen == QHostAddress::Any)
        addresses = QNetworkInterface::allAddresses();
    QStringList names{QStringLiteral("localhost"), QHostInfo::localHostName()};
    for (const QHostAddress &address : std::as_const(addresses)) {
        QHostAddress plain = address;
        plain.setScopeId(QString());
        names << (plain.protocol() == QAbstractSocket::IPv6Protocol
                      ? QLatin1Char('[') + plain.toString() + QLatin1Char(']')
                      : plain.toString());
    }
    for (const QString &name : std::as_const(names)) {
        if (name.isEmpty())
            continue;
        fHosts << name.toLower().toUtf8();
    }
}

bool RemoteAuth::sameSecret(const QByteArray &given, const QByteArray &expected)
{
    // Every byte of the expected secret is looked at whatever is given, so
    // the time taken does not tell how much of a guess was right.
    unsigned difference = unsigned(given.size() != expected.size());
    for (qsizetype i = 0; i < expected.size(); ++i) {
        const char other = i < given.size() ? given.at(i) : char(0);
        difference |= unsigned(uchar(expected.at(i)) ^ uchar(other));
    }
    return difference == 0 && !expected.isEmpty();
}

bool RemoteAuth::tokenMatches(const QByteArray &token) const
{
    return sameSecret(token, fToken);
}

bool RemoteAuth::hostAllowed(const QByteArray &host) const
{
    // The name is what tells this machine from another; the port was
    // checked by the connection itself.
    QByteArray name = host.trimmed().toLower();
    const qsizetype colon = name.lastIndexOf(':');
    if (colon > name.lastIndexOf(']'))
        name.truncate(colon);
    return fHosts.contains(name);
}

QByteArray RemoteAuth::setCookieHeader() const
{
    return kCookieName + '=' + fSession + "; HttpOnly; SameSite=Strict; Path=/";
}

RemoteAuth::Decision RemoteAuth::check(const QByteArray &host, const QByteArray &authorization,
                                       const QByteArray &cookie) const
{
    if (!hostAllowed(host))
        return {Verdict::WrongHost, false};
    const QByteArray bearer = QByteArrayLiteral("Bearer ");
    if (authorization.startsWith(bearer) &&
        tokenMatches(authorization.mid(bearer.size()).trimmed()))
        return {Verdict::Allowed, false};
    for (const QByteArray &part : cookie.split(';')) {
        const QByteArray pair = part.trimmed();
        if (pair.startsWith(kCookieName + '=') &&
            sameSecret(pair.mid(kCookieName.size() + 1), fSession))
            return {Verdict::Allowed, true};
    }
    return {Verdict::NoSecret, false};
}
