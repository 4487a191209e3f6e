#include "CtlTake.h"

#include "PanelClient.h"

#include <QJsonArray>

namespace CtlTake {

namespace {

// send's rule: a number in range picks by position, anything else must be
// exactly one item's name. -1 and a reason when nothing fits.
qsizetype pick(const QString &argument, const QStringList &names, QString *problem)
{
    bool isNumber = false;
    const qlonglong number = argument.toLongLong(&isNumber);
    if (isNumber && number >= 1 && number <= names.size())
        return qsizetype(number - 1);
    const qsizetype first = names.indexOf(argument);
    if (first >= 0 && names.indexOf(argument, first + 1) < 0)
        return first;
    *problem = first < 0
                   ? QStringLiteral("there %1 %2, numbered from 1")
                         .arg(names.size() == 1 ? QStringLiteral("is") : QStringLiteral("are"))
                         .arg(names.size())
                   : QStringLiteral("more than one is named \"%1\"; give its number instead")
                         .arg(argument);
    return -1;
}

} // namespace

Result ThroughPanel(const QString &configPath, const QString &output, const QString &input)
{
    PanelClient panel;
    if (!panel.connectTo(configPath))
        return {};
    const QJsonObject state = panel.request({{QStringLiteral("command"), QStringLiteral("rows")}});
    if (!state.value(QLatin1String("ok")).toBool())
        return {Result::Kind::Failed, state.value(QLatin1String("error")).toString()};

    QStringList outputs;
    QList<QJsonObject> rows;
    for (const QJsonValue &row : state.value(QLatin1String("rows")).toArray()) {
        if (row[QLatin1String("enabled")].toBool()) {
            rows.append(row.toObject());
            outputs.append(row[QLatin1String("output")].toString());
        }
    }
    QString problem;
    const qsizetype row = pick(output, outputs, &problem);
    // An output the panel shows no row for is sent around it, as before.
    if (row < 0)
        return {};
    QStringList inputs;
    for (const QJsonValue &name : rows.at(row).value(QLatin1String("inputs")).toArray())
        inputs.append(name.toString());
    const qsizetype position = pick(input, inputs, &problem);
    if (position < 0)
        return {Result::Kind::Refused, QStringLiteral("no input \"%1\" of output \"%2\": %3")
                                           .arg(input, outputs.at(row), problem)};

    const QJsonObject answer = panel.request({{QStringLiteral("command"), QStringLiteral("take")},
                                              {QStringLiteral("row"), int(row) + 1},
                                              {QStringLiteral("input"), int(position) + 1}});
    if (answer.value(QLatin1String("ok")).toBool())
        return {Result::Kind::Sent, QString()};
    const QString error = answer.value(QLatin1String("error")).toString();
    // 502: the send failed; anything else was refused before it started.
    return {answer.value(QLatin1String("status")).toInt() == 502 ? Result::Kind::Failed
                                                                 : Result::Kind::Refused,
            error};
}

} // namespace CtlTake
