#pragma once

#include "VantrelLimits.h"

#include <QDialog>
#include <memory>

class QLabel;
class QLineEdit;
class QPushButton;
class TypingFilter;
class clsVantrelInput;

// The modal dialog that edits one input's name and command in place.
class InputSetup : public QDialog
{
    Q_OBJECT

public:
    static constexpr int kNameLimit = VantrelLimits::kInputNameLength;

    InputSetup();

    // Shows the dialog modally on fInput and returns when OK or Cancel has
    // hidden it.
    void Show();

    // An input of the output the output dialog shows; that list does not
    // change while this dialog is open.
    clsVantrelInput *fInput = nullptr;
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

    QLabel *lblInputName;
    QLineEdit *txtInputName;
    QLabel *Label2;
    QLineEdit *txtCommand;
    QPushButton *OKButton;
    QPushButton *CancelButton;
    TypingFilter *fNameFilter;
    TypingFilter *fCommandFilter;
};
