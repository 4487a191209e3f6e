#include "frmMain.h"

#include "CommandSender.h"
#include "FailureNotice.h"
#include "LinkSettings.h"
#include "PanelKeys.h"
#include "PanelPresets.h"
#include "PanelTakeLog.h"
#include "Twips.h"
#include "VantrelBrand.h"
#include "VantrelError.h"
#include "VantrelFile.h"
#include "VantrelMerge.h"
#include "VantrelMessageBox.h"
#include "VantrelSave.h"
#include "modGlobal.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QIcon>
#include <QLabel>
#include <QLockFile>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QSignalBlocker>
#include <QStyle>
#include <QTimer>

namespace {

// Layout of the window, in twips from the top-left corner of the client area.
constexpr int kClientWidth = 12690;
constexpr int kClientHeight = 5580;

// Row tops: rows 1-8 in the left column, rows 9-16 in the right one, which
// sits 30 twips higher.
constexpr std::array<int, frmMain::kRows> kRowTop = {270, 735, 1200, 1665, 2145, 2610, 3075, 3540,
                                                     240, 705, 1170, 1635, 2115, 2580, 3045, 3510};

struct ControlPlace
{
    int leftColumn;
    int rightColumn;
    int width;
    int height;
    int topOffset;

    QRect rect(int row) const
    {
        const int left = row < frmMain::kRows / 2 ? leftColumn : rightColumn;
        return Twips::rect(left, kRowTop[row] + topOffset, width, height);
    }
};

constexpr ControlPlace kLblItem{120, 6360, 255, 255, 60};
constexpr ControlPlace kCboItem{480, 6720, 2895, 315, 30};
constexpr ControlPlace kImgPend{3420, 9660, 270, 300, 37};
constexpr ControlPlace kBtnBack{3840, 10080, 375, 375, 0};
constexpr ControlPlace kBtnItem{4200, 10440, 1695, 375, 0};
constexpr ControlPlace kImgSend{5970, 12225, 270, 300, 37};
// Take All ends the presets' line, level with their list: it sends every
// pending row and Close ends the program, so the two stand well apart (27
// pixels across, not stacked) where a slip of the hand cannot reach both.
constexpr QRect kBtnTakeAll = Twips::rect(8340, 4230, 1695, 375);

const QString kOpenPrefix = QStringLiteral("Error opening configuration file ");
const QString kSavePrefix = QStringLiteral("Error saving configuration file ");
const QString kLineBreak = QStringLiteral("\r\n");
// Beside the file, so that panels share it exactly when they share the file.
const QString kLockName = QStringLiteral("vantrel.ini.lock");

QLabel *makeLamp(QWidget *parent, const QPixmap &picture, const QRect &place)
{
    auto *lamp = new QLabel(parent);
    lamp->setPixmap(picture);
    lamp->setGeometry(place);
    return lamp;
}

// Before the merge reads the newer file into a second model: the outputs past
// the rows are no longer needed (the choices carry what identifies them), so
// they are let go, and a large file is not held twice.
void releaseOutputsPast(clsVantrelConfig &config, int rows)
{
    config.fOutputs.resize(std::min<qsizetype>(config.fOutputs.size(), rows));
}

} // namespace

frmMain::frmMain(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint)
{
    setWindowTitle(QStringLiteral("Vantrel"));
    setWindowIcon(VantrelBrand::panelIcon());
    resize(Twips::size(kClientWidth, kClientHeight));
    createControls();

    // Running from creation: its first tick greys row 0's sent lamp, which is
    // grey already, and stops it.
    tmrFlash = new QTimer(this);
    tmrFlash->setInterval(kFlashPeriod);
    connect(tmrFlash, &QTimer::timeout, this, &frmMain::tmrFlash_Timer);
    tmrFlash->start();

    // The settings are read anew at every attempt, so the link always follows
    // what fConfig holds at that moment.
    fSender = new CommandSender(
        [this] { return fConfig ? LinkSettings::fromConfig(*fConfig) : LinkSettings{}; }, this);
    // Before the window's own ending handler: a take is logged before its
    // failure box opens.
    fTakeLog = new PanelTakeLog(
        fSender, [this] { return fConfig.get(); }, this);
    connect(fSender, &CommandSender::sendFinished, this, &frmMain::btnItem_SendEnded);
    createShowControls();
}

