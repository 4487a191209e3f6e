#include "TakeEvent.h"

#include <QDateTime>

TakeEvent::TakeEvent(const QString &kind, qint64 msecsSinceEpoch)
    : fKind(kind),
      fTime(msecsSinceEpoch >= 0 ? msecsSinceEpoch : QDateTime::currentMSecsSinceEpoch())
{}

TakeEvent &TakeEvent::add(QLatin1String key, const QString &value)
{
    fFields.append({key, value});
    return *this;
}

TakeEvent &TakeEvent::add(QLatin1String key, qint64 value)
{
    fFields.append({key, value});
    return *this;
}

TakeEvent &TakeEvent::add(QLatin1String key, const QStringList &value)
{
    fFields.append({key, value});
    return *this;
}

QString TakeEvent::localTime(qint64 msecsSinceEpoch)
{
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(msecsSinceEpoch);
    // As a fixed offset, so the text carries it ("+01:00", or "Z" for UTC).
    return local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

QByteArray TakeEvent::quoted(const QString &text)
{
    // Written by hand, not through QJsonDocument, to keep the fields in the
    // order a reader expects them; QJsonObject sorts its keys.
    const QByteArray utf8 = text.toUtf8();
    QByteArray out;
    out.reserve(utf8.size() + 2);
    out += '"';
    for (const char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (u < 0x20 || u == 0x7F) {
                static const char kHex[] = "0123456789abcdef";
                out += "\\u00";
                out += kHex[u >> 4];
                out += kHex[u & 0xF];
            } else {
                out += c;
            }
        }
    }
    out += '"';
    return out;
}

QByteArray TakeEvent::toJsonLine() const
{
    QByteArray line = "{\"time\":" + quoted(localTime(fTime)) + ",\"event\":" + quoted(fKind);
    for (const Field &field : fFields) {
        line += ",\"" + QByteArray(field.key.data(), field.key.size()) + "\":";
        if (const auto *text = std::get_if<QString>(&field.value)) {
            line += quoted(*text);
        } else if (const auto *number = std::get_if<qint64>(&field.value)) {
            line += QByteArray::number(*number);
        } else {
            line += '[';
            const QStringList &items = std::get<QStringList>(field.value);
            for (qsizetype i = 0; i < items.size(); ++i)
                line += (i ? "," : "") + quoted(items.at(i));
            line += ']';
        }
    }
    line += "}\n";
    return line;
}
