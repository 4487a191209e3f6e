#include "clsVantrelOutput.h"

#include "VantrelError.h"
#include "VantrelNumbers.h"
#include "VantrelText.h"
#include "clsVantrelParser.h"

using VantrelText::WriteLine;

bool ParseSelectedValue(const QString &text, qint16 &result)
{
    const std::optional<int> value =
        VantrelNumbers::toInteger16(VantrelNumbers::leadingNumber(text));
    if (!value)
        return false;
    result = static_cast<qint16>(*value);
    return true;
}

bool ParseSelectedValue(QLatin1String text, qint16 &result)
{
    // What the writer puts there, a plain integer, is read here directly:
    // through a double it took a tenth of a large load. Anything else, and
    // a number that may not fit, takes the general way.
    const char *digits = text.data();
    const char *end = digits + text.size();
    const bool negative = digits < end && *digits == '-';
    if (negative)
        ++digits;
    if (digits < end && end - digits <= 4) {
        int value = 0;
        for (const char *c = digits; c < end && value >= 0; ++c)
            value = *c >= '0' && *c <= '9' ? value * 10 + (*c - '0') : -1;
        if (value >= 0) {
            result = qint16(negative ? -value : value);
            return true;
        }
    }
    return ParseSelectedValue(QString(text), result);
}

void clsVantrelOutput::Initialize()
{
    fOutputName.clear();
    fSelected = -1;
    fInputs.clear();
}

void clsVantrelOutput::Serialize(QIODevice *aChannel, qint16 selected) const
{
    WriteLine(aChannel, QString());
    WriteLine(aChannel, QStringLiteral("[output]"));
    WriteLine(aChannel, QLatin1String("name="), fOutputName);
    WriteLine(aChannel, QLatin1String("selected="), QString::number(selected));
    for (const auto &input : fInputs)
        input.Serialize(aChannel);
}

void clsVantrelOutput::Deserialize(clsVantrelParser &Parser)
{
    while (Parser.fItemType == clsVantrelParser::Entry) {
        const QLatin1String key = Parser.fRawItem;
        if (VantrelText::EqualsLowerAscii(key, QLatin1String("name"))) {
            fOutputName = Parser.ValueText();
        } else if (VantrelText::EqualsLowerAscii(key, QLatin1String("selected"))) {
            if (!ParseSelectedValue(Parser.fRawValue, fSelected))
                throw VantrelError(QStringLiteral("line %1: selected value %2 is out of range")
                                       .arg(Parser.fLine)
                                       .arg(QString(Parser.fRawValue).left(40)));
        }
        Parser.GetNextItem();
    }
    while (Parser.fItemType == clsVantrelParser::SectionHeader &&
           VantrelText::EqualsLowerAscii(Parser.fRawItem, QLatin1String("input"))) {
        clsVantrelInput &input = fInputs.emplace_back();
        input.Initialize();
        Parser.GetNextItem();
        input.Deserialize(Parser);
    }
}
