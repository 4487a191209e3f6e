#pragma once

#include "VantrelFile.h"
#include "VantrelLimits.h"
#include "VantrelMerge.h"

#include <QStringList>
#include <QWidget>
#include <memory>

class EditableItemList;
class OutputSetup;
class QComboBox;
class QLabel;
class QLineEdit;
class QListView;
class QPushButton;
class TypingFilter;
class clsVantrelConfig;

// The editor's main window: the communication settings, the outputs list and
// Close, which saves "vantrel.ini" and ends the editor.
class MainSetup : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kIPAddressLimit = VantrelLimits::kIPAddressLength;
    static constexpr int kPortLimit = VantrelLimits::kPortLength;

    MainSetup();
    ~MainSetup() override;

    // Reads the file and fills the window. False when the editor must end
    // without showing the window; exitCode() then tells why.
    bool Form_Load();

    // 0 after a successful save or a close without saving, 1 when loading
    // failed or was abandoned, or when the last save failed.
    int exitCode() const { return fExitCode; }

    // The output dialog, once an output line has been selected; null before.
    OutputSetup *outputSetup() const { return fOutputSetup.get(); }

    std::shared_ptr<clsVantrelConfig> fConfig;

signals:
    // The editor is done: after a successful Close or through the close box.
    void finished(int exitCode);

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void cboCommType_Click();
    void ShowCommTypeFields();
    void btnClose_Click();
    // The nine settings as the boxes show them, as Close stores them.
    QStringList shownSettings() const;
    // Writes the operator's edits into the file as it is now; false when
    // the operator chose to go back to editing.
    bool saveMerged();
    void btnEdit_Click();
    // Keeps what was loaded in fLoadedBase, once.
    void keepLoadedBase();
    void lstOutputs_Click(int position);
    void RefreshList(int position);

    void createControls();
    void watchTypedTypeConfirmed();
    static QString lowerUnlessUntouched(const QComboBox *box, const QString &loaded);
    void end(int exitCode);

    QLabel *Label1;
    QLabel *lblType;
    QComboBox *cboCommType;
    QLabel *lblCommPort;
    QComboBox *cboCommPort;
    QLabel *lblBaudRate;
    QComboBox *cboBaudRate;
    QLabel *lblDataBits;
    QComboBox *cboDataBits;
    QLabel *lblParity;
    QComboBox *cboParity;
    QLabel *lblStopBits;
    QComboBox *cboStopBits;
    QLabel *lblProtocol;
    QComboBox *cboProtocol;
    QLabel *lblIPAddress;
    QLineEdit *txtIPAddress;
    QLabel *lblPort;
    QLineEdit *txtPort;
    QLabel *Label2;
    QListView *lstOutputs;
    QPushButton *btnEdit;
    QPushButton *btnClose;
    QLabel *Image1;
    QLabel *Label3;

    TypingFilter *fIPAddressFilter;
    TypingFilter *fPortFilter;
    EditableItemList *fOutputsList;
    std::unique_ptr<OutputSetup> fOutputSetup;

    int fExitCode = 0;
    bool fEnded = false;
    bool fCentred = false;
    // Type, protocol and port as read, for writing back unchanged a value
    // that no entry matches and that was left as it was.
    QString fLoadedType;
    QString fLoadedProtocol;
    // What the load read, to tell at Close whether another program wrote
    // the file since, and what the editor itself changed.
    VantrelFile::Fingerprint fLoadedFingerprint;
    QStringList fLoadedSettings;
    QStringList fUntouchedSettings;
    VantrelMerge::Base fLoadedBase;
    bool fBaseKept = false;
    QString fLoadedCommPort;
    // True while the type box confirms typed text, which is no pick.
    bool fConfirmingTypedType = false;
};
