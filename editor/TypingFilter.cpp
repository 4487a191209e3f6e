#include "TypingFilter.h"

#include "VantrelText.h"

#include <QLineEdit>
#include <algorithm>
#include <limits>

TypingFilter::TypingFilter(QLineEdit *edit, Mode mode, int limit)
    : QValidator(edit), fEdit(edit), fMode(mode), fLimit(limit), fAccepted(edit->text())
{
    // A text box holds 32767 characters unless told otherwise, and would cut
    // a longer stored value that Close or OK then saves cut.
    edit->setMaxLength(std::numeric_limits<int>::max());
    connect(edit, &QLineEdit::textChanged, this, [this](const QString &text) { fAccepted = text; });
    edit->setValidator(this);
}

void TypingFilter::setText(const QString &text)
{
    fFromCode = true;
    fEdit->setText(text);
    fFromCode = false;
    // From its start: setText() leaves the cursor, and so the view, at the
    // end of a long value.
    fEdit->setCursorPosition(0);
}

QString TypingFilter::filtered(const QString &segment) const
{
    QString result;
    result.reserve(segment.size());
    for (const QChar c : segment) {
        if (!VantrelText::FitsByte(c))
            continue; // the file cannot hold it
        const QLatin1String escape =
            fMode == Mode::Command ? VantrelText::CommandEscape(c) : QLatin1String();
        if (!escape.isEmpty())
            result += escape;
        else if (c != QLatin1Char('\r') && c != QLatin1Char('\n'))
            result += c;
    }
    return result;
}

QValidator::State TypingFilter::validate(QString &input, int &pos) const
{
    if (fFromCode)
        return Acceptable;

    // Typing and pasting change one stretch that ends at the cursor; the
    // text after the cursor is what it was.
    const int newSize = int(input.size());
    const int oldSize = int(fAccepted.size());
    int suffix = 0;
    while (suffix < newSize - pos && suffix < oldSize &&
           input.at(newSize - 1 - suffix) == fAccepted.at(oldSize - 1 - suffix))
        ++suffix;
    int prefix = 0;
    const int prefixMax = std::min(newSize, oldSize) - suffix;
    while (prefix < prefixMax && input.at(prefix) == fAccepted.at(prefix))
        ++prefix;

    QString segment = filtered(input.mid(prefix, newSize - suffix - prefix));
    if (fLimit > 0) {
        // What is inserted is cut to the room the kept text leaves, as a
        // limited box cuts a paste. A stored text longer than the limit
        // leaves no room, but can still be shortened or replaced.
        const int room = std::max(0, fLimit - (prefix + suffix));
        if (segment.size() > room)
            segment.truncate(room);
    }

    input = input.left(prefix) + segment + input.right(suffix);
    pos = prefix + int(segment.size());
    return Acceptable;
}
