#pragma once

#include "TakeLogFiles.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QTemporaryDir>

// A state folder of the test's own for the take log: XDG_STATE_HOME points
// into a temporary folder while it lives.
class StateFolder
{
public:
    StateFolder() : fOld(qgetenv("XDG_STATE_HOME"))
    {
        qputenv("XDG_STATE_HOME", fDir.path().toLocal8Bit());
    }
    ~StateFolder() { qputenv("XDG_STATE_HOME", fOld); }
    StateFolder(const StateFolder &) = delete;
    StateFolder &operator=(const StateFolder &) = delete;

    QString path() const { return fDir.path(); }
    QString logFolder() const { return TakeLogFiles::defaultFolder(); }

    // Every event of every log file, oldest first.
    QList<QJsonObject> events() const
    {
        QList<QJsonObject> events;
        for (const QString &path : TakeLogFiles::existing(logFolder())) {
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly))
                continue;
            for (const QByteArray &line : file.readAll().split('\n')) {
                if (!line.isEmpty())
                    events << QJsonDocument::fromJson(line).object();
            }
        }
        return events;
    }

private:
    QByteArray fOld;
    QTemporaryDir fDir;
};
