#include "TakeJournal.h"

#include "TakeLogText.h"

#include <QFileInfo>
#include <QJsonArray>
#include <vector>

#ifdef VANTREL_HAVE_JOURNAL
#include <sys/uio.h>
#include <systemd/sd-journal.h>
#endif

bool TakeJournal::available()
{
#ifdef VANTREL_HAVE_JOURNAL
    return QFileInfo::exists(QStringLiteral("/run/systemd/journal/socket"));
#else
    return false;
#endif
}

int TakeJournal::priority(const QJsonObject &event)
{
    const QString kind = event.value(QLatin1String("event")).toString();
    const QString outcome = event.value(QLatin1String("outcome")).toString();
    if (kind == QLatin1String("save") && outcome == QLatin1String("failed"))
        return 3;
    if (outcome == QLatin1String("failed") || kind == QLatin1String("refused") ||
        kind == QLatin1String("dropped"))
        return 4;
    return 6;
}

QList<QByteArray> TakeJournal::fields(const QJsonObject &event, const QByteArray &identifier)
{
    QString message = TakeLogText::line(event);
    const QStringList failures = TakeLogText::failures(event);
    if (!failures.isEmpty())
        message += QStringLiteral("; ") + failures.join(QStringLiteral("; "));
    QList<QByteArray> fields = {"MESSAGE=" + message.toUtf8(),
                                "PRIORITY=" + QByteArray::number(priority(event)),
                                "SYSLOG_IDENTIFIER=" + identifier};
    for (auto it = event.constBegin(); it != event.constEnd(); ++it) {
        // Journal field names are upper-case letters, digits and underscores.
        const QByteArray name = "VANTREL_" + it.key().toUpper().toLatin1().replace('-', '_');
        QByteArray value;
        if (it.value().isArray()) {
            QStringList items;
            for (const QJsonValue &item : it.value().toArray())
                items << item.toString();
            value = items.join(QStringLiteral("; ")).toUtf8();
        } else if (it.value().isDouble()) {
            value = QByteArray::number(it.value().toInteger());
        } else {
            value = it.value().toString().toUtf8();
        }
        fields << name + '=' + value;
    }
    return fields;
}

bool TakeJournal::send(const QList<QByteArray> &fields)
{
#ifdef VANTREL_HAVE_JOURNAL
    std::vector<iovec> parts;
    parts.reserve(size_t(fields.size()));
    for (const QByteArray &field : fields)
        parts.push_back({const_cast<char *>(field.constData()), size_t(field.size())});
    return sd_journal_sendv(parts.data(), int(parts.size())) >= 0;
#else
    Q_UNUSED(fields)
    return false;
#endif
}