frmMain::~frmMain()
{
    // The sender outlives this part of the window while QObject deletes the
    // children; its endings must not reach a half-destroyed window.
    disconnect(fSender, nullptr, this, nullptr);
}

void frmMain::createControls()
{
    imgOffMaster = makeLamp(this, VantrelBrand::lampOff(), Twips::rect(8640, 4920, 270, 300));
    imgGreenMaster = makeLamp(this, VantrelBrand::lampGreen(), Twips::rect(9000, 4920, 270, 300));
    imgRedMaster = makeLamp(this, VantrelBrand::lampRed(), Twips::rect(9360, 4920, 270, 300));
    imgOffMaster->setObjectName(QStringLiteral("imgOffMaster"));
    imgGreenMaster->setObjectName(QStringLiteral("imgGreenMaster"));
    imgRedMaster->setObjectName(QStringLiteral("imgRedMaster"));
    for (QLabel *master : {imgOffMaster, imgGreenMaster, imgRedMaster})
        master->hide();

    for (int row = 0; row < kRows; ++row)
        createRow(row);

    btnClose = new QPushButton(QStringLiteral("Close"), this);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    btnClose->setGeometry(Twips::rect(10440, 4680, 1695, 375));
    connect(btnClose, &QPushButton::clicked, this, &frmMain::btnClose_Click);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(VantrelBrand::logo());
    Image1->setGeometry(Twips::rect(840, 4200, 3375, 900));

    Label1 = new QLabel(VantrelBrand::aboutLine(), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(Twips::rect(720, 5280, 3975, 255));
    VantrelBrand::fitTextToWidth(Label1);
}

void frmMain::createRow(int row)
{
    const QString number = QString::number(row);

    lblItem[row] = new QLabel(QString::number(row + 1), this);
    lblItem[row]->setObjectName(QStringLiteral("lblItem") + number);
    lblItem[row]->setGeometry(kLblItem.rect(row));
    lblItem[row]->setEnabled(false);

    cboItem[row] = new QComboBox(this);
    cboItem[row]->setObjectName(QStringLiteral("cboItem") + number);
    cboItem[row]->setGeometry(kCboItem.rect(row));
    cboItem[row]->setEditable(false);
    cboItem[row]->setEnabled(false);
    connect(cboItem[row], &QComboBox::currentIndexChanged, this,
            [this, row] { cboItem_Click(row); });

    imgPend[row] = makeLamp(this, imgOffMaster->pixmap(), kImgPend.rect(row));
    imgPend[row]->setObjectName(QStringLiteral("imgPend") + number);

    btnBack[row] = new QPushButton(QStringLiteral("<<"), this);
    btnBack[row]->setObjectName(QStringLiteral("btnBack") + number);
    btnBack[row]->setGeometry(kBtnBack.rect(row));
    connect(btnBack[row], &QPushButton::clicked, this, [this, row] { btnBack_Click(row); });

    btnItem[row] = new QPushButton(this);
    btnItem[row]->setObjectName(QStringLiteral("btnItem") + number);
    btnItem[row]->setGeometry(kBtnItem.rect(row));
    btnItem[row]->setEnabled(false);
    connect(btnItem[row], &QPushButton::clicked, this, [this, row] { btnItem_Click(row); });

    imgSend[row] = makeLamp(this, imgOffMaster->pixmap(), kImgSend.rect(row));
    imgSend[row]->setObjectName(QStringLiteral("imgSend") + number);
}

bool frmMain::Form_Load()
{
    setWindowTitle(QStringLiteral("Vantrel 2.07"));
    setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(),
                                    screen()->availableGeometry()));

    fTakeLog->started();
    // A message box during loading may be answered by the session ending.
    fLoading = true;
    const auto loadingEnds = qScopeGuard([this] { fLoading = false; });
    if (!claimFolder()) {
        fEnded = true;
        fExitStatus = 1;
        return false;
    }
    VantrelFile::LoadResult loaded;
    try {
        loaded = VantrelFile::Load();
    } catch (const VantrelError &error) {
        // Covers a file that cannot be opened and any failure after opening
        // (a read error, a value out of range): nothing was loaded, so
        // nothing may be written either.
        VantrelMessageBox::show(this, kOpenPrefix + VantrelFile::kFileName + kLineBreak +
                                          error.description());
        fLock.reset();
        fEnded = true;
        fExitStatus = 1;
        return false;
    }
    fConfig = loaded.config;
    fLoadedFingerprint = loaded.fingerprint;
    if (loaded.recovered)
        VantrelMessageBox::show(this,
                                VantrelFile::kFileName + kLineBreak + VantrelSave::kRecovered);

    // Outputs past the sixteenth have no row; they stay in fConfig unchanged
    // and are written back at the end.
    fRowCount = static_cast<int>(std::min<qsizetype>(fConfig->fOutputs.size(), kRows));
    for (int row = 0; row < fRowCount; ++row) {
        // As stored, before the row shows it: what another program's choice
        // is told apart from at the save.
        fLoadedSelected[row] = fConfig->fOutputs.at(row)->fSelected;
        fillRow(row);
    }
    fChosen.fill(false); // filling the rows ran the selection handler

    if (!loaded.complete && !confirmPartialLoad(loaded.stopDescription())) {
        fLock.reset();
        fEnded = true;
        fExitStatus = 1;
        return false;
    }
    updateTakeAll();
    // Beside "vantrel.ini", fixed at load like that file's own place.
    fPresets->load(QDir::current().absoluteFilePath(VantrelPresetFile::kFileName), fConfig,
                   QList<QComboBox *>(cboItem.cbegin(), cboItem.cbegin() + fRowCount));
    // The session ended, or the window was asked to close, while a box of
    // the load was open and the load went on: the panel ends now, as Close.
    if (fCloseRequested) {
        fLoading = false;
        btnClose_Click();
        return false;
    }
    return true;
}

