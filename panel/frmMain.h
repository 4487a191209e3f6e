#pragma once

#include "TakeOrigin.h"
#include "VantrelFile.h"
#include "VantrelLimits.h"
#include "VantrelPresets.h"
#include "clsVantrelConfig.h"

#include <QQueue>
#include <QWidget>
#include <array>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <optional>

class CommandSender;
class FailureNotice;
class PanelPresets;
class PanelTakeLog;
class QCloseEvent;
class QComboBox;
class QLabel;
class QLockFile;
class QPushButton;
class QTimer;

// The switching panel: one row per output (up to sixteen), each with the
// output's inputs in a list, a pending lamp, a "<<" button to go back to the
// input last sent, the output's send button and a sent lamp. The file is read
// once by Form_Load and written once when the panel ends.
class frmMain : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kRows = VantrelLimits::kPanelRows;
    static constexpr std::chrono::milliseconds kFlashPeriod{2000};

    explicit frmMain(QWidget *parent = nullptr);
    ~frmMain() override;

    // Reads "vantrel.ini" and fills the rows. False when the panel must end
    // instead of showing (the file could not be read, or the operator chose
    // not to go on with a partly read file); exitStatus() then says how.
    bool Form_Load();

    // The folder's lock, tried on another thread (the program starts it
    // before the window is built): taking it writes the lock file through to
    // the disk, which need not hold up the window. Form_Load takes the
    // outcome; without a claim handed over it tries the lock itself.
    using FolderClaim = std::future<std::unique_ptr<QLockFile>>;
    static FolderClaim startFolderClaim();
    void setFolderClaim(FolderClaim claim) { fClaim = std::move(claim); }

    // 0 after a successful save, non-zero after a load or save failure.
    int exitStatus() const { return fExitStatus; }
    // True once the panel has ended (saved or failed); no handler acts after.
    bool hasEnded() const { return fEnded; }

    // Rows that show an output: min(outputs, 16).
    int configuredRows() const { return fRowCount; }

    // Control arrays, indexed by row from 0.
    std::array<QLabel *, kRows> lblItem{};
    std::array<QComboBox *, kRows> cboItem{};
    std::array<QLabel *, kRows> imgPend{};
    std::array<QPushButton *, kRows> btnBack{};
    std::array<QPushButton *, kRows> btnItem{};
    std::array<QLabel *, kRows> imgSend{};

    QPushButton *btnClose = nullptr;
    QLabel *imgOffMaster = nullptr;
    QLabel *imgGreenMaster = nullptr;
    QLabel *imgRedMaster = nullptr;
    QLabel *Image1 = nullptr;
    QLabel *Label1 = nullptr;
    QTimer *tmrFlash = nullptr;
    // Takes the presses one at a time, with their retries, on timers.
    CommandSender *fSender = nullptr;
    // The log of every take, start, end, save and preset change; also the
    // place where remote control logs the requests it refuses
    // (fTakeLog->log().refused(...)).
    PanelTakeLog *fTakeLog = nullptr;

    std::shared_ptr<clsVantrelConfig> fConfig;
    std::array<qint16, kRows> fSentIndex{};
    qint16 fFlashRow = 0;
    // Rows whose choice was made here since the load (chosen, gone back to,
    // or sent): only these go into a file that another program (the editor,
    // a second panel) wrote while this panel was open.
    std::array<bool, kRows> fChosen{};

    // Additions for the changes between shows, in the free band between the
    // logo and Close, after every other control in the tab order: take every
    // pending row at once, and presets (named sets of choices) kept in their
    // own file. Keys: F1-F8 and Shift+F1-F8 press the output buttons of rows
    // 1-8 and 9-16, Ctrl+Enter is Take All.
    QLabel *lblPresets = nullptr;
    QComboBox *cboPresets = nullptr;
    QPushButton *btnSavePreset = nullptr;
    QPushButton *btnDeletePreset = nullptr;
    QPushButton *btnTakeAll = nullptr;
    // Asks for the name of a preset to save, offering the given one; nullopt
    // when the operator cancels. Tests replace it.
    std::function<std::optional<QString>(QWidget *parent, const QString &offered)> fAskPresetName;
    VantrelPresetFile fPresetFile;
    // A short notice of a take from elsewhere that failed: it shows without
    // holding the panel up, since nobody may be at the PC, and clears itself.
    QLabel *lblNotice = nullptr;
    QTimer *tmrNotice = nullptr;

    // Told once a take has ended: ok, or the failure text the window shows.
    using TakeDone = std::function<void(bool ok, const QString &failure)>;
    // Presses the row's button as the origin did, `done` told at its end
    // (at once when the row has no output or the panel has ended).
    void pressRow(int row, const TakeOrigin &origin, TakeDone done = {});
    // Presses every row whose pending lamp is red and whose choice is not on
    // its way yet, in row order; returns those rows.
    QList<int> takeAll(const TakeOrigin &origin);
    // Sets the rows' choices to the preset's as a pick in the list does and
    // returns why rows were left out; `applied` receives the rows it set.
    QStringList recallPreset(int index, QList<int> *applied = nullptr);

    enum class SentLamp
    {
        Off,
        Green,
        Red
    };
    enum class TakeResult
    {
        None,
        Ok,
        Failed
    };
    bool pendingLit(int row) const { return fPendingLit.at(size_t(row)); }
    SentLamp sentLamp(int row) const { return fSentLamp.at(size_t(row)); }
    TakeResult lastResult(int row) const { return fLastResult.at(size_t(row)); }
    QString lastResultText(int row) const { return fLastResultText.at(size_t(row)); }
    // True while a press of the row waits its turn or is being sent.
    bool isRowBusy(int row) const;
    // Presses waiting their turn or being sent.
    int pressesUnderWay() const { return int(fPressed.size()); }

