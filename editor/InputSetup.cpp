#include "InputSetup.h"

#include "DialogFrame.h"
#include "Twips.h"
#include "TypingFilter.h"
#include "clsVantrelInput.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>

InputSetup::InputSetup() : QDialog(nullptr, Qt::Dialog | DialogFrame::kFixedFrame)
{
    setObjectName(QStringLiteral("InputSetup"));
    setWindowTitle(QStringLiteral("Vantrel Configuration"));
    setFixedSize(Twips::size(4110, 2445));

    lblInputName = new QLabel(QStringLiteral("Input Label"), this);
    lblInputName->setObjectName(QStringLiteral("lblInputName"));
    lblInputName->setGeometry(Twips::rect(240, 255, 1215, 255));
    DialogFrame::makeBold(lblInputName);

    txtInputName = new QLineEdit(this);
    txtInputName->setObjectName(QStringLiteral("txtInputName"));
    txtInputName->setGeometry(Twips::rect(240, 480, 3615, 285));
    fNameFilter = new TypingFilter(txtInputName, TypingFilter::Mode::Line, kNameLimit);

    Label2 = new QLabel(QStringLiteral("Command"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(Twips::rect(240, 960, 1695, 255));
    DialogFrame::makeBold(Label2);

    txtCommand = new QLineEdit(this);
    txtCommand->setObjectName(QStringLiteral("txtCommand"));
    txtCommand->setGeometry(Twips::rect(240, 1200, 3615, 285));
    fCommandFilter = new TypingFilter(txtCommand, TypingFilter::Mode::Command);

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setGeometry(Twips::rect(1320, 1800, 1215, 375));
    OKButton->setDefault(true);

    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    CancelButton->setGeometry(Twips::rect(2640, 1800, 1215, 375));

    setTabOrder(txtInputName, txtCommand);
    setTabOrder(txtCommand, OKButton);
    setTabOrder(OKButton, CancelButton);

    connect(OKButton, &QPushButton::clicked, this, &InputSetup::OKButton_Click);
    connect(CancelButton, &QPushButton::clicked, this, &InputSetup::CancelButton_Click);
}

void InputSetup::Show()
{
    exec();
}

void InputSetup::reject()
{
    CancelButton_Click();
}

void InputSetup::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        Form_Activate();
}

void InputSetup::Form_Activate()
{
    if (!fInput)
        return;
    // The box shows what fits its limit; OK stores what it shows.
    fNameFilter->setText(fInput->fInputName.left(kNameLimit));
    fCommandFilter->setText(fInput->fCommand);
    txtInputName->setFocus();
}

void InputSetup::OKButton_Click()
{
    if (fInput) {
        fInput->fInputName = txtInputName->text();
        fInput->fCommand = txtCommand->text();
    }
    fExitStatus = 1;
    QDialog::accept();
}

void InputSetup::CancelButton_Click()
{
    fExitStatus = 2;
    QDialog::reject();
}
