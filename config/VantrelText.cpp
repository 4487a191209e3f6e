#include "VantrelText.h"

#include "LineBlocks.h"
#include "VantrelError.h"

#include <QIODevice>
#include <QVarLengthArray>
#include <algorithm>
#include <cerrno>
#include <cstring>

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
    const auto isUpper = [](QChar c) {
        return c.unicode() >= u'A' && c.unicode() <= u'Z';
    };
    if (std::none_of(text.begin(), text.end(), isUpper))
        return text;
    QString result = text;
    for (QChar &c : result) {
        const char16_t u = c.unicode();
        if (u >= u'A' && u <= u'Z')
            c = QChar(char16_t(u + (u'a' - u'A')));
    }
    return result;
}

bool EqualsLowerAscii(const QString &text, QLatin1String word)
{
    if (text.size() != word.size())
        return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        char16_t u = text.at(i).unicode();
        if (u >= u'A' && u <= u'Z')
            u = char16_t(u + (u'a' - u'A'));
        if (u != char16_t(uchar(word.at(i).toLatin1())))
            return false;
    }
    return true;
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

QLatin1String CommandEscape(QChar c)
{
    switch (c.unicode()) {
    case u'\r':
        return QLatin1String("\\r");
    case u'\n':
        return QLatin1String("\\n");
    case u'\t':
        return QLatin1String("\\t");
    default:
        return QLatin1String();
    }
}

QString Readable(const QByteArray &bytes)
{
    static const char kHex[] = "0123456789ABCDEF";
    QString text;
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '\r') {
            text += QLatin1String("\\r");
        } else if (byte == '\n') {
            text += QLatin1String("\\n");
        } else if (byte == '\\') {
            text += QLatin1String("\\\\");
        } else if (byte < 0x20 || byte >= 0x7F) {
            text += QLatin1String("\\x");
            text += QLatin1Char(kHex[byte >> 4]);
            text += QLatin1Char(kHex[byte & 0x0F]);
        } else {
            text += QLatin1Char(c);
        }
    }
    return text;
}

QString FailureReason(const QIODevice *device, int systemError)
{
    const QString reason = device ? device->errorString() : QString();
    if (systemError != 0 && (reason.isEmpty() || reason == QLatin1String("Unknown error")))
        return qt_error_string(systemError);
    return reason;
}

namespace {

[[noreturn]] void throwUnstorable(const QString &text)
{
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
    Q_UNREACHABLE();
}

} // namespace

void WriteLine(QIODevice *aChannel, QLatin1String key, const QString &value)
{
    if (!aChannel || !aChannel->isWritable())
        throw VantrelError(QStringLiteral("the file is not open for writing"));
    // The check and the narrowing are separate loops without early exits, so
    // the compiler can run them over many characters at a time; a save of a
    // large file is mostly these two loops.
    const auto *text = reinterpret_cast<const char16_t *>(value.constData());
    const qsizetype size = value.size();
    bool storable = true;
    for (qsizetype i = 0; i < size; ++i)
        storable &= (text[i] <= 0xFF) & (text[i] != u'\r') & (text[i] != u'\n');
    if (!storable)
        throwUnstorable(value);

    QVarLengthArray<char, 1024> line(key.size() + size + 2);
    char *out = line.data();
    // A default QLatin1String has no data at all, and memcpy from a null
    // pointer is undefined even for no bytes.
    if (!key.isEmpty())
        std::memcpy(out, key.data(), size_t(key.size()));
    out += key.size();
    for (qsizetype i = 0; i < size; ++i)
        out[i] = char(text[i]);
    out[size] = '\r';
    out[size + 1] = '\n';

    errno = 0;
    const qint64 written = aChannel->write(line.constData(), line.size());
    if (written != line.size())
        throw VantrelError(
            QStringLiteral("writing failed: %1").arg(FailureReason(aChannel, errno)));
}

void WriteLine(QIODevice *aChannel, QLatin1String key, const CompactString &value)
{
    const QLatin1String text = value.isWide() ? QLatin1String() : value.latin1();
    // Text the file cannot hold takes the way above, which names what it
    // holds; most values are bytes that only need copying.
    const bool breaks = !text.isEmpty() && (std::memchr(text.data(), '\r', size_t(text.size())) ||
                                            std::memchr(text.data(), '\n', size_t(text.size())));
    if (value.isWide() || breaks) {
        WriteLine(aChannel, key, value.toString());
        return;
    }
    if (!aChannel || !aChannel->isWritable())
        throw VantrelError(QStringLiteral("the file is not open for writing"));
    errno = 0;
    bool written;
    if (auto *blocks = qobject_cast<LineBlocks *>(aChannel)) {
        written = blocks->appendLine(key, text);
    } else {
        QVarLengthArray<char, 1024> line(key.size() + text.size() + 2);
        char *out = line.data();
        if (!key.isEmpty())
            std::memcpy(out, key.data(), size_t(key.size()));
        if (!text.isEmpty())
            std::memcpy(out + key.size(), text.data(), size_t(text.size()));
        out[line.size() - 2] = '\r';
        out[line.size() - 1] = '\n';
        written = aChannel->write(line.constData(), line.size()) == line.size();
    }
    if (!written)
        throw VantrelError(
            QStringLiteral("writing failed: %1").arg(FailureReason(aChannel, errno)));
}

void WriteLine(QIODevice *aChannel, const QString &text)
{
    WriteLine(aChannel, QLatin1String(), text);
}

} // namespace VantrelText
