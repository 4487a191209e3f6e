#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

// Number conversions as the settings have always been read: a whole text as
// a number for the serial port, the leading number of a text for the network
// port, and rounding half to even when a fraction meets an integer.
namespace LinkNumbers {

// The whole text (blanks around it allowed) as a decimal number with optional
// sign, fraction and exponent; nullopt when it is anything else or empty.
std::optional<double> parseNumber(const QString &text);

// The number at the start of the text after leading blanks, 0 if there is none.
double leadingNumber(const QString &text);

// Rounded half to even; nullopt when the result does not fit.
std::optional<int> toInteger16(double value);
std::optional<qint32> toInteger32(double value);

} // namespace LinkNumbers
