#pragma once

#include "VantrelLimits.h"

#include <QDialog>
#include <memory>

class EditableItemList;
class InputSetup;
class QLabel;
class QLineEdit;
class QListView;
class QPushButton;
class TypingFilter;
class clsVantrelOutput;

// The modal dialog that edits one output's name in place and opens its inputs
// in InputSetup.
class OutputSetup : public QDialog
{
    Q_OBJECT

public:
    static constexpr int kNameLimit = VantrelLimits::kOutputNameLength;

    OutputSetup();
    ~OutputSetup() override;

    // Shows the dialog modally on fOutput and returns when OK or Cancel has
    // hidden it.
    void Show();

    // The input dialog, once an input line has been selected; null before.
    InputSetup *inputSetup() const { return fInputSetup.get(); }
    int inputIndex() const { return fInputIndex; }

    std::shared_ptr<clsVantrelOutput> fOutput;
    // 1 after OK, 2 after Cancel, 0 before either.
    qint16 fExitStatus = 0;

public slots:
    // The frame's close box and Escape end the dialog as Cancel does.
    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void Form_Activate();
    void OKButton_Click();
    void CancelButton_Click();
    void btnEdit_Click();
    void lstInputs_Click(int position);
    void RefreshList(int position);

    QLabel *lblOutputName;
    QLineEdit *txtOutputName;
    QLabel *lblInputName;
    QListView *lstInputs;
    QPushButton *btnEdit;
    QPushButton *OKButton;
    QPushButton *CancelButton;
    TypingFilter *fNameFilter;
    EditableItemList *fInputsList;

    std::unique_ptr<InputSetup> fInputSetup;
    // The input last opened for editing; carried over to the next opening,
    // also for another output.
    int fInputIndex = 0;
};
