#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

// Numbers in the file's texts, read the way its settings have always been
// read: a whole text as a number (the serial port), the leading number of a
// text (the network port, an output's "selected"), and rounding half to even
// when a fraction meets an integer. Decimal only: no base prefixes, no blanks
// inside a number.
namespace VantrelNumbers {

// The whole text (blanks around it allowed) as a decimal number with optional
// sign, fraction and exponent; nullopt when it is anything else or empty.
std::optional<double> parseNumber(const QString &text);

// The number at the start of the text after leading blanks, 0 if there is none.
double leadingNumber(const QString &text);

// Rounded half to even; nullopt when the result does not fit.
std::optional<int> toInteger16(double value);
std::optional<qint32> toInteger32(double value);

} // namespace VantrelNumbers
