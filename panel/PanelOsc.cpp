#include "PanelOsc.h"

#include "PanelRemote.h"

#include <QJsonObject>
#include <QNetworkDatagram>
#include <QUdpSocket>
#include <cmath>
#include <cstring>
#include <lo/lo.h>
#include <memory>

namespace {

struct MessageFree
{
    void operator()(lo_message message) const { lo_message_free(message); }
};
using Message = std::unique_ptr<std::remove_pointer_t<lo_message>, MessageFree>;

// Reads an argument's number where liblo left it: in the message's bytes,
// aligned to four, while lo_arg's union asks for eight.
template <typename Number> Number copied(const char *bytes)
{
    Number number;
    std::memcpy(&number, bytes, sizeof number);
    return number;
}

// An OSC argument as JSON: numbers (whole floats too, as some consoles only
// send floats) and strings; anything else is not a valid argument.
std::optional<QJsonValue> argument(char type, const lo_arg *value)
{
    const auto *bytes = reinterpret_cast<const char *>(value);
    switch (type) {
    case LO_INT32:
        return QJsonValue(int(copied<qint32>(bytes)));
    case LO_INT64:
        return QJsonValue(double(copied<qint64>(bytes)));
    case LO_FLOAT:
        return QJsonValue(double(copied<float>(bytes)));
    case LO_DOUBLE:
        return QJsonValue(copied<double>(bytes));
    case LO_STRING:
    case LO_SYMBOL:
        return QJsonValue(QString::fromUtf8(bytes));
    default:
        return std::nullopt;
    }
}

QHostAddress plain(const QHostAddress &address)
{
    bool mapped = false;
    const quint32 v4 = address.toIPv4Address(&mapped);
    return mapped ? QHostAddress(v4) : address;
}

} // namespace

PanelOsc::PanelOsc(PanelRemote *remote, const QStringList &allowedSenders, QObject *parent)
    : QObject(parent), fRemote(remote), fSocket(new QUdpSocket(this))
{
    for (const QString &sender : allowedSenders) {
        const QHostAddress address(sender);
        if (!address.isNull())
            fAllowed.append(plain(address));
    }
    connect(fSocket, &QUdpSocket::readyRead, this, &PanelOsc::readDatagrams);
}

bool PanelOsc::listen(quint16 port, QString *problem)
{
    const QHostAddress where = fAllowed.isEmpty() ? QHostAddress(QHostAddress::LocalHost)
                                                  : QHostAddress(QHostAddress::Any);
    if (fSocket->bind(where, port))
        return true;
    *problem = QStringLiteral("OSC cannot listen on UDP port %1: %2")
                   .arg(port)
                   .arg(fSocket->errorString());
    return false;
}

quint16 PanelOsc::port() const
{
    return fSocket->localPort();
}

bool PanelOsc::allowed(const QHostAddress &sender) const
{
    const QHostAddress address = plain(sender);
    return address.isLoopback() || fAllowed.contains(address);
}

void PanelOsc::readDatagrams()
{
    while (fSocket->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = fSocket->receiveDatagram(kMaxDatagram);
        const QHostAddress sender = plain(datagram.senderAddress());
        const QString client =
            QStringLiteral("%1:%2").arg(sender.toString()).arg(datagram.senderPort());
        if (!allowed(sender)) {
            emit senderRefused(client);
            continue;
        }
        handle(datagram.data(), client);
    }
}

void PanelOsc::handle(const QByteArray &datagram, const QString &client)
{
    QByteArray data = datagram; // liblo turns the arguments' byte order in place
    int result = 0;
    const Message message(lo_message_deserialise(data.data(), size_t(data.size()), &result));
    if (!message) {
        emit messageRefused(client, QStringLiteral("not an OSC message (bundles are not taken)"));
        return;
    }
    const QByteArray path(lo_get_path(data.data(), data.size()));
    const QByteArray types(lo_message_get_types(message.get()));
    lo_arg **argv = lo_message_get_argv(message.get());
    QList<QJsonValue> arguments;
    for (qsizetype i = 0; i < types.size(); ++i) {
        const std::optional<QJsonValue> value = argument(types.at(i), argv[i]);
        if (!value) {
            emit messageRefused(client, QStringLiteral("%1: arguments must be numbers or strings")
                                            .arg(QString::fromUtf8(path)));
            return;
        }
        arguments.append(*value);
    }

    const TakeOrigin origin{TakeOrigin::Source::Osc, client};
    std::optional<PanelRemote::Refusal> refused;
    if (path == "/vantrel/take" && arguments.size() == 2) {
        const QJsonValue &row = arguments.at(0);
        QJsonObject request{{QStringLiteral("input"), arguments.at(1)}};
        request.insert(row.isString() ? QStringLiteral("output") : QStringLiteral("row"), row);
        refused = fRemote->take(request, origin, {});
    } else if (path == "/vantrel/take-all" && arguments.isEmpty()) {
        fRemote->takeAll(origin);
    } else if (path == "/vantrel/preset/recall" &&
               (arguments.size() == 1 || arguments.size() == 2)) {
        QJsonObject answer;
        refused = fRemote->recallPreset(
            {{QStringLiteral("name"), arguments.at(0)},
             {QStringLiteral("take"), arguments.size() == 2 && arguments.at(1).toDouble() != 0}},
            origin, &answer);
    } else {
        refused = PanelRemote::Refusal{400, QStringLiteral("unknown message %1 with %2 arguments")
                                                .arg(QString::fromUtf8(path).left(80))
                                                .arg(arguments.size())};
    }
    if (refused)
        emit messageRefused(client, refused->reason);
}