frmMain::FolderClaim frmMain::startFolderClaim()
{
    return std::async(std::launch::async, [] {
        auto lock = std::make_unique<QLockFile>(kLockName);
        // A panel may stay open for days: only a lock whose panel is gone
        // (it crashed or was killed) is stale, never an old one.
        lock->setStaleLockTime(0);
        lock->tryLock(0);
        return lock;
    });
}

bool frmMain::claimFolder()
{
    if (!fClaim.valid())
        fClaim = startFolderClaim();
    fLock = fClaim.get();
    if (fLock->isLocked())
        return true;
    const bool held = fLock->error() == QLockFile::LockFailedError;
    qint64 pid = 0;
    QString host;
    QString application;
    fLock->getLockInfo(&pid, &host, &application);
    // A folder the panel may not write cannot hold a lock; the panel goes on
    // without one.
    fLock.reset();
    if (!held)
        return true;
    const QString text = kOpenPrefix + VantrelFile::kFileName + kLineBreak +
                         QStringLiteral("another panel (process %1) already has this file open. "
                                        "Each panel saves the choices made in it when it closes. "
                                        "OK opens this panel too; Cancel ends it without changing "
                                        "the file.")
                             .arg(pid);
    return VantrelMessageBox::show(this, text) != QMessageBox::Cancel;
}

void frmMain::fillRow(int row)
{
    clsVantrelOutput &output = *fConfig->fOutputs.at(row);

    lblItem[row]->setEnabled(true);
    cboItem[row]->setEnabled(true);
    btnItem[row]->setEnabled(true);

    {
        // A combo box selects its first entry by itself on the first addItem
        // and signals it; the list starts with no selection instead, so the
        // stored one is the only choice the handler sees.
        const QSignalBlocker blocker(cboItem[row]);
        // One call: the list's model grows once instead of once per input.
        QStringList names;
        names.reserve(output.fInputs.size());
        for (const auto &input : std::as_const(output.fInputs))
            names.append(input.fInputName.toString());
        cboItem[row]->addItems(names);
        cboItem[row]->setCurrentIndex(-1);
    }

    // A stored position the list cannot show becomes no selection; the
    // handler then stores -1, keeping fSelected equal to what is shown.
    const int stored = output.fSelected;
    setListIndex(row, stored >= 0 && stored < cboItem[row]->count() ? stored : -1);

    fSentIndex[row] = output.fSelected;
    btnItem[row]->setText(output.fOutputName);
    setLamp(imgPend[row], imgOffMaster);
}

