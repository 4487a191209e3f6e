#pragma once

#include "clsVantrelOutput.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class QIODevice;
class clsVantrelParser;

// The whole configuration: nine communication settings held as text exactly
// as read or entered, the fixed option lists the editor offers, and the
// outputs. Lookups return 0-based positions so they fit a list's current
// index directly, -1 meaning no match.
class clsVantrelConfig
{
public:
    void Initialize();
    void Serialize(QIODevice *aChannel) const;
    // With `each`, every output is handed to it as soon as it is read and
    // then let go instead of being kept in fOutputs: a reader that passes
    // through a large file once never holds it whole.
    using OutputSink = std::function<void(clsVantrelOutput &output)>;
    void Deserialize(clsVantrelParser &Parser, const OutputSink &each = {});

    const QStringList &TypeCollection() const { return fTypeList; }
    const QStringList &CommPortCollection() const { return fCommPortList; }
    const QStringList &BaudRateCollection() const { return fBaudRateList; }
    const QStringList &DataBitsCollection() const { return fDataBitsList; }
    const QStringList &ParityCollection() const { return fParityList; }
    const QStringList &StopBitsCollection() const { return fStopBitsList; }
    const QStringList &ProtocolCollection() const { return fProtocolList; }

    int TypeIndex(const QString &Text) const { return indexIn(fTypeList, Text); }
    int CommPortIndex(const QString &Text) const { return indexIn(fCommPortList, Text); }
    int BaudRateIndex(const QString &Text) const { return indexIn(fBaudRateList, Text); }
    int DataBitsIndex(const QString &Text) const { return indexIn(fDataBitsList, Text); }
    int ParityIndex(const QString &Text) const { return indexIn(fParityList, Text); }
    int StopBitsIndex(const QString &Text) const { return indexIn(fStopBitsList, Text); }
    int ProtocolIndex(const QString &Text) const { return indexIn(fProtocolList, Text); }

    QString fType;
    QString fCommPort;
    QString fBaudRate;
    QString fDataBits;
    QString fParity;
    QString fStopBits;
    QString fProtocol;
    QString fIPAddress;
    QString fPort;
    QList<std::shared_ptr<clsVantrelOutput>> fOutputs;

private:
    static int indexIn(const QStringList &list, const QString &text);

    QStringList fTypeList;
    QStringList fCommPortList;
    QStringList fBaudRateList;
    QStringList fDataBitsList;
    QStringList fParityList;
    QStringList fStopBitsList;
    QStringList fProtocolList;
};
