#include "PanelRemote.h"

#include "frmMain.h"

#include <QComboBox>
#include <QPushButton>
#include <QTimer>
#include <cmath>

namespace {

using Refusal = PanelRemote::Refusal;

Refusal refuse(int status, const QString &reason)
{
    return Refusal{status, reason};
}

// JSON has only doubles: a count must be a whole number within int.
std::optional<int> wholeNumber(const QJsonValue &value)
{
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    if (!std::isfinite(number) || std::floor(number) != number || std::abs(number) > 1e9)
        return std::nullopt;
    return int(number);
}

QString quoted(const QString &text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

// Exactly one item of the list must have the name.
std::optional<Refusal> pickName(const QString &name, const QStringList &names, const QString &what,
                                int *index)
{
    const qsizetype first = names.indexOf(name);
    if (first < 0)
        return refuse(404, QStringLiteral("no %1 is named %2").arg(what, quoted(name)));
    if (names.indexOf(name, first + 1) >= 0)
        return refuse(409, QStringLiteral("more than one %1 is named %2; give its number instead")
                               .arg(what, quoted(name)));
    *index = int(first);
    return std::nullopt;
}

} // namespace

PanelRemote::PanelRemote(frmMain *window, QObject *parent) : QObject(parent), fWindow(window)
{
    connect(fWindow, &frmMain::rowChanged, this, [this](int row) {
        fChangedRows.insert(row);
        if (!fSnapshotPending) {
            fSnapshotPending = true;
            QTimer::singleShot(0, this, &PanelRemote::takeSnapshots);
        }
    });
    // A moment later, not at the next turn of the event loop: a press first
    // gets its command on the wire, then its listeners hear of it.
    fFlushTimer.setSingleShot(true);
    fFlushTimer.setTimerType(Qt::PreciseTimer);
    fFlushTimer.setInterval(kChangeDelay);
    connect(&fFlushTimer, &QTimer::timeout, this, &PanelRemote::flushChanges);
    connect(fWindow, &frmMain::presetsChanged, this,
            [this] { emit presetsChanged(presetsState()); });
}

void PanelRemote::takeSnapshots()
{
    // Once the handlers that changed the rows have returned: a row's state
    // as they left it, each state that differs from the one told before.
    fSnapshotPending = false;
    QList<int> rows = fChangedRows.values();
    fChangedRows.clear();
    std::sort(rows.begin(), rows.end());
    for (const int row : std::as_const(rows)) {
        if (row < 0 || row >= frmMain::kRows)
            continue;
        QJsonObject state = rowState(row);
        if (fLastTold.value(row) == state)
            continue;
        fLastTold.insert(row, state);
        fUntold.append(std::move(state));
    }
    if (!fUntold.isEmpty() && !fFlushTimer.isActive())
        fFlushTimer.start();
}

void PanelRemote::flushChanges()
{
    const bool takeAll = takeAllEnabled();
    const QList<QJsonObject> untold = std::exchange(fUntold, {});
    for (const QJsonObject &row : untold)
        emit rowChanged(row, takeAll);
}

bool PanelRemote::takeAllEnabled() const
{
    return fWindow->btnTakeAll && fWindow->btnTakeAll->isEnabled();
}

std::optional<Refusal> PanelRemote::resolveRow(const QJsonObject &request, int *row) const
{
    const bool byRow = request.contains(QLatin1String("row"));
    const bool byOutput = request.contains(QLatin1String("output"));
    if (byRow == byOutput)
        return refuse(400, QStringLiteral("give either \"row\" (a number from 1) or \"output\" "
                                          "(an output's exact name)"));
    const int rows = fWindow->configuredRows();
    if (byRow) {
        const std::optional<int> number = wholeNumber(request.value(QLatin1String("row")));
        if (!number)
            return refuse(400, QStringLiteral("\"row\" must be a whole number"));
        if (*number < 1 || *number > frmMain::kRows)
            return refuse(404, QStringLiteral("no row %1: rows are numbered 1 to %2")
                                   .arg(*number)
                                   .arg(frmMain::kRows));
        if (*number > rows)
            return refuse(409, QStringLiteral("row %1 has no output").arg(*number));
        *row = *number - 1;
        return std::nullopt;
    }
    const QJsonValue output = request.value(QLatin1String("output"));
    if (!output.isString())
        return refuse(400, QStringLiteral("\"output\" must be an output's name (a string)"));
    QStringList names;
    for (int r = 0; r < rows; ++r)
        names << fWindow->fConfig->fOutputs.at(r)->fOutputName;
    return pickName(output.toString(), names, QStringLiteral("output of the panel's rows"), row);
}

std::optional<Refusal> PanelRemote::resolveInput(const QJsonValue &input, int row,
                                                 int *position) const
{
    const QComboBox *list = fWindow->cboItem[row];
    if (input.isString()) {
        QStringList names;
        for (int i = 0; i < list->count(); ++i)
            names << list->itemText(i);
        return pickName(input.toString(), names, QStringLiteral("input of row %1").arg(row + 1),
                        position);
    }
    const std::optional<int> number = wholeNumber(input);
    if (!number)
        return refuse(400, QStringLiteral("\"input\" must be a number from 1 or an input's name"));
    if (*number < 1 || *number > list->count())
        return refuse(404, QStringLiteral("row %1 has no input %2: it has %3")
                               .arg(row + 1)
                               .arg(*number)
                               .arg(list->count()));
    *position = *number - 1;
    return std::nullopt;
}

std::optional<Refusal> PanelRemote::take(const QJsonObject &request, const TakeOrigin &origin,
                                         Done done)
{
    if (fWindow->hasEnded())
        return refuse(503, QStringLiteral("the panel has closed"));
    if (fWindow->pressesUnderWay() >= kMaxQueued)
        return refuse(
            503,
            QStringLiteral("the panel has %1 takes waiting; try again shortly").arg(kMaxQueued));
    int row = 0;
    if (auto refused = resolveRow(request, &row))
        return refused;
    if (!request.contains(QLatin1String("input")))
        return refuse(400, QStringLiteral("give \"input\" (a number from 1 or an input's name)"));
    int position = 0;
    if (auto refused = resolveInput(request.value(QLatin1String("input")), row, &position))
        return refused;
    // As the operator would: pick the input in the list (the handler runs
    // only when the choice changes), then press the row's button.
    if (fWindow->cboItem[row]->currentIndex() != position)
        fWindow->cboItem[row]->setCurrentIndex(position);
    fWindow->pressRow(row, origin, std::move(done));
    return std::nullopt;
}

QJsonArray PanelRemote::takeAll(const TakeOrigin &origin)
{
    QJsonArray rows;
    for (const int row : fWindow->takeAll(origin))
        rows.append(row + 1);
    return rows;
}

std::optional<Refusal> PanelRemote::recallPreset(const QJsonObject &request,
                                                 const TakeOrigin &origin, QJsonObject *answer)
{
    if (fWindow->hasEnded())
        return refuse(503, QStringLiteral("the panel has closed"));
    const QJsonValue name = request.value(QLatin1String("name"));
    if (!name.isString())
        return refuse(400, QStringLiteral("give \"name\", the preset's name (a string)"));
    const QJsonValue take = request.value(QLatin1String("take"));
    if (!take.isUndefined() && !take.isBool())
        return refuse(400, QStringLiteral("\"take\" must be true or false"));
    QStringList names;
    for (const Preset &preset : fWindow->fPresetFile.presets())
        names << preset.name;
    int index = 0;
    if (auto refused = pickName(name.toString(), names, QStringLiteral("preset"), &index))
        return refused;

    // The list of presets shows the one recalled, as after the operator's pick.
    fWindow->cboPresets->setCurrentIndex(index);
    QList<int> applied;
    const QStringList skipped = fWindow->recallPreset(index, &applied);
    QJsonArray set;
    QJsonArray taken;
    for (const int row : std::as_const(applied)) {
        set.append(row + 1);
        // Only the preset's rows, and only those whose choice is not sent yet.
        if (take.toBool() && fWindow->pendingLit(row) && !fWindow->isRowBusy(row)) {
            fWindow->pressRow(row, origin);
            taken.append(row + 1);
        }
    }
    *answer = QJsonObject{{QStringLiteral("rows"), set},
                          {QStringLiteral("taken"), taken},
                          {QStringLiteral("skipped"), QJsonArray::fromStringList(skipped)}};
    return std::nullopt;
}

QJsonObject PanelRemote::rowState(int row) const
{
    const bool enabled = row < fWindow->configuredRows() && fWindow->fConfig;
    QJsonArray inputs;
    QString output;
    int chosen = 0;
    if (enabled) {
        output = fWindow->fConfig->fOutputs.at(row)->fOutputName;
        const QComboBox *list = fWindow->cboItem[row];
        for (int i = 0; i < list->count(); ++i)
            inputs.append(list->itemText(i));
        chosen = list->currentIndex() + 1;
    }
    static const char *const kSent[] = {"off", "green", "red"};
    static const char *const kResult[] = {"none", "ok", "failed"};
    return QJsonObject{
        {QStringLiteral("row"), row + 1},
        {QStringLiteral("output"), output},
        {QStringLiteral("inputs"), inputs},
        {QStringLiteral("chosen"), chosen},
        {QStringLiteral("pending"), fWindow->pendingLit(row)},
        {QStringLiteral("sent"), QLatin1String(kSent[int(fWindow->sentLamp(row))])},
        {QStringLiteral("busy"), fWindow->isRowBusy(row)},
        {QStringLiteral("result"), QLatin1String(kResult[int(fWindow->lastResult(row))])},
        {QStringLiteral("resultText"), fWindow->lastResultText(row)},
        {QStringLiteral("enabled"), enabled},
    };
}

QJsonObject PanelRemote::rowsState() const
{
    QJsonArray rows;
    for (int row = 0; row < frmMain::kRows; ++row)
        rows.append(rowState(row));
    return QJsonObject{{QStringLiteral("rows"), rows},
                       {QStringLiteral("takeAll"), takeAllEnabled()}};
}

QJsonObject PanelRemote::presetsState() const
{
    QJsonArray names;
    for (const Preset &preset : fWindow->fPresetFile.presets())
        names.append(preset.name);
    return QJsonObject{{QStringLiteral("presets"), names}};
}
