#include "OutputSetup.h"

#include "DialogFrame.h"
#include "EditableItemList.h"
#include "InputSetup.h"
#include "Twips.h"
#include "TypingFilter.h"
#include "clsVantrelOutput.h"

#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QShowEvent>

OutputSetup::OutputSetup() : QDialog(nullptr, Qt::Dialog | DialogFrame::kFixedFrame)
{
    setObjectName(QStringLiteral("OutputSetup"));
    setWindowTitle(QStringLiteral("Vantrel Configuration"));
    setFixedSize(Twips::size(4470, 4725));

    lblOutputName = new QLabel(QStringLiteral("Output Label"), this);
    lblOutputName->setObjectName(QStringLiteral("lblOutputName"));
    lblOutputName->setGeometry(Twips::rect(240, 240, 2535, 255));
    DialogFrame::makeBold(lblOutputName);

    txtOutputName = new QLineEdit(this);
    txtOutputName->setObjectName(QStringLiteral("txtOutputName"));
    txtOutputName->setGeometry(Twips::rect(240, 480, 2535, 285));
    fNameFilter = new TypingFilter(txtOutputName, TypingFilter::Mode::Line, kNameLimit);

    lblInputName = new QLabel(QStringLiteral("Inputs"), this);
    lblInputName->setObjectName(QStringLiteral("lblInputName"));
    lblInputName->setGeometry(Twips::rect(240, 960, 2535, 255));
    DialogFrame::makeBold(lblInputName);

    lstInputs = new QListView(this);
    lstInputs->setObjectName(QStringLiteral("lstInputs"));
    lstInputs->setGeometry(Twips::rect(240, 1200, 2535, 3180));

    btnEdit = new QPushButton(QStringLiteral("Edit"), this);
    btnEdit->setObjectName(QStringLiteral("btnEdit"));
    btnEdit->setGeometry(Twips::rect(3000, 1200, 1215, 375));

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setGeometry(Twips::rect(3000, 3600, 1215, 375));
    OKButton->setDefault(true);

    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    CancelButton->setGeometry(Twips::rect(3000, 4080, 1215, 375));

    setTabOrder(txtOutputName, lstInputs);
    setTabOrder(lstInputs, btnEdit);
    setTabOrder(btnEdit, OKButton);
    setTabOrder(OKButton, CancelButton);

    fInputsList = new EditableItemList(
        lstInputs, btnEdit, [this] { return fOutput ? int(fOutput->fInputs.size()) : 0; },
        [this](int position) -> const CompactString & {
            return fOutput->fInputs.at(position).fInputName;
        },
        this);
    connect(fInputsList, &EditableItemList::selected, this, &OutputSetup::lstInputs_Click);
    connect(fInputsList, &EditableItemList::editRequested, this, &OutputSetup::btnEdit_Click);
    connect(OKButton, &QPushButton::clicked, this, &OutputSetup::OKButton_Click);
    connect(CancelButton, &QPushButton::clicked, this, &OutputSetup::CancelButton_Click);
}

OutputSetup::~OutputSetup() = default;

void OutputSetup::Show()
{
    exec();
}

void OutputSetup::reject()
{
    CancelButton_Click();
}

void OutputSetup::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        Form_Activate();
}

void OutputSetup::Form_Activate()
{
    if (!fOutput)
        return;
    // The box shows what fits its limit; OK stores what it shows.
    fNameFilter->setText(fOutput->fOutputName.left(kNameLimit));

    // Selecting the first input binds the input dialog to it even if the
    // rebuild below ends up selecting no line.
    if (!fOutput->fInputs.isEmpty())
        RefreshList(0);

    txtOutputName->setFocus();
    RefreshList(fInputIndex);
}

void OutputSetup::OKButton_Click()
{
    if (fOutput)
        fOutput->fOutputName = txtOutputName->text();
    fExitStatus = 1;
    QDialog::accept();
}

void OutputSetup::CancelButton_Click()
{
    fExitStatus = 2;
    QDialog::reject();
}

void OutputSetup::btnEdit_Click()
{
    const int position = fInputsList->selectedPosition();
    if (position < 0 || !fInputSetup)
        return;
    // The name typed so far is kept even if this dialog is cancelled later.
    fOutput->fOutputName = txtOutputName->text();
    fInputIndex = position;
    fInputSetup->Show();

    // Back from the input dialog this one is active again. Activation is run
    // here rather than on the window system's activation event, which may
    // come late or not at all.
    Form_Activate();
    RefreshList(fInputIndex);
}

void OutputSetup::lstInputs_Click(int position)
{
    if (!fOutput || position >= fOutput->fInputs.size())
        return;
    if (!fInputSetup)
        fInputSetup = std::make_unique<InputSetup>();
    fInputSetup->fInput = &fOutput->fInputs[position];
}

void OutputSetup::RefreshList(int position)
{
    fInputsList->RefreshList(position);
}
