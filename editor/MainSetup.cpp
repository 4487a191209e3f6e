#include "MainSetup.h"

#include "DialogFrame.h"
#include "EditableItemList.h"
#include "OutputSetup.h"
#include "SerialPortMap.h"
#include "Twips.h"
#include "TypingFilter.h"
#include "VantrelBrand.h"
#include "VantrelFile.h"
#include "VantrelMerge.h"
#include "VantrelMessageBox.h"
#include "VantrelSave.h"
#include "clsVantrelConfig.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

namespace {

const QString kOpenError = QStringLiteral("Error opening configuration file ");
const QString kSaveError = QStringLiteral("Error saving configuration file ");
const QString kCommPrefix = QStringLiteral("COM");
const QString kLineBreak = QStringLiteral("\r\n");

// Fills a box with its option list and selects the entry the lookup found.
// A stored value that no entry matches is shown as it is, with no entry
// selected, so that Close saves it unchanged.
void fillBox(QComboBox *box, const QStringList &entries, int index, const QString &shown)
{
    box->addItems(entries);
    box->setCurrentIndex(index);
    if (index < 0)
        box->setEditText(shown);
    // Setting a text leaves the cursor at its end, which scrolls a long
    // value to its tail.
    box->lineEdit()->setCursorPosition(0);
}

// Which device a port opens depends on the machine (see SerialPortMap), so
// the port box says it rather than leaving the user to guess.
QString portToolTip(const QString &text)
{
    if (!text.startsWith(kCommPrefix, Qt::CaseInsensitive))
        return QString();
    bool ok = false;
    const int number = text.mid(kCommPrefix.size()).toInt(&ok);
    if (!ok || number < 1 || number > 255)
        return QString();
    return QStringLiteral("Opens %1").arg(SerialPortMap::describe(number));
}

void describePorts(QComboBox *box)
{
    for (int i = 0; i < box->count(); ++i)
        box->setItemData(i, portToolTip(box->itemText(i)), Qt::ToolTipRole);
    // Changing the current entry's data sets the box's text again.
    box->lineEdit()->setCursorPosition(0);
    box->setToolTip(portToolTip(box->currentText()));
    QObject::connect(box, &QComboBox::currentTextChanged, box,
                     [box](const QString &text) { box->setToolTip(portToolTip(text)); });
}

// A long list is cut short: a box taller than the screen cannot be answered.
QString listed(const QStringList &items)
{
    constexpr qsizetype kShown = 12;
    QString text = items.mid(0, kShown).join(kLineBreak);
    if (items.size() > kShown)
        text += kLineBreak + QStringLiteral("and %1 more").arg(items.size() - kShown);
    return text;
}

} // namespace

MainSetup::MainSetup() : QWidget(nullptr, Qt::Window | DialogFrame::kFixedFrame)
{
    setObjectName(QStringLiteral("MainSetup"));
    setFixedSize(Twips::size(9000, 5415));
    setWindowIcon(VantrelBrand::editorIcon());
    createControls();

    fOutputsList = new EditableItemList(
        lstOutputs, btnEdit, [this] { return fConfig ? int(fConfig->fOutputs.size()) : 0; },
        [this](int position) -> const CompactString & {
            return fConfig->fOutputs.at(position)->fOutputName;
        },
        this);
    connect(fOutputsList, &EditableItemList::selected, this, &MainSetup::lstOutputs_Click);
    connect(fOutputsList, &EditableItemList::editRequested, this, &MainSetup::btnEdit_Click);
    // activated is a pick from the list, never typing; Form_Load calls the
    // handler itself when it selects the stored type.
    connect(cboCommType, &QComboBox::activated, this, &MainSetup::cboCommType_Click);
    connect(btnClose, &QPushButton::clicked, this, &MainSetup::btnClose_Click);
}

MainSetup::~MainSetup() = default;