bool frmMain::confirmPartialLoad(const QString &description)
{
    const QString text = kOpenPrefix + VantrelFile::kFileName + kLineBreak + description +
                         QStringLiteral(" and will be replaced when the panel closes. "
                                        "OK goes on with what was read; Cancel ends the "
                                        "panel without changing the file.");
    return VantrelMessageBox::show(this, text) != QMessageBox::Cancel;
}

void frmMain::setListIndex(int row, int index)
{
    if (cboItem[row]->currentIndex() == index)
        cboItem_Click(row);
    else
        cboItem[row]->setCurrentIndex(index); // emits currentIndexChanged -> cboItem_Click
}

void frmMain::setLamp(QLabel *lamp, const QLabel *master)
{
    lamp->setPixmap(master->pixmap());
    lampChanged(lamp, master);
}

void frmMain::cboItem_Click(int Index)
{
    if (fEnded || Index < 0 || Index >= fRowCount)
        return;
    setLamp(imgPend[Index], imgRedMaster);
    fChosen[Index] = true;
    fConfig->fOutputs.at(Index)->fSelected = static_cast<qint16>(cboItem[Index]->currentIndex());
    emit rowChanged(Index);
}

void frmMain::btnBack_Click(int Index)
{
    // A row without an output has nothing to go back to.
    if (fEnded || Index < 0 || Index >= fRowCount)
        return;
    const int sent = fSentIndex[Index];
    setListIndex(Index, sent >= 0 && sent < cboItem[Index]->count() ? sent : -1);
    setLamp(imgPend[Index], imgOffMaster);
}

void frmMain::btnItem_Click(int Index)
{
    const TakeOrigin origin = std::exchange(fPressOrigin, TakeOrigin{});
    TakeDone done = std::exchange(fPressDone, TakeDone{});
    if (fEnded || Index < 0 || Index >= fRowCount) {
        if (done)
            done(false, fEnded ? tr("The panel has closed; nothing was sent.")
                               : tr("Row %1 has no output.").arg(Index + 1));
        return;
    }
    // The command is taken once per press; retries resend the same text.
    const int position = cboItem[Index]->currentIndex();
    const QString command = rowCommand(Index);
    // The ending records the input this press sent, which the operator may
    // have changed while the press waited its turn or retried.
    fPressed.enqueue(Press{Index, static_cast<qint16>(position), origin, std::move(done)});
    fChosen[Index] = true;
    fTakeLog->pressed(Index, position, origin);
    fSender->send(Index, command);
    emit rowChanged(Index);
}

void frmMain::btnItem_SendEnded(int Index, bool ok, const QString &command,
                                const QString &description)
{
    Press pressed = fPressed.isEmpty() ? Press{Index, -1, {}, {}} : fPressed.dequeue();
    const QString failure = ok ? QString() : CommandSender::failureMessage(command, description);
    // Whoever asked for the take learns its outcome however the panel goes on.
    const auto tell = qScopeGuard([&] {
        if (pressed.done)
            pressed.done(ok, failure);
    });
    if (fEnded || Index < 0 || Index >= fRowCount)
        return;
    if (!ok) {
        if (pressed.origin.fromWindow()) {
            VantrelMessageBox::show(this, failure);
        } else {
            // Nobody may be at the PC to answer a box: the queue goes on.
            showFailureNotice(Index, failure);
        }
        // Close may have been chosen while the message was open.
        if (fEnded)
            return;
        if (fCloseRequested) {
            btnClose_Click();
            return;
        }
    }
    fLastResult[Index] = ok ? TakeResult::Ok : TakeResult::Failed;
    fLastResultText[Index] = failure;
    if (ok)
        imgSend[Index]->setToolTip(QString());
    setLamp(imgSend[Index], ok ? imgGreenMaster : imgRedMaster);
    fFlashRow = static_cast<qint16>(Index);
    tmrFlash->start();
    // A failed press leaves the pending lamp as it was, but the failed input
    // still counts as the one "<<" goes back to. A choice made while the
    // press was under way has not been sent: its lamp stays red.
    if (ok && cboItem[Index]->currentIndex() == pressed.position)
        setLamp(imgPend[Index], imgOffMaster);
    fSentIndex[Index] = pressed.position;
    emit takeEnded(Index, pressed.position, pressed.origin, ok, failure);
    emit rowChanged(Index);
}

bool frmMain::isRowBusy(int row) const
{
    return std::any_of(fPressed.cbegin(), fPressed.cend(),
                       [row](const Press &press) { return press.row == row; });
}

