#pragma once

#include "CompactString.h"
#include "clsVantrelInput.h"

#include <QList>
#include <QString>
#include <memory>

class QIODevice;
class clsVantrelParser;

// One destination of the switcher. fSelected is the 0-based position of the
// chosen input (-1 for none); nothing here checks that it names an input.
class clsVantrelOutput
{
public:
    void Initialize();
    void Serialize(QIODevice *aChannel) const { Serialize(aChannel, fSelected); }
    // As it would be with another choice: a merge writes its own outputs
    // with the choices the file holds now.
    void Serialize(QIODevice *aChannel, qint16 selected) const;
    void Deserialize(clsVantrelParser &Parser);

    CompactString fOutputName;
    qint16 fSelected = -1;
    // Held by value: a large file has hundreds of thousands of inputs, and a
    // pointer and a count of owners each would cost a fifth of their memory.
    QList<clsVantrelInput> fInputs;
};

// Reads the "selected" value: its leading decimal number (sign, digits,
// fraction, exponent; blanks before it skipped), rounded half to even; 0 when
// there is none. Returns false when the rounded value does not fit 16 bits.
bool ParseSelectedValue(const QString &text, qint16 &result);
// The same for the file's bytes, as a load reads them.
bool ParseSelectedValue(QLatin1String text, qint16 &result);
