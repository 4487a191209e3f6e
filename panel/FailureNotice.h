#pragma once

#include <QObject>
#include <chrono>

class QLabel;
class QTimer;
class QWidget;

// A short notice of a take from elsewhere that failed: it shows without
// holding the panel up, since nobody may be at the PC, and clears itself.
// One line that names the row, below the presets.
class FailureNotice : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds kPeriod{15000};

    // The line is a control of `window`, created now (so after the controls
    // created before it in the tab order).
    explicit FailureNotice(QWidget *window);

    // row from 0; message as the failure box shows it, CR LF and all.
    void show(int row, const QString &outputName, const QString &message);

    QLabel *label() const { return fLabel; }
    QTimer *timer() const { return fTimer; }

private:
    QLabel *fLabel;
    QTimer *fTimer;
};