void frmMain::abandonPresses()
{
    const QQueue<Press> abandoned = std::exchange(fPressed, {});
    for (const Press &press : abandoned) {
        if (press.done)
            press.done(false, tr("The panel closed before the command was sent."));
    }
}

QString frmMain::rowCommand(int row) const
{
    const clsVantrelOutput &output = *fConfig->fOutputs.at(row);
    const int position = cboItem[row]->currentIndex();
    if (output.fSelected == -1 || position < 0 || position >= output.fInputs.size())
        return QString();
    return DecodeEscapes(output.fInputs.at(position).fCommand);
}

// The additions for the changes between shows sit beside the window's own
// controls, after them in the tab order, and reach the rows only through the
// rows' own handlers: a hotkey is a click, Take All a series of clicks and a
// recall a series of choices.
void frmMain::createShowControls()
{
    fAskPresetName = PanelPresets::askName;
    fPresets = new PanelPresets(
        this, fPresetFile, fTakeLog, [this] { return fEnded; },
        [this](QWidget *parent, const QString &offered) {
            return fAskPresetName(parent, offered);
        });
    lblPresets = fPresets->label();
    cboPresets = fPresets->list();
    btnSavePreset = fPresets->saveButton();
    btnDeletePreset = fPresets->deleteButton();
    connect(fPresets, &PanelPresets::changed, this, &frmMain::presetsChanged);

    btnTakeAll = new QPushButton(tr("Take All"), this);
    btnTakeAll->setObjectName(QStringLiteral("btnTakeAll"));
    btnTakeAll->setGeometry(kBtnTakeAll);
    btnTakeAll->setToolTip(tr("Sends every row whose pending lamp is red, in row order (%1)")
                               .arg(PanelKeys::takeAllKey().toString(QKeySequence::NativeText)));
    btnTakeAll->setEnabled(false);
    connect(btnTakeAll, &QPushButton::clicked, this, &frmMain::btnTakeAll_Click);

    PanelKeys::bind(this, QList<QPushButton *>(btnItem.cbegin(), btnItem.cend()), btnTakeAll,
                    [this](int row) {
                        fPressOrigin = TakeOrigin{TakeOrigin::Source::Key, {}};
                        btnItem[row]->click();
                        fPressOrigin = TakeOrigin{};
                    });
    // After btnItem_Click has queued the press: the row may no longer be one
    // Take All would send.
    for (QPushButton *button : btnItem)
        connect(button, &QPushButton::clicked, this, &frmMain::updateTakeAll);

    fNotice = new FailureNotice(this);
    lblNotice = fNotice->label();
    tmrNotice = fNotice->timer();
}

void frmMain::showFailureNotice(int row, const QString &message)
{
    // The whole message stays on the row's sent lamp, which turns red; the
    // notice is one line that names the row.
    imgSend[row]->setToolTip(message);
    fNotice->show(row, fConfig->fOutputs.at(row)->fOutputName, message);
}

void frmMain::lampChanged(const QLabel *lamp, const QLabel *master)
{
    const auto found = std::find(imgPend.cbegin(), imgPend.cend(), lamp);
    if (found != imgPend.cend()) {
        fPendingLit[size_t(found - imgPend.cbegin())] = master == imgRedMaster;
        emit rowChanged(int(found - imgPend.cbegin()));
    }
    const auto sent = std::find(imgSend.cbegin(), imgSend.cend(), lamp);
    if (sent != imgSend.cend()) {
        fSentLamp[size_t(sent - imgSend.cbegin())] = master == imgGreenMaster ? SentLamp::Green
                                                     : master == imgRedMaster ? SentLamp::Red
                                                                              : SentLamp::Off;
        emit rowChanged(int(sent - imgSend.cbegin()));
    }
    updateTakeAll();
}

void frmMain::updateTakeAll()
{
    if (!btnTakeAll)
        return;
    // A row whose choice is already on its way is not taken twice.
    bool any = false;
    for (int row = 0; row < fRowCount && !any; ++row)
        any = fPendingLit[row] && !fSender->isQueued(row, rowCommand(row));
    btnTakeAll->setEnabled(any && !fEnded);
}

void frmMain::btnTakeAll_Click()
{
    takeAll(TakeOrigin{TakeOrigin::Source::TakeAll, {}});
}