void MainSetup::createControls()
{
    auto makeLabel = [this](const QString &caption, const QString &name, const QRect &where,
                            QWidget *buddy) {
        auto *label = new QLabel(caption, this);
        label->setObjectName(name);
        label->setGeometry(where);
        label->setBuddy(buddy);
        return label;
    };
    auto makeBox = [this](const QString &name, const QRect &where) {
        auto *box = new QComboBox(this);
        box->setObjectName(name);
        box->setGeometry(where);
        box->setEditable(true);
        // Typed text is saved as typed: no completion rewriting it, and no
        // typed text turning into a new entry.
        box->setCompleter(nullptr);
        box->setInsertPolicy(QComboBox::NoInsert);
        new TypingFilter(box->lineEdit(), TypingFilter::Mode::Line);
        return box;
    };
    auto makeText = [this](const QString &name, const QRect &where) {
        auto *text = new QLineEdit(this);
        text->setObjectName(name);
        text->setGeometry(where);
        return text;
    };

    Label1 = makeLabel(QStringLiteral("Communication Settings"), QStringLiteral("Label1"),
                       Twips::rect(240, 240, 3255, 255), nullptr);
    DialogFrame::makeBold(Label1);

    cboCommType = makeBox(QStringLiteral("cboCommType"), Twips::rect(1800, 480, 1695, 315));
    watchTypedTypeConfirmed();
    lblType = makeLabel(QStringLiteral("T&ype"), QStringLiteral("lblType"),
                        Twips::rect(240, 480, 1455, 255), cboCommType);
    cboCommPort = makeBox(QStringLiteral("cboCommPort"), Twips::rect(1800, 840, 1695, 315));
    lblCommPort = makeLabel(QStringLiteral("&Comm Port"), QStringLiteral("lblCommPort"),
                            Twips::rect(240, 840, 1455, 255), cboCommPort);
    cboBaudRate = makeBox(QStringLiteral("cboBaudRate"), Twips::rect(1800, 1200, 1695, 315));
    lblBaudRate = makeLabel(QStringLiteral("Baud &Rate"), QStringLiteral("lblBaudRate"),
                            Twips::rect(240, 1200, 1455, 255), cboBaudRate);
    cboDataBits = makeBox(QStringLiteral("cboDataBits"), Twips::rect(1800, 1560, 1695, 315));
    lblDataBits = makeLabel(QStringLiteral("Data &Bits"), QStringLiteral("lblDataBits"),
                            Twips::rect(240, 1560, 1455, 255), cboDataBits);
    cboParity = makeBox(QStringLiteral("cboParity"), Twips::rect(1800, 1920, 1695, 315));
    lblParity = makeLabel(QStringLiteral("&Parity"), QStringLiteral("lblParity"),
                          Twips::rect(240, 1920, 1455, 255), cboParity);
    cboStopBits = makeBox(QStringLiteral("cboStopBits"), Twips::rect(1800, 2280, 1695, 315));
    lblStopBits = makeLabel(QStringLiteral("&Stop Bits"), QStringLiteral("lblStopBits"),
                            Twips::rect(240, 2280, 1455, 255), cboStopBits);
    cboProtocol = makeBox(QStringLiteral("cboProtocol"), Twips::rect(1800, 2640, 1695, 315));
    lblProtocol = makeLabel(QStringLiteral("Pr&otocol"), QStringLiteral("lblProtocol"),
                            Twips::rect(240, 2640, 1455, 255), cboProtocol);

    txtIPAddress = makeText(QStringLiteral("txtIPAddress"), Twips::rect(1800, 3000, 2535, 285));
    fIPAddressFilter = new TypingFilter(txtIPAddress, TypingFilter::Mode::Line, kIPAddressLimit);
    lblIPAddress = makeLabel(QStringLiteral("IP &Address"), QStringLiteral("lblIPAddress"),
                             Twips::rect(240, 3000, 1455, 255), txtIPAddress);
    txtPort = makeText(QStringLiteral("txtPort"), Twips::rect(1800, 3360, 615, 285));
    fPortFilter = new TypingFilter(txtPort, TypingFilter::Mode::Line, kPortLimit);
    lblPort = makeLabel(QStringLiteral("Por&t"), QStringLiteral("lblPort"),
                        Twips::rect(240, 3360, 1455, 255), txtPort);

    Label2 = makeLabel(QStringLiteral("Outputs"), QStringLiteral("Label2"),
                       Twips::rect(4680, 240, 2655, 255), nullptr);
    DialogFrame::makeBold(Label2);
    lstOutputs = new QListView(this);
    lstOutputs->setObjectName(QStringLiteral("lstOutputs"));
    lstOutputs->setGeometry(Twips::rect(4680, 480, 2655, 3180));

    // Neither button is a default: Enter and Escape do nothing window-wide.
    btnEdit = new QPushButton(QStringLiteral("Edit"), this);
    btnEdit->setObjectName(QStringLiteral("btnEdit"));
    btnEdit->setGeometry(Twips::rect(7440, 480, 1215, 375));
    btnClose = new QPushButton(QStringLiteral("Close"), this);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    btnClose->setGeometry(Twips::rect(7560, 4440, 1215, 375));

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(Twips::rect(480, 4080, 3375, 900));
    Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Image1->setPixmap(VantrelBrand::logo());
    Label3 = makeLabel(VantrelBrand::aboutLine(), QStringLiteral("Label3"),
                       Twips::rect(480, 5040, 3495, 255), nullptr);
    VantrelBrand::fitTextToWidth(Label3);

    const QList<QWidget *> tabOrder = {cboCommType, cboCommPort, cboBaudRate, cboDataBits,
                                       cboParity,   cboStopBits, cboProtocol, txtIPAddress,
                                       txtPort,     lstOutputs,  btnEdit,     btnClose};
    for (int i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder.at(i - 1), tabOrder.at(i));
}

