#include "VantrelFile.h"

#include "VantrelText.h"
#include "clsVantrelParser.h"

#include <QFile>
#include <QSaveFile>
#include <cerrno>

namespace VantrelFile {

QString LoadResult::stopDescription() const
{
    return QStringLiteral("line %1: reading stopped at \"%2\"; the rest of the file was not read")
        .arg(stopLine)
        .arg(stopText.left(60));
}

LoadResult Load(const QString &path)
{
    QFile channel(path);
    if (!channel.open(QIODevice::ReadOnly))
        throw OpenError(channel.errorString());
    return Load(channel);
}

LoadResult Load(QIODevice &channel)
{
    LoadResult result;
    result.config = std::make_shared<clsVantrelConfig>();
    result.config->Initialize();

    clsVantrelParser parser;
    parser.Initialize(&channel);
    result.config->Deserialize(parser);

    if (parser.fItemType != clsVantrelParser::EndOfInput) {
        result.complete = false;
        result.stopLine = parser.fLine;
        result.stopText = parser.fItemType == clsVantrelParser::SectionHeader
                              ? QStringLiteral("[%1]").arg(parser.fItem)
                          : parser.fHasEquals ? parser.fItem + QLatin1Char('=') + parser.fValue
                                              : parser.fItem;
    }
    return result;
}

void Save(const clsVantrelConfig &config, const QString &path)
{
    // The new content goes to a temporary file that replaces the old one only
    // once everything is written; any failure leaves the old file untouched.
    QSaveFile channel(path);
    if (!channel.open(QIODevice::WriteOnly))
        throw VantrelError(channel.errorString());
    try {
        config.Serialize(&channel);
    } catch (...) {
        channel.cancelWriting();
        throw;
    }
    errno = 0;
    if (!channel.flush()) {
        const QString reason = VantrelText::FailureReason(&channel, errno);
        channel.cancelWriting();
        throw VantrelError(QStringLiteral("writing failed: %1").arg(reason));
    }
    if (channel.error() != QFileDevice::NoError) {
        const QString reason = channel.errorString();
        channel.cancelWriting();
        throw VantrelError(QStringLiteral("writing failed: %1").arg(reason));
    }
    if (!channel.commit())
        throw VantrelError(QStringLiteral("the new file could not replace the old one: %1")
                               .arg(channel.errorString()));
}

} // namespace VantrelFile
