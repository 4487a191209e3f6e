#pragma once

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
    QString fPresetProblem; // what the last reading of it met, as the operator was warned

public slots:
    void cboItem_Click(int Index);
    void btnBack_Click(int Index);
    void btnItem_Click(int Index);
    void tmrFlash_Timer();
    void btnClose_Click();
    // The system asks the panel to end (shutdown, log-off, a signal): it ends
    // as Close does. An open message box is answered Cancel first, so it
    // cannot hold up the save; during loading that abandons the load.
    void Form_EndSession();
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
    void createExtras();
    void loadPresets();
    // Reads the presets file anew and shows its presets, `current` chosen;
    // warns when it cannot be read whole. False when the operator cancelled
    // that warning (a save then changes nothing) or the panel ended.
    bool rereadPresets(const QString &current);
    void lampChanged(const QLabel *lamp, const QLabel *master);
    void updateTakeAll();
    // The text a press of the row would send now.
    QString rowCommand(int row) const;
    // Why a preset's row no longer fits the panel; empty when it fits.
    QString presetRowMismatch(const PresetRow &saved) const;
    // Applies one change to the presets file as it is when the change is
    // written (see VantrelPresetFile::update); a problem reading it other
    // than the one the operator was warned of writes nothing.
    bool savePresets(const QString &warned,
                     const std::function<void(QList<Preset> &presets)> &change);
    void refreshPresetList(const QString &current);
    bool claimFolder();
    // Writes the choices, into a newer file if another program saved one.
    // Returns a notice for the operator when some rows' choices could not be
    // kept, else an empty text. Throws VantrelError when nothing was saved.
    QString saveChoices();
    void endProgram(int status);

    int fRowCount = 0;
    // The list position of every press still waiting for its ending, oldest
    // first: presses end in the order they were made.
    QQueue<qint16> fPressedIndex;
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
};
