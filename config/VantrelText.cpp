#include "VantrelText.h"

#include "VantrelError.h"

#include <QIODevice>
#include <cerrno>

namespace VantrelText {

QString TrimSpaces(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == QLatin1Char(' '))
        ++begin;
    while (end > begin && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return (begin == 0 && end == text.size()) ? text : text.mid(begin, end - begin);
}

QString LowerAscii(const QString &text)
{
    QString result = text;
    for (QChar &c : result) {
        const char16_t u = c.unicode();
        if (u >= u'A' && u <= u'Z')
            c = QChar(char16_t(u + (u'a' - u'A')));
    }
    return result;
}

bool IsStorable(const QString &text)
{
    for (const QChar c : text) {
        if (!FitsByte(c))
            return false;
    }
    return true;
}

QString CodePoint(QChar c)
{
    return QStringLiteral("U+") +
           QString::number(c.unicode(), 16).toUpper().rightJustified(4, QLatin1Char('0'));
}

QString StorableLine(const QString &text)
{
    QString result;
    result.reserve(text.size());
    for (const QChar c : text) {
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || !FitsByte(c))
            continue;
        result.append(c);
    }
    return result;
}

QString FailureReason(const QIODevice *device, int systemError)
{
    const QString reason = device ? device->errorString() : QString();
    if (systemError != 0 && (reason.isEmpty() || reason == QLatin1String("Unknown error")))
        return qt_error_string(systemError);
    return reason;
}

void WriteLine(QIODevice *aChannel, const QString &text)
{
    if (!aChannel || !aChannel->isWritable())
        throw VantrelError(QStringLiteral("the file is not open for writing"));
    for (const QChar c : text) {
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n'))
            throw VantrelError(
                QStringLiteral("a value contains a line break, which the file cannot hold: \"%1\"")
                    .arg(StorableLine(text).left(60)));
        if (!FitsByte(c))
            throw VantrelError(
                QStringLiteral("a value contains the character %1, which the file cannot hold")
                    .arg(CodePoint(c)));
    }
    QByteArray bytes = text.toLatin1();
    bytes.append("\r\n", 2);
    errno = 0;
    const qint64 written = aChannel->write(bytes);
    if (written != bytes.size())
        throw VantrelError(
            QStringLiteral("writing failed: %1").arg(FailureReason(aChannel, errno)));
}

} // namespace VantrelText
