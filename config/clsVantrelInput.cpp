#include "clsVantrelInput.h"

#include "VantrelText.h"
#include "clsVantrelParser.h"

using VantrelText::WriteLine;

void clsVantrelInput::Initialize()
{
    fInputName.clear();
    fCommand.clear();
}

void clsVantrelInput::Serialize(QIODevice *aChannel) const
{
    WriteLine(aChannel, QString());
    WriteLine(aChannel, QStringLiteral("[input]"));
    WriteLine(aChannel, QLatin1String("name="), fInputName);
    WriteLine(aChannel, QLatin1String("command="), fCommand);
}

void clsVantrelInput::Deserialize(clsVantrelParser &Parser)
{
    while (Parser.fItemType == clsVantrelParser::Entry) {
        const QLatin1String key = Parser.fRawItem;
        if (VantrelText::EqualsLowerAscii(key, QLatin1String("name")))
            fInputName = Parser.ValueText(CompactString::Sharing::Repeats);
        else if (Parser.fKeepCommands &&
                 VantrelText::EqualsLowerAscii(key, QLatin1String("command")))
            fCommand = Parser.ValueText();
        Parser.GetNextItem();
    }
}
