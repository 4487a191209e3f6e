#include "WebPanelPage.h"

#include <QFile>

namespace {

struct Entry
{
    const char *path;
    const char *resource;
    const char *contentType;
};

// The resources are listed in panel/CMakeLists.txt under the prefix ":/web".
constexpr Entry kFiles[] = {
    {"/", ":/web/index.html", "text/html; charset=utf-8"},
    {"/index.html", ":/web/index.html", "text/html; charset=utf-8"},
    {"/panel.css", ":/web/panel.css", "text/css; charset=utf-8"},
    {"/panel.js", ":/web/panel.js", "text/javascript; charset=utf-8"},
    {"/lamp-off.png", ":/web/lamp-off.png", "image/png"},
    {"/lamp-green.png", ":/web/lamp-green.png", "image/png"},
    {"/lamp-red.png", ":/web/lamp-red.png", "image/png"},
    {"/vantrel.png", ":/web/vantrel.png", "image/png"},
};

} // namespace

std::optional<WebPanelPage::File> WebPanelPage::file(QStringView path)
{
    for (const Entry &entry : kFiles) {
        if (path != QLatin1String(entry.path))
            continue;
        QFile resource(QString::fromLatin1(entry.resource));
        if (!resource.open(QIODevice::ReadOnly))
            return std::nullopt;
        return File{resource.readAll(), QByteArray(entry.contentType)};
    }
    return std::nullopt;
}

QStringList WebPanelPage::paths()
{
    QStringList all;
    for (const Entry &entry : kFiles)
        all.append(QString::fromLatin1(entry.path));
    return all;
}

const QList<QPair<QByteArray, QByteArray>> &WebPanelPage::headers()
{
    static const QList<QPair<QByteArray, QByteArray>> kHeaders = {
        {"Content-Security-Policy",
         "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; "
         "connect-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'"},
        {"X-Frame-Options", "DENY"},
        {"Referrer-Policy", "no-referrer"},
    };
    return kHeaders;
}