signals:
    // A row's lamps, choice, result or busy state changed.
    void rowChanged(int row);
    // The presets the panel offers changed.
    void presetsChanged();
    // A press ended: its list position, where it came from, and the outcome.
    void takeEnded(int row, int position, const TakeOrigin &origin, bool ok,
                   const QString &failure);

public slots:
    void cboItem_Click(int Index);
    void btnBack_Click(int Index);
    void btnItem_Click(int Index);
    void tmrFlash_Timer();
    void btnClose_Click();
    // The system asks the panel to end (shutdown, log-off, a signal): it ends
    // as Close does. An open message box is answered Cancel first, so it
    // cannot hold up the save; during loading that abandons the load.
    // how: "session-end", or "signal TERM" and the like, for the log.
    void Form_EndSession(const QString &how = QStringLiteral("session-end"));
    // A close request that came while a modal dialog blocked the window: it
    // is carried out once every dialog has been answered.
    void Form_CloseWhenAnswered();
    // The process is ending under the panel (the display went away): writes
    // the file as Close would, without touching any window.
    void saveAtExit();
    void btnTakeAll_Click();
    void btnSavePreset_Click();
    void btnDeletePreset_Click();
    void cboPresets_Click(int index);

protected:
    // Form_Unload: closing the window by any means saves and ends like Close.
    void closeEvent(QCloseEvent *event) override;

private:
    void createControls();
    void createRow(int row);
    void fillRow(int row);
    // Sets a row's selected position and runs cboItem_Click exactly once,
    // also when the position does not change (Qt then emits nothing).
    void setListIndex(int row, int index);
    void setLamp(QLabel *lamp, const QLabel *master);
    // The end of a press: lamps, flash and fSentIndex as the outcome says.
    void btnItem_SendEnded(int Index, bool ok, const QString &command, const QString &description);
    bool confirmPartialLoad(const QString &description);
    void createShowControls();
    void lampChanged(const QLabel *lamp, const QLabel *master);
    void updateTakeAll();
    // The text a press of the row would send now.
    QString rowCommand(int row) const;
    bool claimFolder();
    // Writes the choices, into a newer file if another program saved one.
    // Returns a notice for the operator when some rows' choices could not be
    // kept, else an empty text. Throws VantrelError when nothing was saved.
    QString saveChoices();
    void endProgram(int status);

    int fRowCount = 0;
    // Every press still waiting for its ending, oldest first: presses end in
    // the order they were made.
    struct Press
    {
        int row = 0;
        qint16 position = -1;
        TakeOrigin origin;
        TakeDone done;
    };
    QQueue<Press> fPressed;
    // Where the press btnItem_Click is about to queue comes from; a press
    // nobody set this for is the operator's click.
    TakeOrigin fPressOrigin;
    TakeDone fPressDone;
    std::array<SentLamp, kRows> fSentLamp{};
    std::array<TakeResult, kRows> fLastResult{};
    std::array<QString, kRows> fLastResultText{};
    PanelPresets *fPresets = nullptr;
    FailureNotice *fNotice = nullptr;
    void showFailureNotice(int row, const QString &message);
    // Tells every press still waiting that it will not be sent.
    void abandonPresses();
    int fExitStatus = 0;
    bool fEnded = false;
    // Whether each row's pending lamp is red, as the lamps were last set.
    std::array<bool, kRows> fPendingLit{};
    // What the load read, to tell at the end whether the file changed since.
    VantrelFile::Fingerprint fLoadedFingerprint;
    std::array<qint16, kRows> fLoadedSelected{};
    // Held while the panel is open, so that a second panel in the folder can
    // say so; released at the end.
    std::unique_ptr<QLockFile> fLock;
    FolderClaim fClaim;
    bool fLoading = false;
    // An end asked for while a dialog held the panel, still to be carried out.
    bool fCloseRequested = false;
    // How the end was asked for, for the log; empty for the Close button.
    QString fEndHow;
};
