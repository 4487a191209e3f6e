#include "FailureNotice.h"

#include "Twips.h"

#include <QLabel>
#include <QTimer>

namespace {

// Below the presets, right of the line about the program, up to Close's edge.
constexpr QRect kLblNotice = Twips::rect(4800, 5280, 7335, 255);

} // namespace

FailureNotice::FailureNotice(QWidget *window)
    : QObject(window), fLabel(new QLabel(window)), fTimer(new QTimer(this))
{
    fLabel->setObjectName(QStringLiteral("lblNotice"));
    fLabel->setGeometry(kLblNotice);
    fLabel->setTextFormat(Qt::PlainText);
    fTimer->setSingleShot(true);
    fTimer->setInterval(kPeriod);
    connect(fTimer, &QTimer::timeout, fLabel, &QLabel::clear);
}

void FailureNotice::show(int row, const QString &outputName, const QString &message)
{
    QString line = QStringLiteral("Row %1 (%2): %3")
                       .arg(row + 1)
                       .arg(outputName,
                            QString(message).replace(QStringLiteral("\r\n"), QStringLiteral(": ")));
    fLabel->setToolTip(line);
    fLabel->setText(fLabel->fontMetrics().elidedText(line, Qt::ElideRight, fLabel->width()));
    fTimer->start();
}
