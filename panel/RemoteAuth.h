#pragma once

#include <QByteArray>
#include <QSet>
#include <QString>

// Who may use the network API: the token of vantrel-remote.ini, or the
// session cookie /login hands out for it, on a request whose Host names this
// machine (so a web page elsewhere cannot reach the panel through DNS
// rebinding).
class RemoteAuth
{
public:
    static inline const QByteArray kCookieName = QByteArrayLiteral("vantrel_session");

    // `listenAddress`: where the API listens.
    RemoteAuth(const QString &token, const QString &listenAddress);

    enum class Verdict
    {
        Allowed,
        WrongHost, // 421
        NoSecret   // 401
    };
    struct Decision
    {
        Verdict verdict = Verdict::NoSecret;
        bool byCookie = false;
    };
    Decision check(const QByteArray &host, const QByteArray &authorization,
                   const QByteArray &cookie) const;
    bool hostAllowed(const QByteArray &host) const;
    bool tokenMatches(const QByteArray &token) const;
    // The cookie's value: random for every run of the panel, so the token
    // itself never sits in a browser.
    QByteArray session() const { return fSession; }
    QByteArray setCookieHeader() const;

    // Equal in time that does not depend on where the texts differ.
    static bool sameSecret(const QByteArray &given, const QByteArray &expected);

private:
    QByteArray fToken;
    QByteArray fSession;
    QSet<QByteArray> fHosts;
};
