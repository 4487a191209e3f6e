#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QStringList>
#include <QStringView>
#include <optional>

// The panel in a browser: the page and the files beside it, compiled into
// the program (a control room is often offline, so nothing comes from
// elsewhere). The remote listener serves them at "/" and beside it. They hold
// nothing of the configuration, so they go out without the token; the page
// asks the API for the rows and shows how to get access when it says 401.
class WebPanelPage
{
public:
    struct File
    {
        QByteArray body;
        QByteArray contentType;
    };

    // The file served at a path of the listener ("/", "/panel.js"), or
    // nullopt when the path names none.
    static std::optional<File> file(QStringView path);

    // Every path file() answers, "/" first.
    static QStringList paths();

    // The headers each of these files goes out with, beside those of every
    // answer of the listener (no caching, no guessing of types): a policy
    // that lets the page load only its own files and talk only to its own
    // listener, inside no other page, and no address passed on.
    static const QList<QPair<QByteArray, QByteArray>> &headers();
};