void MainSetup::watchTypedTypeConfirmed()
{
    // When typed text is confirmed (Enter, or the focus leaving the box) and
    // matches an entry, QComboBox selects that entry and reports it as
    // activated, exactly like a pick from the list. Only a pick may switch
    // the groups, so the line edit's two confirming signals are bracketed:
    // slots run in the order they were connected, and QComboBox connects
    // its own in setLineEdit().
    auto *edit = new QLineEdit(cboCommType);
    const auto confirming = [this](bool on) {
        return [this, on] {
            fConfirmingTypedType = on;
        };
    };
    connect(edit, &QLineEdit::returnPressed, this, confirming(true));
    connect(edit, &QLineEdit::editingFinished, this, confirming(true));
    cboCommType->setLineEdit(edit);
    connect(edit, &QLineEdit::returnPressed, this, confirming(false));
    connect(edit, &QLineEdit::editingFinished, this, confirming(false));
    // setLineEdit() puts a completer back; typed text is saved as typed.
    cboCommType->setCompleter(nullptr);
    new TypingFilter(edit, TypingFilter::Mode::Line);
}

bool MainSetup::Form_Load()
{
    setWindowTitle(QStringLiteral("Vantrel Configuration 2.06"));

    VantrelFile::LoadResult loaded;
    try {
        loaded = VantrelFile::Load();
    } catch (const VantrelFile::OpenError &) {
        VantrelMessageBox::show(this, kOpenError + VantrelFile::kFileName);
        fExitCode = 1;
        return false;
    } catch (const VantrelError &error) {
        VantrelMessageBox::show(this, kOpenError + VantrelFile::kFileName + kLineBreak +
                                          error.description());
        fExitCode = 1;
        return false;
    }
    if (loaded.recovered)
        VantrelMessageBox::show(this,
                                VantrelFile::kFileName + kLineBreak + VantrelSave::kRecovered);
    if (!loaded.complete) {
        // Close would write only what was read: say so before anything can.
        const auto answer = VantrelMessageBox::show(
            this, kOpenError + VantrelFile::kFileName + kLineBreak + loaded.stopDescription() +
                      QStringLiteral(" and will be replaced on Close."));
        if (answer != QMessageBox::Ok) {
            fExitCode = 1;
            return false;
        }
    }
    fConfig = loaded.config;
    fLoadedFingerprint = loaded.fingerprint;
    fLoadedType = fConfig->fType;
    fLoadedProtocol = fConfig->fProtocol;
    fLoadedCommPort = fConfig->fCommPort;
    fLoadedSettings = VantrelMerge::Settings(*fConfig);

    const clsVantrelConfig &config = *fConfig;
    const int typeIndex = config.TypeIndex(config.fType);
    fillBox(cboCommType, config.TypeCollection(), typeIndex, config.fType);
    // Selecting the type is a pick like the user's. A type that matches no
    // entry leaves both groups shown, so nothing of the file is hidden.
    if (typeIndex >= 0)
        cboCommType_Click();
    // A port that no entry matches ("COM3", "12", nothing) is shown as stored.
    fillBox(cboCommPort, config.CommPortCollection(),
            config.CommPortIndex(kCommPrefix + config.fCommPort), config.fCommPort);
    describePorts(cboCommPort);
    fillBox(cboBaudRate, config.BaudRateCollection(), config.BaudRateIndex(config.fBaudRate),
            config.fBaudRate);
    fillBox(cboDataBits, config.DataBitsCollection(), config.DataBitsIndex(config.fDataBits),
            config.fDataBits);
    fillBox(cboParity, config.ParityCollection(), config.ParityIndex(config.fParity),
            config.fParity);
    fillBox(cboStopBits, config.StopBitsCollection(), config.StopBitsIndex(config.fStopBits),
            config.fStopBits);
    fillBox(cboProtocol, config.ProtocolCollection(), config.ProtocolIndex(config.fProtocol),
            config.fProtocol);

    fIPAddressFilter->setText(config.fIPAddress);
    fPortFilter->setText(config.fPort);

    // What Close writes of the settings when nobody changes them: a value
    // only the boxes' spelling changed is no edit of the operator's.
    fUntouchedSettings = shownSettings();
    RefreshList(0);
    return true;
}

