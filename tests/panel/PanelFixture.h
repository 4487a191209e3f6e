#pragma once

#include "ConfigFixtures.h"
#include "VantrelMessageBox.h"
#include "frmMain.h"

#include <QDir>
#include <QLabel>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

// Each panel test runs in a fresh working directory and answers every message
// box itself, recording its text, so no real box can open and hang a run.
class PanelFixture
{
public:
    PanelFixture() : fOldDir(QDir::currentPath())
    {
        QDir::setCurrent(fDir.path());
        VantrelMessageBox::setHandler([this](const QString &text) {
            messages.append(text);
            return answer;
        });
    }
    ~PanelFixture()
    {
        VantrelMessageBox::clearHandler();
        QDir::setCurrent(fOldDir);
    }
    PanelFixture(const PanelFixture &) = delete;
    PanelFixture &operator=(const PanelFixture &) = delete;

    bool isValid() const { return fDir.isValid(); }
    QString path(const QString &name = QStringLiteral("vantrel.ini")) const
    {
        return fDir.filePath(name);
    }
    QStringList entries() const
    {
        return QDir(fDir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    // A loaded window for the given file, or null when Form_Load refused it.
    std::unique_ptr<frmMain> load(const QByteArray &file)
    {
        if (!writeFile(path(), file))
            return nullptr;
        auto window = std::make_unique<frmMain>();
        if (!window->Form_Load())
            return nullptr;
        return window;
    }

    QStringList messages;
    QMessageBox::StandardButton answer = QMessageBox::Ok;

private:
    QTemporaryDir fDir;
    QString fOldDir;
};

// Which master picture a lamp shows: lamps always copy a master's pixmap, so
// the copy shares its cache key.
inline QString lampColour(const frmMain &window, const QLabel *lamp)
{
    const qint64 key = lamp->pixmap().cacheKey();
    if (key == window.imgOffMaster->pixmap().cacheKey())
        return QStringLiteral("grey");
    if (key == window.imgGreenMaster->pixmap().cacheKey())
        return QStringLiteral("green");
    if (key == window.imgRedMaster->pixmap().cacheKey())
        return QStringLiteral("red");
    return QStringLiteral("other");
}
