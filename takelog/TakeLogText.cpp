#include "TakeLogText.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

QString quoted(const QString &text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QString valueText(const QJsonValue &value)
{
    if (value.isString())
        return quoted(value.toString());
    if (value.isDouble())
        return QString::number(value.toInteger());
    if (value.isArray()) {
        QStringList items;
        for (const QJsonValue &item : value.toArray())
            items << valueText(item);
        return QLatin1Char('[') + items.join(QStringLiteral(", ")) + QLatin1Char(']');
    }
    return QString::fromUtf8(QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact))
        .mid(1)
        .chopped(1);
}

QString takeText(const QJsonObject &e)
{
    const QString outcome = e.value(QLatin1String("outcome")).toString();
    const qint64 attempts = e.value(QLatin1String("attempts")).toInteger();
    QString text = QStringLiteral("row %1 %2 <- %3: %4")
                       .arg(e.value(QLatin1String("row")).toInteger())
                       .arg(quoted(e.value(QLatin1String("output")).toString()),
                            quoted(e.value(QLatin1String("input")).toString()), outcome);
    if (attempts > 1)
        text += QStringLiteral(" after %1 attempts").arg(attempts);
    text += QStringLiteral(" in %1 ms, %2")
                .arg(e.value(QLatin1String("duration_ms")).toInteger())
                .arg(e.value(QLatin1String("source")).toString());
    const QString client = e.value(QLatin1String("client")).toString();
    if (!client.isEmpty())
        text += QLatin1Char(' ') + client;
    return text + QStringLiteral(", %1, command %2")
                      .arg(e.value(QLatin1String("link")).toString(),
                           e.value(QLatin1String("command")).toString());
}

} // namespace

QString TakeLogText::line(const QJsonObject &event)
{
    const QString kind = event.value(QLatin1String("event")).toString();
    QString text =
        event.value(QLatin1String("time")).toString().replace(QLatin1Char('T'), QLatin1Char(' ')) +
        QStringLiteral("  ") + kind + QStringLiteral("  ");
    if (kind == QLatin1String("take"))
        return text + takeText(event);
    QStringList fields;
    for (auto it = event.constBegin(); it != event.constEnd(); ++it) {
        if (it.key() != QLatin1String("time") && it.key() != QLatin1String("event"))
            fields << it.key() + QLatin1Char('=') + valueText(it.value());
    }
    return text + fields.join(QLatin1Char(' '));
}

QStringList TakeLogText::failures(const QJsonObject &event)
{
    QStringList lines;
    const QJsonArray reasons = event.value(QLatin1String("failures")).toArray();
    for (qsizetype i = 0; i < reasons.size(); ++i)
        lines << QStringLiteral("attempt %1: %2").arg(i + 1).arg(reasons.at(i).toString());
    return lines;
}