void MainSetup::cboCommType_Click()
{
    if (fConfirmingTypedType)
        return;
    ShowCommTypeFields();
}

void MainSetup::ShowCommTypeFields()
{
    const QString type = cboCommType->currentText().toLower();
    const bool serial = type == QLatin1String("serial");
    const bool network = type == QLatin1String("network");
    // Serial group first, each control in its order; hiding moves nothing.
    const std::initializer_list<QWidget *> serialGroup = {
        lblCommPort, cboCommPort, lblBaudRate, cboBaudRate, lblDataBits,
        cboDataBits, lblParity,   cboParity,   lblStopBits, cboStopBits};
    const std::initializer_list<QWidget *> networkGroup = {lblProtocol,  cboProtocol, lblIPAddress,
                                                           txtIPAddress, lblPort,     txtPort};
    for (QWidget *control : serialGroup)
        control->setVisible(serial);
    for (QWidget *control : networkGroup)
        control->setVisible(network);
}

QStringList MainSetup::shownSettings() const
{
    // The port is stored without its prefix ("COM12" as "12"); a port typed
    // without the prefix is stored as typed, and a stored port that no entry
    // matched is written back as it was unless the user changed it.
    QString port = cboCommPort->currentText();
    const bool untouched = cboCommPort->currentIndex() < 0 && port == fLoadedCommPort;
    if (!untouched && port.startsWith(kCommPrefix, Qt::CaseInsensitive))
        port = port.mid(kCommPrefix.size());
    // In file order, as VantrelMerge::Settings.
    return {lowerUnlessUntouched(cboCommType, fLoadedType),
            port,
            cboBaudRate->currentText(),
            cboDataBits->currentText(),
            cboParity->currentText(),
            cboStopBits->currentText(),
            lowerUnlessUntouched(cboProtocol, fLoadedProtocol),
            txtIPAddress->text(),
            txtPort->text()};
}

void MainSetup::btnClose_Click()
{
    if (!fConfig)
        return;
    VantrelMerge::SetSettings(*fConfig, shownSettings());
    try {
        if (!saveMerged())
            return;                          // back to editing, nothing written
        VantrelFile::KeepUntilExit(fConfig); // the editor is ending
    } catch (const VantrelError &error) {
        // The old file is untouched and every edit is still here: the user
        // can remove the cause and press Close again.
        fExitCode = 1;
        VantrelMessageBox::show(this, kSaveError + VantrelFile::kFileName + kLineBreak +
                                          error.description());
        return;
    }
    end(0);
}

