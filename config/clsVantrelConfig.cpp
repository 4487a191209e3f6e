#include "clsVantrelConfig.h"

#include "VantrelText.h"
#include "clsVantrelParser.h"

using VantrelText::WriteLine;

void clsVantrelConfig::Initialize()
{
    fTypeList = {QStringLiteral("Serial"), QStringLiteral("Network")};
    fCommPortList.clear();
    for (int port = 1; port <= 9; ++port)
        fCommPortList.append(QStringLiteral("COM%1").arg(port));
    fBaudRateList = {QStringLiteral("300"),   QStringLiteral("600"),   QStringLiteral("1200"),
                     QStringLiteral("2400"),  QStringLiteral("4800"),  QStringLiteral("9600"),
                     QStringLiteral("14400"), QStringLiteral("19200"), QStringLiteral("28800"),
                     QStringLiteral("38400"), QStringLiteral("57600"), QStringLiteral("115200"),
                     QStringLiteral("230400")};
    fDataBitsList = {QStringLiteral("7"), QStringLiteral("8")};
    fParityList = {QStringLiteral("N"), QStringLiteral("E"), QStringLiteral("O")};
    fStopBitsList = {QStringLiteral("1"), QStringLiteral("2")};
    fProtocolList = {QStringLiteral("TCP"), QStringLiteral("UDP")};

    fType = QStringLiteral("Serial");
    fCommPort = QStringLiteral("1");
    fBaudRate = QStringLiteral("9600");
    fDataBits = QStringLiteral("8");
    fParity = QStringLiteral("n");
    fStopBits = QStringLiteral("1");
    fProtocol = QStringLiteral("TCP");
    fIPAddress = QStringLiteral("127.0.0.0");
    fPort = QStringLiteral("3001");

    fOutputs.clear();
}

void clsVantrelConfig::Serialize(QIODevice *aChannel) const
{
    WriteLine(aChannel, QStringLiteral("[vantrel]"));
    WriteLine(aChannel, QLatin1String("type="), fType);
    WriteLine(aChannel, QLatin1String("commport="), fCommPort);
    WriteLine(aChannel, QLatin1String("baudrate="), fBaudRate);
    WriteLine(aChannel, QLatin1String("databits="), fDataBits);
    WriteLine(aChannel, QLatin1String("parity="), fParity);
    WriteLine(aChannel, QLatin1String("stopbits="), fStopBits);
    WriteLine(aChannel, QLatin1String("protocol="), fProtocol);
    WriteLine(aChannel, QLatin1String("ipaddress="), fIPAddress);
    WriteLine(aChannel, QLatin1String("port="), fPort);
    for (const auto &output : fOutputs)
        output->Serialize(aChannel);
}

void clsVantrelConfig::Deserialize(clsVantrelParser &Parser, const OutputSink &each)
{
    // The settings header is matched with its letter case: "[Vantrel]" is
    // not ours, and then nothing at all is read.
    if (Parser.fItemType != clsVantrelParser::SectionHeader ||
        Parser.fRawItem != QLatin1String("vantrel"))
        return;
    Parser.GetNextItem();

    while (Parser.fItemType == clsVantrelParser::Entry) {
        const QLatin1String key = Parser.fRawItem;
        QString *field = nullptr;
        if (key == QLatin1String("type"))
            field = &fType;
        else if (key == QLatin1String("commport"))
            field = &fCommPort;
        else if (key == QLatin1String("baudrate"))
            field = &fBaudRate;
        else if (key == QLatin1String("databits"))
            field = &fDataBits;
        else if (key == QLatin1String("parity"))
            field = &fParity;
        else if (key == QLatin1String("stopbits"))
            field = &fStopBits;
        else if (key == QLatin1String("protocol"))
            field = &fProtocol;
        else if (key == QLatin1String("ipaddress"))
            field = &fIPAddress;
        else if (key == QLatin1String("port"))
            field = &fPort;
        if (field)
            *field = Parser.fRawValue;
        Parser.GetNextItem();
    }

    qsizetype inputs = 0;
    while (Parser.fItemType == clsVantrelParser::SectionHeader &&
           Parser.fRawItem == QLatin1String("output")) {
        auto output = std::make_shared<clsVantrelOutput>();
        output->Initialize();
        // Outputs mostly have as many inputs as the one before: room for
        // them up front spares the list its growing steps.
        output->fInputs.reserve(inputs);
        if (!each)
            fOutputs.append(output);
        Parser.GetNextItem();
        output->Deserialize(Parser);
        inputs = output->fInputs.size();
        if (each)
            each(*output);
    }
}

int clsVantrelConfig::indexIn(const QStringList &list, const QString &text)
{
    // No early exit: with equal entries the last one wins.
    int result = -1;
    const QString wanted = VantrelText::LowerAscii(text);
    for (int i = 0; i < list.size(); ++i) {
        if (VantrelText::LowerAscii(list.at(i)) == wanted)
            result = i;
    }
    return result;
}
