#include "CtlStatus.h"

#include "PanelClient.h"

#include <QFileInfo>
#include <QIODevice>
#include <QJsonArray>
#include <QJsonDocument>

namespace CtlStatus {

int Run(const QString &configPath, bool json, QIODevice &out, QIODevice &err)
{
    PanelClient panel;
    QJsonObject state;
    if (panel.connectTo(configPath))
        state = panel.request({{QStringLiteral("command"), QStringLiteral("rows")}});
    if (!state.value(QLatin1String("ok")).toBool()) {
        err.write(QStringLiteral("vantrelctl status: no panel has %1 open%2\n")
                      .arg(QFileInfo(configPath).absoluteFilePath(),
                           state.isEmpty() ? QString()
                                           : QStringLiteral(": ") +
                                                 state.value(QLatin1String("error")).toString())
                      .toUtf8());
        return 1;
    }
    state.remove(QStringLiteral("ok"));
    if (json) {
        out.write(QJsonDocument(state).toJson(QJsonDocument::Indented));
        return 0;
    }

    QList<QStringList> table{{QStringLiteral("ROW"), QStringLiteral("OUTPUT"),
                              QStringLiteral("CHOSEN"), QStringLiteral("PENDING"),
                              QStringLiteral("LAST")}};
    for (const QJsonValue &value : state.value(QLatin1String("rows")).toArray()) {
        const QJsonObject row = value.toObject();
        if (!row.value(QLatin1String("enabled")).toBool())
            continue;
        const int chosen = row.value(QLatin1String("chosen")).toInt();
        QString last = row.value(QLatin1String("result")).toString();
        if (row.value(QLatin1String("busy")).toBool())
            last = QStringLiteral("sending");
        else if (last == QLatin1String("failed"))
            last += QStringLiteral(": ") + row.value(QLatin1String("resultText"))
                                               .toString()
                                               .section(QLatin1Char('\n'), -1)
                                               .trimmed();
        table.append({QString::number(row.value(QLatin1String("row")).toInt()),
                      row.value(QLatin1String("output")).toString(),
                      chosen > 0
                          ? row.value(QLatin1String("inputs")).toArray().at(chosen - 1).toString()
                          : QStringLiteral("-"),
                      row.value(QLatin1String("pending")).toBool() ? QStringLiteral("yes")
                                                                   : QStringLiteral("no"),
                      last});
    }
    QList<qsizetype> widths(table.first().size(), 0);
    for (const QStringList &line : std::as_const(table)) {
        for (qsizetype column = 0; column < line.size(); ++column)
            widths[column] = std::max(widths[column], line.at(column).size());
    }
    QString text;
    for (const QStringList &line : std::as_const(table)) {
        for (qsizetype column = 0; column + 1 < line.size(); ++column)
            text += line.at(column).leftJustified(widths[column] + 2);
        text += line.last() + QLatin1Char('\n');
    }
    out.write(text.toUtf8());
    return 0;
}

} // namespace CtlStatus