bool MainSetup::saveMerged()
{
    const QString changed =
        QStringLiteral("the file was changed by another program since the editor read it");
    // What the operator was asked about, and the answer: a later look that
    // finds anything else asks again.
    QStringList answered;
    bool keepMine = false;
    for (;;) {
        VantrelMerge::Edits edits;
        QString stopped;
        bool unanswered = false;
        bool recovered = false;
        try {
            recovered = VantrelMerge::SaveEdits(
                fConfig, fLoadedFingerprint, fLoadedSettings,
                fBaseKept ? [this]() -> const VantrelMerge::Base & { return fLoadedBase; }
                          : std::function<const VantrelMerge::Base &()>(),
                fUntouchedSettings, keepMine,
                [&](const VantrelFile::LoadResult &newer, const VantrelMerge::Edits &found) {
                    if (!newer.complete) {
                        stopped = newer.stopDescription();
                        return false;
                    }
                    edits = found;
                    for (const QString &item : edits.conflicts + edits.notPlaced)
                        unanswered = unanswered || !answered.contains(item);
                    return !unanswered;
                });
        } catch (const VantrelMerge::ReadError &error) {
            // A file that is there but reads badly (another program wrote a
            // value out of range) may be saved over; anything else is a
            // failure to save.
            if (!QFileInfo(VantrelFile::kFileName).isFile())
                throw;
            stopped = error.description();
        }
        if (!stopped.isEmpty()) {
            // Merging into a file the editor cannot read whole would lose its
            // unread part: the operator decides.
            const QString text = kSaveError + VantrelFile::kFileName + kLineBreak +
                                 QStringLiteral("%1, and %2. OK saves over it what the editor "
                                                "shows; Cancel goes back to editing without "
                                                "saving.")
                                     .arg(changed, stopped);
            if (VantrelMessageBox::show(this, text) != QMessageBox::Ok)
                return false;
            VantrelFile::Save(*fConfig);
            return true;
        }
        if (recovered)
            VantrelMessageBox::show(this,
                                    VantrelFile::kFileName + kLineBreak + VantrelSave::kRecovered);
        if (!unanswered)
            return true;
        QString text = kSaveError + VantrelFile::kFileName + kLineBreak + changed;
        if (!edits.notPlaced.isEmpty())
            text += QStringLiteral(", and its outputs or inputs are no longer the ones the editor "
                                   "shows, so these edits have no place in it and are not "
                                   "saved:") +
                    kLineBreak + listed(edits.notPlaced);
        if (edits.conflicts.isEmpty()) {
            text += kLineBreak + QStringLiteral("OK saves the rest; Cancel goes back to editing "
                                                "without saving.");
            if (VantrelMessageBox::show(this, text) != QMessageBox::Ok)
                return false;
        } else {
            text += (edits.notPlaced.isEmpty() ? QStringLiteral(", and it and the editor")
                                               : kLineBreak + QStringLiteral("It and the editor")) +
                    QStringLiteral(" both changed these:") + kLineBreak + listed(edits.conflicts) +
                    kLineBreak +
                    QStringLiteral("Keep mine saves your values of these, Keep theirs keeps the "
                                   "file's; everything else is saved either way. Back to "
                                   "editing saves nothing.");
            const int answer =
                VantrelMessageBox::ask(this, text,
                                       {QStringLiteral("Keep mine"), QStringLiteral("Keep theirs"),
                                        QStringLiteral("Back to editing")});
            if (answer == 2)
                return false;
            keepMine = answer == 0;
        }
        answered = edits.conflicts + edits.notPlaced;
    }
}

QString MainSetup::lowerUnlessUntouched(const QComboBox *box, const QString &loaded)
{
    // Type and protocol are stored in lower case. A stored value that no
    // entry matched is shown as it is, and is written back as it was unless
    // the user changed it.
    const QString text = box->currentText();
    if (box->currentIndex() < 0 && text == loaded)
        return text;
    return text.toLower();
}

void MainSetup::btnEdit_Click()
{
    const int position = fOutputsList->selectedPosition();
    if (position < 0 || !fOutputSetup)
        return;
    keepLoadedBase();
    fOutputSetup->Show();
    RefreshList(position);
}

void MainSetup::keepLoadedBase()
{
    // Only the output dialog changes names and commands, so until it first
    // opens the model still is what was loaded (its settings wait in the
    // boxes until Close). Taken here rather than at start-up, where for tens
    // of thousands of outputs it was a visible part of the wait for the
    // window; a Close before any edit needs none, the model standing for
    // what was loaded.
    if (fBaseKept)
        return;
    fLoadedBase = VantrelMerge::Snapshot(*fConfig);
    fLoadedBase.settings = fLoadedSettings;
    fBaseKept = true;
}

void MainSetup::lstOutputs_Click(int position)
{
    if (!fConfig || position >= fConfig->fOutputs.size())
        return;
    if (!fOutputSetup)
        fOutputSetup = std::make_unique<OutputSetup>();
    fOutputSetup->fOutput = fConfig->fOutputs.at(position);
}

void MainSetup::RefreshList(int position)
{
    fOutputsList->RefreshList(position);
}

void MainSetup::end(int exitCode)
{
    fExitCode = exitCode;
    fEnded = true;
    close();
    emit finished(fExitCode);
}

void MainSetup::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!fCentred && !event->spontaneous()) {
        fCentred = true;
        if (const QScreen *where = screen())
            move(where->availableGeometry().center() - rect().center());
    }
}

void MainSetup::closeEvent(QCloseEvent *event)
{
    // The close box saves nothing; the hidden dialogs end with the window.
    event->accept();
    if (!fEnded) {
        fEnded = true;
        emit finished(fExitCode);
    }
}
