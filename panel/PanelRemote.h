#pragma once

#include "TakeOrigin.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QObject>
#include <QSet>
#include <QTimer>
#include <chrono>
#include <functional>
#include <optional>

class frmMain;

// What the panel offers to everything that drives it from outside its window
// (vantrelctl through the local socket, the network API, OSC): the rows'
// state as JSON, takes, Take All and preset recall. Every change goes through
// the window's own handlers, so a take from elsewhere is a click: the same
// queue, the same choice, the same lamps. The transports only carry requests
// and answers.
class PanelRemote : public QObject
{
    Q_OBJECT
public:
    // How long after a change it is told. Every state a row was left in by
    // the window's handlers is told, in order.
    static constexpr std::chrono::milliseconds kChangeDelay{2};

    // Takes from elsewhere wait behind at most this many presses; past it
    // they are refused (503), so a flood of requests cannot queue for hours.
    static constexpr int kMaxQueued = 64;

    explicit PanelRemote(frmMain *window, QObject *parent = nullptr);

    // A request refused before anything was done: an HTTP status (400 bad
    // request, 404 unknown row or name, 409 row without output or a name
    // that is not unique, 503 the panel has closed) and a one-line reason.
    struct Refusal
    {
        int status = 400;
        QString reason;
    };
    using Done = std::function<void(bool ok, const QString &failure)>;

    // {"row": n} or {"output": "name"}, and {"input": n or "name"}; numbers
    // count from 1. Shows the input in the row's list as a pick would, then
    // presses the row's button; `done` hears the send's outcome.
    std::optional<Refusal> take(const QJsonObject &request, const TakeOrigin &origin, Done done);
    // The rows Take All pressed, numbered from 1.
    QJsonArray takeAll(const TakeOrigin &origin);
    // {"name": "X", "take": false}: sets the rows' choices to the preset's;
    // with take, presses those of its rows that are then pending. `answer`
    // gets {"rows":[set rows], "taken":[...], "skipped":["why",...]}.
    std::optional<Refusal> recallPreset(const QJsonObject &request, const TakeOrigin &origin,
                                        QJsonObject *answer);

    // {"rows":[every row], "takeAll": bool}
    QJsonObject rowsState() const;
    QJsonObject rowState(int row) const;
    // {"presets":["name", ...]}
    QJsonObject presetsState() const;

    frmMain *window() const { return fWindow; }

signals:
    // Each state a row was left in after the window's handlers ran (a row
    // whose lamps changed twice in one handler is told once), kChangeDelay
    // later.
    void rowChanged(const QJsonObject &row, bool takeAll);
    void presetsChanged(const QJsonObject &presets);

private:
    std::optional<Refusal> resolveRow(const QJsonObject &request, int *row) const;
    std::optional<Refusal> resolveInput(const QJsonValue &input, int row, int *position) const;
    void takeSnapshots();
    void flushChanges();
    bool takeAllEnabled() const;

    frmMain *fWindow;
    QSet<int> fChangedRows;
    bool fSnapshotPending = false;
    QHash<int, QJsonObject> fLastTold;
    QList<QJsonObject> fUntold;
    QTimer fFlushTimer;
};
