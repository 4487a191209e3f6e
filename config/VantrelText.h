#pragma once

#include "CompactString.h"

#include <QByteArray>
#include <QString>

class QIODevice;

// The file holds one byte per character. QString carries those bytes as
// Latin-1, which maps every byte value to one character and back unchanged.
namespace VantrelText {

// Spaces only: tabs and other blanks are part of the text.
QString TrimSpaces(const QString &text);
// ASCII letters only, so comparisons do not depend on the locale.
QString LowerAscii(const QString &text);
// LowerAscii(text) == word for a word in lower case, without a copy.
bool EqualsLowerAscii(const QString &text, QLatin1String word);
// The same for the file's bytes as read, Latin-1 as everywhere. Inline: a
// load matches every key of the file with it.
inline bool EqualsLowerAscii(QLatin1String text, QLatin1String word)
{
    if (text.size() != word.size())
        return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        uchar c = uchar(text.data()[i]);
        if (c >= 'A' && c <= 'Z')
            c = uchar(c + ('a' - 'A'));
        if (c != uchar(word.data()[i]))
            return false;
    }
    return true;
}
// True when the character fits one byte of the file.
inline bool FitsByte(QChar c)
{
    return c.unicode() <= 0xFF;
}
// True when every character fits one byte of the file.
bool IsStorable(const QString &text);
// "U+2603", to name a character in a message.
QString CodePoint(QChar c);
// Makes text storable in a single-line field: drops CR and LF and every
// character above U+00FF. Used by the windows to filter typing and pasting.
QString StorableLine(const QString &text);

// The escape a command stores for a character its single line cannot hold
// as is: \r, \n or \t for CR, LF and tab (decoded back when it is
// sent); empty for every other character. Pasted or imported commands send
// exactly what was pasted.
QLatin1String CommandEscape(QChar c);

// Bytes made readable on one line: CR as \r, LF as \n, backslash as \\,
// every other byte below 0x20 or from 0x7F up as \xNN; the rest as is. The
// simulator logs what it receives in this notation and vantrelctl shows
// commands in it, so the two can be compared by eye.
QString Readable(const QByteArray &bytes);

// The reason a device gave for its last failure. Qt reports a short write to
// a file as "Unknown error"; the system's own reason (errno) says more.
QString FailureReason(const QIODevice *device, int systemError);

// The writing primitive of every Serialize: one line followed by CR LF.
// Throws VantrelError when the text cannot be stored or the write fails.
void WriteLine(QIODevice *aChannel, const QString &text);
// The line "<key><value>", as above, without building it first.
void WriteLine(QIODevice *aChannel, QLatin1String key, const QString &value);
void WriteLine(QIODevice *aChannel, QLatin1String key, const CompactString &value);

} // namespace VantrelText
