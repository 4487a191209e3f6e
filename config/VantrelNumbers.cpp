#include "VantrelNumbers.h"

#include <cmath>
#include <limits>

namespace VantrelNumbers {
namespace {

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// Scans sign, digits, fraction and exponent from pos; returns the end of the
// number, or pos itself when no digit was found.
qsizetype scanNumber(const QString &text, qsizetype pos)
{
    qsizetype i = pos;
    const qsizetype n = text.size();
    if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-')))
        ++i;
    qsizetype digits = 0;
    while (i < n && isDigit(text[i])) {
        ++i;
        ++digits;
    }
    if (i < n && text[i] == QLatin1Char('.')) {
        ++i;
        while (i < n && isDigit(text[i])) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return pos;
    // An exponent only counts when digits follow it: "3e" reads as 3.
    if (i < n && (text[i] == QLatin1Char('e') || text[i] == QLatin1Char('E'))) {
        qsizetype j = i + 1;
        if (j < n && (text[j] == QLatin1Char('+') || text[j] == QLatin1Char('-')))
            ++j;
        if (j < n && isDigit(text[j])) {
            while (j < n && isDigit(text[j]))
                ++j;
            i = j;
        }
    }
    return i;
}

double toDouble(const QString &text, qsizetype from, qsizetype to)
{
    bool ok = false;
    const double value = QStringView(text).mid(from, to - from).toDouble(&ok);
    if (ok)
        return value;
    // The text is a well-formed number, so Qt refuses it only when it does
    // not fit a double: too large gives an infinity, too close to zero gives
    // 0, which is what such a number rounds to.
    return std::isinf(value) ? value : 0.0;
}

template <typename T> std::optional<T> roundToInteger(double value)
{
    if (!std::isfinite(value))
        return std::nullopt;
    // nearbyint rounds half to even in the default rounding mode.
    const double rounded = std::nearbyint(value);
    if (rounded < static_cast<double>(std::numeric_limits<T>::min()) ||
        rounded > static_cast<double>(std::numeric_limits<T>::max()))
        return std::nullopt;
    return static_cast<T>(rounded);
}

} // namespace

std::optional<double> parseNumber(const QString &text)
{
    qsizetype begin = 0;
    while (begin < text.size() && isBlank(text[begin]))
        ++begin;
    const qsizetype end = scanNumber(text, begin);
    if (end == begin)
        return std::nullopt;
    for (qsizetype i = end; i < text.size(); ++i) {
        if (!isBlank(text[i]))
            return std::nullopt;
    }
    const double value = toDouble(text, begin, end);
    if (!std::isfinite(value))
        return std::nullopt;
    return value;
}

double leadingNumber(const QString &text)
{
    qsizetype begin = 0;
    while (begin < text.size() && isBlank(text[begin]))
        ++begin;
    const qsizetype end = scanNumber(text, begin);
    if (end == begin)
        return 0.0;
    return toDouble(text, begin, end);
}

std::optional<int> toInteger16(double value)
{
    return roundToInteger<qint16>(value);
}

std::optional<qint32> toInteger32(double value)
{
    return roundToInteger<qint32>(value);
}

} // namespace VantrelNumbers
