#include "clsVantrelOutput.h"

#include "VantrelError.h"
#include "VantrelText.h"
#include "clsVantrelParser.h"

#include <cfenv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

using VantrelText::WriteLine;

bool ParseSelectedValue(const QString &text, qint16 &result)
{
    // Only the leading number counts ("7abc" is 7); blanks inside the number
    // and base prefixes are not accepted, so "&H10" and "1 2" read as 0 and 1.
    std::string number;
    qsizetype i = 0;
    const qsizetype n = text.size();
    auto at = [&](qsizetype k) {
        return k < n ? text.at(k).unicode() : char16_t(0);
    };
    auto isDigit = [](char16_t c) {
        return c >= u'0' && c <= u'9';
    };

    if (at(i) == u'+' || at(i) == u'-')
        number += char(at(i++));
    qsizetype digits = 0;
    while (isDigit(at(i))) {
        number += char(at(i++));
        ++digits;
    }
    if (at(i) == u'.') {
        qsizetype k = i + 1;
        std::string fraction = ".";
        while (isDigit(at(k)))
            fraction += char(at(k++));
        if (fraction.size() > 1 || digits > 0) {
            digits += qsizetype(fraction.size()) - 1;
            number += fraction;
            i = k;
        }
    }
    if (digits == 0) {
        result = 0;
        return true;
    }
    if (at(i) == u'e' || at(i) == u'E') {
        qsizetype k = i + 1;
        std::string exponent = "e";
        if (at(k) == u'+' || at(k) == u'-')
            exponent += char(at(k++));
        if (isDigit(at(k))) {
            while (isDigit(at(k)))
                exponent += char(at(k++));
            number += exponent;
        }
    }

    const double value = std::strtod(number.c_str(), nullptr); // inf on overflow
    const int oldMode = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double rounded = std::nearbyint(value);
    std::fesetround(oldMode);
    if (!(rounded >= std::numeric_limits<qint16>::min() &&
          rounded <= std::numeric_limits<qint16>::max()))
        return false;
    result = static_cast<qint16>(rounded);
    return true;
}

void clsVantrelOutput::Initialize()
{
    fOutputName.clear();
    fSelected = -1;
    fInputs.clear();
}

void clsVantrelOutput::Serialize(QIODevice *aChannel) const
{
    WriteLine(aChannel, QString());
    WriteLine(aChannel, QStringLiteral("[output]"));
    WriteLine(aChannel, QStringLiteral("name=") + fOutputName);
    WriteLine(aChannel, QStringLiteral("selected=") + QString::number(fSelected));
    for (const auto &input : fInputs)
        input->Serialize(aChannel);
}

void clsVantrelOutput::Deserialize(clsVantrelParser &Parser)
{
    while (Parser.fItemType == clsVantrelParser::Entry) {
        const QString key = VantrelText::LowerAscii(Parser.fItem);
        if (key == QLatin1String("name")) {
            fOutputName = Parser.fValue;
        } else if (key == QLatin1String("selected")) {
            if (!ParseSelectedValue(Parser.fValue, fSelected))
                throw VantrelError(QStringLiteral("line %1: selected value %2 is out of range")
                                       .arg(Parser.fLine)
                                       .arg(Parser.fValue.left(40)));
        }
        Parser.GetNextItem();
    }
    while (Parser.fItemType == clsVantrelParser::SectionHeader &&
           VantrelText::LowerAscii(Parser.fItem) == QLatin1String("input")) {
        auto input = std::make_shared<clsVantrelInput>();
        input->Initialize();
        fInputs.append(input);
        Parser.GetNextItem();
        input->Deserialize(Parser);
    }
}