QList<int> frmMain::takeAll(const TakeOrigin &origin)
{
    // Each row is pressed as its own button would be: it waits its turn in
    // the same queue and ends with its own lamps and, failing, its own
    // message, while the rows after it go on.
    QList<int> taken;
    for (int row = 0; row < fRowCount && !fEnded; ++row) {
        if (fPendingLit[row] && !fSender->isQueued(row, rowCommand(row))) {
            fPressOrigin = origin;
            btnItem_Click(row);
            taken.append(row);
        }
    }
    updateTakeAll();
    return taken;
}

void frmMain::pressRow(int row, const TakeOrigin &origin, TakeDone done)
{
    fPressOrigin = origin;
    fPressDone = std::move(done);
    // As a click: btnItem_Click, then Take All's state; a disabled button
    // (a row without an output) does nothing, and the requester learns why.
    if (row >= 0 && row < kRows)
        btnItem[row]->click();
    fPressOrigin = TakeOrigin{};
    if (TakeDone unheard = std::exchange(fPressDone, TakeDone{}))
        unheard(false, fEnded ? tr("The panel has closed; nothing was sent.")
                              : tr("Row %1 has no output.").arg(row + 1));
}

void frmMain::cboPresets_Click(int index)
{
    fPresets->recallPicked(index);
}

QStringList frmMain::recallPreset(int index, QList<int> *applied)
{
    return fPresets->recall(index, applied);
}

void frmMain::btnSavePreset_Click()
{
    fPresets->saveShown();
}

void frmMain::btnDeletePreset_Click()
{
    fPresets->deleteShown();
}

void frmMain::tmrFlash_Timer()
{
    if (fFlashRow >= 0 && fFlashRow < kRows)
        setLamp(imgSend[fFlashRow], imgOffMaster);
    tmrFlash->stop();
}

void frmMain::btnClose_Click()
{
    // Ends the panel: whatever calls this afterwards (the window closing,
    // a timer tick, the end of a send) finds it ended and does nothing, so
    // the file is written once.
    if (fEnded)
        return;
    fEnded = true;
    tmrFlash->stop();
    // A send still running is abandoned, and presses waiting their turn are
    // dropped: nothing goes to the switcher once the panel has ended.
    disconnect(fSender, nullptr, this, nullptr);
    fSender->cancelAll();
    fTakeLog->cancelled();
    abandonPresses();

    // Before a load there is nothing of the file's to write back.
    if (!fConfig) {
        endProgram(fExitStatus);
        return;
    }

    int status = 0;
    try {
        const QString notice = saveChoices();
        if (!notice.isEmpty())
            VantrelMessageBox::show(this, notice);
    } catch (const VantrelError &error) {
        fTakeLog->saved(QStringLiteral("failed"), {}, error.description());
        VantrelMessageBox::show(this, kSavePrefix + VantrelFile::kFileName + kLineBreak +
                                          error.description());
        status = 1;
    }
    endProgram(status);
}

