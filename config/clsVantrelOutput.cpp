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
            const QString value = Parser.fRawValue;
            if (!ParseSelectedValue(value, fSelected))
                throw VantrelError(QStringLiteral("line %1: selected value %2 is out of range")
                                       .arg(Parser.fLine)
                                       .arg(value.left(40)));
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
