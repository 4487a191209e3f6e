#pragma once

#include <QString>
#include <QValidator>

class QLineEdit;

// Keeps what the user types or pastes into a text box storable in the file's
// single-byte lines, and applies the box's length limit to typing only: a
// longer text set from code is shown whole and can be shortened, but typing
// cannot make it longer. (QLineEdit::setMaxLength would also cut text set
// from code.) Only the part that typing or pasting changed is filtered, so a
// stored value shown in the box stays exactly as it was.
class TypingFilter : public QValidator
{
    Q_OBJECT

public:
    enum class Mode
    {
        // Line breaks are dropped: a name or setting has one line.
        Line,
        // Line breaks and tabs become their escape text, which the panel
        // decodes when it sends, so the command sends exactly what was pasted.
        Command,
    };

    // Installs itself on the box; a limit of 0 means none.
    TypingFilter(QLineEdit *edit, Mode mode, int limit = 0);

    // Shows a stored value unchanged, whatever its length.
    void setText(const QString &text);

    State validate(QString &input, int &pos) const override;

private:
    QString filtered(const QString &segment) const;

    QLineEdit *fEdit;
    Mode fMode;
    int fLimit;
    bool fFromCode = false;
    // The text the box last accepted, from typing or from code.
    QString fAccepted;
};
