#include "TakeLogFiles.h"

#include <QDir>
#include <QFileInfo>

namespace {
const QString kName = QStringLiteral("take.log");
}

QString TakeLogFiles::defaultFolder()
{
    const QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (!state.isEmpty() && QDir::isAbsolutePath(state))
        return QDir::cleanPath(state + QStringLiteral("/vantrel"));
    return QDir::cleanPath(QDir::homePath() + QStringLiteral("/.local/state/vantrel"));
}

QString TakeLogFiles::current(const QString &folder)
{
    return folder + QLatin1Char('/') + kName;
}

QString TakeLogFiles::rotated(const QString &folder, int n)
{
    return current(folder) + QLatin1Char('.') + QString::number(n);
}

QStringList TakeLogFiles::existing(const QString &folder, int kept)
{
    QStringList files;
    for (int n = kept; n >= 1; --n) {
        if (QFileInfo::exists(rotated(folder, n)))
            files << rotated(folder, n);
    }
    if (QFileInfo::exists(current(folder)))
        files << current(folder);
    return files;
}