QString frmMain::saveChoices()
{
    // The rows chosen here are the panel's part of the file; everything else
    // is whatever the file holds when it is written.
    QList<VantrelMerge::Choice> choices;
    for (int row = 0; row < fRowCount; ++row) {
        if (!fChosen[row])
            continue;
        VantrelMerge::Choice choice = VantrelMerge::ChoiceOf(*fConfig, row);
        choice.loaded = fLoadedSelected[row];
        choices.append(choice);
    }
    const QString changed = QStringLiteral("the file was changed while the panel was open");
    QList<VantrelMerge::NotKept> notKept;
    bool recovered = false;
    bool merged = false;
    try {
        recovered = VantrelMerge::Save(
            fConfig, fLoadedFingerprint,
            [&](const VantrelFile::LoadResult &newer) {
                if (!newer.complete)
                    throw VantrelError(
                        QStringLiteral("%1, and the panel would lose the part it cannot read "
                                       "(%2), so it was left as it is")
                            .arg(changed, newer.stopDescription()));
                notKept = VantrelMerge::PutChoices(choices, *newer.config);
                merged = true;
                VantrelFile::KeepUntilExit(newer.config); // the panel is ending
                return newer.config;
            },
            [this] { releaseOutputsPast(*fConfig, fRowCount); });
    } catch (const VantrelMerge::ReadError &error) {
        throw VantrelError(
            QStringLiteral("the file cannot be read now, so it was left as it is: %1")
                .arg(error.description()));
    }
    // A save interrupted since the load was finished first.
    const QString recovery = recovered ? kLineBreak + VantrelSave::kRecovered : QString();
    const QString how = merged ? QStringLiteral("merged") : QStringLiteral("saved");
    if (notKept.isEmpty()) {
        fTakeLog->saved(how);
        return recovered ? VantrelFile::kFileName + recovery : QString();
    }
    QStringList gone;
    QStringList chosenThere;
    for (const VantrelMerge::NotKept &lost : std::as_const(notKept)) {
        const clsVantrelOutput &output = *fConfig->fOutputs.at(lost.output);
        const int chosen = output.fSelected;
        (lost.gone ? gone : chosenThere)
            << QStringLiteral("row %1 (%2: %3)")
                   .arg(lost.output + 1)
                   .arg(output.fOutputName, chosen >= 0 && chosen < output.fInputs.size()
                                                ? output.fInputs.at(chosen).fInputName.toString()
                                                : QStringLiteral("no input"));
    }
    QStringList why;
    if (!gone.isEmpty())
        why << QStringLiteral("its outputs and inputs no longer match these rows, so their "
                              "choices could not be kept: %1")
                   .arg(gone.join(QStringLiteral(", ")));
    if (!chosenThere.isEmpty())
        why << QStringLiteral("another program saved other choices for these rows, which "
                              "stay: %1")
                   .arg(chosenThere.join(QStringLiteral(", ")));
    fTakeLog->saved(how, gone + chosenThere);
    return kSavePrefix + VantrelFile::kFileName + kLineBreak +
           QStringLiteral("%1, and %2. Every other choice and the rest of the newer file were "
                          "saved.")
               .arg(changed, why.join(QStringLiteral("; and "))) +
           recovery;
}

void frmMain::Form_EndSession(const QString &how)
{
    if (!fEnded && fEndHow.isEmpty())
        fEndHow = how;
    VantrelMessageBox::closeAll();
    // A load in progress ends through its own box's Cancel, or once it is
    // done when the box did not stop it; an ending already under way goes
    // on once its box returns.
    if (fLoading)
        fCloseRequested = true;
    if (fLoading || fEnded)
        return;
    btnClose_Click();
}

void frmMain::Form_CloseWhenAnswered()
{
    if (fEnded || fCloseRequested)
        return;
    fCloseRequested = true;
    if (fEndHow.isEmpty())
        fEndHow = QStringLiteral("window");
    // Any modal dialog may hold the window (a message box, the preset's name
    // box), and one may open after another: the close waits until none is
    // left and the handler that opened them has returned.
    auto *wait = new QTimer(this);
    wait->setInterval(50);
    connect(wait, &QTimer::timeout, this, [this, wait] {
        if (!fEnded && (fLoading || QApplication::activeModalWidget()))
            return;
        wait->deleteLater();
        btnClose_Click();
    });
    wait->start();
}

void frmMain::saveAtExit()
{
    if (fEnded)
        return;
    fEnded = true;
    // No destructor runs after exit(): the folder is free for the next panel.
    const auto unlock = qScopeGuard([this] {
        fLock.reset();
        fTakeLog->ended(QStringLiteral("display-gone"));
        fTakeLog->flushAtExit();
    });
    if (!fConfig || fLoading)
        return;
    try {
        // The same merge as Close, since the editor may have saved meanwhile;
        // a notice about rows that could not be kept can no longer be shown.
        saveChoices();
    } catch (const VantrelError &error) {
        // Nothing can be shown any more; the earlier file stays whole.
        fTakeLog->saved(QStringLiteral("failed"), {}, error.description());
    }
}

void frmMain::endProgram(int status)
{
    if (fConfig)
        VantrelFile::KeepUntilExit(fConfig);
    fLock.reset();
    fExitStatus = status;
    fTakeLog->ended(fEndHow.isEmpty() ? QStringLiteral("close") : fEndHow);
    close();
    QCoreApplication::exit(status);
}

void frmMain::closeEvent(QCloseEvent *event)
{
    if (!fEnded && fEndHow.isEmpty())
        fEndHow = QStringLiteral("window");
    btnClose_Click();
    event->accept();
}
