// The panel's additions for the changes between shows: hotkeys for the output
// buttons, Take All, and presets. They sit beside the window's own controls
// and reach the rows only through the rows' own handlers, so a hotkey is a
// click, Take All is a series of clicks and a recall is a series of choices.
#include "ButtonKeys.h"
#include "CommandSender.h"
#include "PanelTakeLog.h"
#include "PickOnlyComboBox.h"
#include "Twips.h"
#include "VantrelMessageBox.h"
#include "VantrelSave.h"
#include "VantrelText.h"
#include "frmMain.h"

#include <QComboBox>
#include <QDir>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QValidator>
#include <algorithm>

namespace {

// The free band between the logo and Close, in twips like the rest of the
// window. The presets sit beside the logo, the list as wide as a row's list.
// Take All ends the presets' line, level with their list: it sends every
// pending row and Close ends the program, so the two stand well apart (27
// pixels across, not stacked) where a slip of the hand cannot reach both.
constexpr QRect kLblPresets = Twips::rect(4440, 4260, 780, 255);
constexpr QRect kCboPresets = Twips::rect(5280, 4230, 2895, 315);
constexpr QRect kBtnSavePreset = Twips::rect(5280, 4680, 1410, 375);
constexpr QRect kBtnDeletePreset = Twips::rect(6765, 4680, 1410, 375);
constexpr QRect kBtnTakeAll = Twips::rect(8340, 4230, 1695, 375);
// Below the presets, right of the line about the program, up to Close's edge.
constexpr QRect kLblNotice = Twips::rect(4800, 5280, 7335, 255);

const QString kPresetOpenPrefix = QStringLiteral("Error opening presets file ");
const QString kPresetSavePrefix = QStringLiteral("Error saving presets file ");
const QString kLineBreak = QStringLiteral("\r\n");

// F1-F8 for rows 1-8 (the left column), Shift+F1-F8 for rows 9-16.
QKeySequence rowKey(int row)
{
    const int half = frmMain::kRows / 2;
    const auto key = Qt::Key(Qt::Key_F1 + row % half);
    return row < half ? QKeySequence(key) : QKeySequence(Qt::SHIFT | key);
}

// The name box takes only what the presets file can hold, one line of
// single-byte characters, as every box of the editor does: anything else
// typed or pasted is left out.
class StorableLineValidator : public QValidator
{
public:
    using QValidator::QValidator;
    State validate(QString &input, int &pos) const override
    {
        const QString kept = VantrelText::StorableLine(input);
        pos = std::clamp(pos - int(input.size() - kept.size()), 0, int(kept.size()));
        input = kept;
        return Acceptable;
    }
};

std::optional<QString> askPresetName(QWidget *parent, const QString &offered)
{
    QInputDialog dialog(parent);
    dialog.setWindowTitle(frmMain::tr("Save Preset"));
    dialog.setLabelText(
        frmMain::tr("Name of the preset (the choices shown now are kept under it):"));
    dialog.setTextValue(offered);
    if (auto *edit = dialog.findChild<QLineEdit *>())
        edit->setValidator(new StorableLineValidator(edit));
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue();
}

} // namespace

void frmMain::createExtras()
{
    fAskPresetName = askPresetName;

    auto *keys = new ButtonKeys(this);
    for (int row = 0; row < kRows; ++row) {
        const QKeySequence key = rowKey(row);
        // A held key sends once. click() does nothing on a disabled button:
        // a row without an output ignores its key.
        keys->add(key, btnItem[row], [this, row] {
            fPressOrigin = TakeOrigin{TakeOrigin::Source::Key, {}};
            btnItem[row]->click();
            fPressOrigin = TakeOrigin{};
        });
        btnItem[row]->setToolTip(
            tr("Sends the chosen input (%1)").arg(key.toString(QKeySequence::NativeText)));
        // After btnItem_Click has queued the press: the row may no longer
        // be one Take All would send.
        connect(btnItem[row], &QPushButton::clicked, this, &frmMain::updateTakeAll);
    }

    lblPresets = new QLabel(tr("&Presets"), this);
    lblPresets->setObjectName(QStringLiteral("lblPresets"));
    lblPresets->setGeometry(kLblPresets);

    // A recall changes many rows at once: only an explicit pick recalls.
    cboPresets = new PickOnlyComboBox(this);
    cboPresets->setObjectName(QStringLiteral("cboPresets"));
    cboPresets->setGeometry(kCboPresets);
    cboPresets->setEditable(false);
    cboPresets->setPlaceholderText(tr("(pick a preset)"));
    cboPresets->setToolTip(tr("Sets the rows' choices to a preset; nothing is sent"));
    cboPresets->setEnabled(false);
    lblPresets->setBuddy(cboPresets);
    // Only the operator's pick recalls; refilling the list does not.
    connect(cboPresets, &QComboBox::activated, this, &frmMain::cboPresets_Click);
    connect(cboPresets, &QComboBox::currentIndexChanged, this,
            [this](int index) { btnDeletePreset->setEnabled(!fEnded && index >= 0); });

    btnSavePreset = new QPushButton(tr("Save Preset..."), this);
    btnSavePreset->setObjectName(QStringLiteral("btnSavePreset"));
    btnSavePreset->setGeometry(kBtnSavePreset);
    btnSavePreset->setToolTip(tr("Keeps the choices shown now under a name"));
    btnSavePreset->setEnabled(false);
    connect(btnSavePreset, &QPushButton::clicked, this, &frmMain::btnSavePreset_Click);

    btnDeletePreset = new QPushButton(tr("Delete Preset"), this);
    btnDeletePreset->setObjectName(QStringLiteral("btnDeletePreset"));
    btnDeletePreset->setGeometry(kBtnDeletePreset);
    btnDeletePreset->setToolTip(tr("Deletes the preset shown in the list"));
    btnDeletePreset->setEnabled(false);
    connect(btnDeletePreset, &QPushButton::clicked, this, &frmMain::btnDeletePreset_Click);

    btnTakeAll = new QPushButton(tr("Take All"), this);
    btnTakeAll->setObjectName(QStringLiteral("btnTakeAll"));
    btnTakeAll->setGeometry(kBtnTakeAll);
    const QKeySequence takeAllKey(Qt::CTRL | Qt::Key_Return);
    keys->add(takeAllKey, btnTakeAll);
    keys->add(QKeySequence(Qt::CTRL | Qt::Key_Enter), btnTakeAll); // the keypad's
    btnTakeAll->setToolTip(tr("Sends every row whose pending lamp is red, in row order (%1)")
                               .arg(takeAllKey.toString(QKeySequence::NativeText)));
    btnTakeAll->setEnabled(false);
    connect(btnTakeAll, &QPushButton::clicked, this, &frmMain::btnTakeAll_Click);

    lblNotice = new QLabel(this);
    lblNotice->setObjectName(QStringLiteral("lblNotice"));
    lblNotice->setGeometry(kLblNotice);
    lblNotice->setTextFormat(Qt::PlainText);
    tmrNotice = new QTimer(this);
    tmrNotice->setSingleShot(true);
    tmrNotice->setInterval(kNoticePeriod);
    connect(tmrNotice, &QTimer::timeout, lblNotice, &QLabel::clear);
}

void frmMain::showFailureNotice(int row, const QString &message)
{
    // The whole message stays on the row's sent lamp, which turns red; the
    // notice is one line that names the row.
    imgSend[row]->setToolTip(message);
    QString line = QStringLiteral("Row %1 (%2): %3")
                       .arg(row + 1)
                       .arg(fConfig->fOutputs.at(row)->fOutputName,
                            QString(message).replace(QStringLiteral("\r\n"), QStringLiteral(": ")));
    lblNotice->setToolTip(line);
    lblNotice->setText(
        lblNotice->fontMetrics().elidedText(line, Qt::ElideRight, lblNotice->width()));
    tmrNotice->start();
}

void frmMain::loadPresets()
{
    // Beside "vantrel.ini", fixed at load like that file's own place.
    fPresetFile = VantrelPresetFile(QDir::current().absoluteFilePath(VantrelPresetFile::kFileName));
    btnSavePreset->setEnabled(fRowCount > 0);
    updateTakeAll();
    rereadPresets(QString());
}

bool frmMain::rereadPresets(const QString &current)
{
    const QString problem = fPresetFile.load();
    fPresetProblem = problem;
    refreshPresetList(current);
    if (fPresetFile.recovered())
        VantrelMessageBox::show(this, VantrelPresetFile::kFileName + kLineBreak +
                                          VantrelSave::kRecovered);
    if (problem.isEmpty())
        return !fEnded;
    const auto answer = VantrelMessageBox::show(
        this, kPresetOpenPrefix + VantrelPresetFile::kFileName + kLineBreak + problem + kLineBreak +
                  tr("The presets read before the problem are offered. The file is kept "
                     "as %1 when a preset is next saved or deleted.")
                      .arg(VantrelPresetFile::kFileName + VantrelPresetFile::kKeptSuffix));
    return answer != QMessageBox::Cancel && !fEnded;
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

QString frmMain::presetRowMismatch(const PresetRow &saved) const
{
    const int row = saved.output - 1;
    if (row >= fRowCount)
        return tr("row %1: there is no output %1 now (it was \"%2\")")
            .arg(saved.output)
            .arg(saved.outputName);
    const clsVantrelOutput &output = *fConfig->fOutputs.at(row);
    if (output.fOutputName != saved.outputName)
        return tr("row %1: the output is now \"%2\", not \"%3\"")
            .arg(saved.output)
            .arg(output.fOutputName, saved.outputName);
    if (saved.selected == -1)
        return QString();
    if (saved.selected >= output.fInputs.size())
        return tr("row %1: \"%2\" has no input %3 now (it was \"%4\")")
            .arg(saved.output)
            .arg(output.fOutputName)
            .arg(saved.selected + 1)
            .arg(saved.inputName);
    const QString &inputName = output.fInputs.at(saved.selected).fInputName;
    if (inputName != saved.inputName)
        return tr("row %1: input %2 of \"%3\" is now \"%4\", not \"%5\"")
            .arg(saved.output)
            .arg(saved.selected + 1)
            .arg(output.fOutputName, inputName, saved.inputName);
    return QString();
}

void frmMain::cboPresets_Click(int index)
{
    if (fEnded || index < 0 || index >= fPresetFile.presets().size())
        return;
    const QStringList skipped = recallPreset(index);
    if (!skipped.isEmpty())
        VantrelMessageBox::show(this, tr("The preset \"%1\" was recalled without these rows, "
                                         "which no longer match it:")
                                              .arg(fPresetFile.presets().at(index).name) +
                                          kLineBreak + skipped.join(kLineBreak));
}

QStringList frmMain::recallPreset(int index, QList<int> *applied)
{
    if (fEnded || index < 0 || index >= fPresetFile.presets().size())
        return {};
    const Preset preset = fPresetFile.presets().at(index);
    QStringList skipped;
    for (const PresetRow &saved : preset.rows) {
        const QString mismatch = presetRowMismatch(saved);
        if (!mismatch.isEmpty()) {
            skipped.append(mismatch);
            continue;
        }
        // As the operator's own pick: the handler runs, and lights the
        // pending lamp, only where the choice changes.
        const int row = saved.output - 1;
        if (cboItem[row]->currentIndex() != saved.selected)
            cboItem[row]->setCurrentIndex(saved.selected);
        if (applied)
            applied->append(row);
    }
    fTakeLog->log().presetRecalled(preset.name, skipped);
    return skipped;
}

void frmMain::btnSavePreset_Click()
{
    if (fEnded || fRowCount == 0)
        return;
    const QString offered = cboPresets->currentIndex() >= 0 ? cboPresets->currentText() : QString();
    const std::optional<QString> answer = fAskPresetName(this, offered);
    if (!answer || fEnded)
        return;
    // Reading the file trims names, so the name kept is the trimmed one.
    const QString name = VantrelText::TrimSpaces(*answer);
    if (name.isEmpty()) {
        VantrelMessageBox::show(this, tr("A preset needs a name; nothing was saved."));
        return;
    }
    if (VantrelText::StorableLine(name) != name) {
        VantrelMessageBox::show(this, tr("A preset name must be one line of characters that "
                                         "the presets file can hold (one byte each); nothing "
                                         "was saved."));
        return;
    }

    // Another panel in the same folder may have saved or deleted presets
    // since. Cancelling the warning about a damaged file changes nothing;
    // it may also have been open when the panel ended.
    if (!rereadPresets(offered))
        return;
    Preset preset{name, {}};
    for (int row = 0; row < fRowCount; ++row) {
        const clsVantrelOutput &output = *fConfig->fOutputs.at(row);
        const int selected = cboItem[row]->currentIndex();
        preset.rows.append(
            {row + 1, output.fOutputName, selected,
             selected >= 0 ? output.fInputs.at(selected).fInputName.toString() : QString()});
    }

    const auto named = [&name](const Preset &kept) {
        return kept.name == name;
    };
    const QString warned = fPresetProblem;
    const QList<Preset> &shown = fPresetFile.presets();
    if (std::any_of(shown.cbegin(), shown.cend(), named) &&
        (VantrelMessageBox::show(this, tr("A preset named \"%1\" exists. OK replaces it with "
                                          "the choices shown now; Cancel keeps it.")
                                           .arg(name)) != QMessageBox::Ok ||
         fEnded))
        return;
    // Written into the file as it is once the answer came: presets another
    // panel saved while the question was open stay.
    const bool saved = savePresets(warned, [&](QList<Preset> &presets) {
        const auto same = std::find_if(presets.begin(), presets.end(), named);
        if (same != presets.end())
            *same = preset;
        else
            presets.append(preset);
    });
    if (saved) {
        fTakeLog->log().presetSaved(name);
        refreshPresetList(name);
    }
}

void frmMain::btnDeletePreset_Click()
{
    const int index = cboPresets->currentIndex();
    if (fEnded || index < 0 || index >= fPresetFile.presets().size())
        return;
    const QString name = fPresetFile.presets().at(index).name;
    if (VantrelMessageBox::show(
            this, tr("Delete the preset \"%1\"? OK deletes it; Cancel keeps it.").arg(name)) !=
            QMessageBox::Ok ||
        fEnded)
        return;
    if (!rereadPresets(name))
        return;
    const bool saved = savePresets(fPresetProblem, [&name](QList<Preset> &presets) {
        presets.removeIf([&name](const Preset &kept) { return kept.name == name; });
    });
    if (saved) {
        fTakeLog->log().presetDeleted(name);
        refreshPresetList(QString());
    }
}

bool frmMain::savePresets(const QString &warned,
                          const std::function<void(QList<Preset> &presets)> &change)
{
    try {
        return fPresetFile.update([&](const QList<Preset> &current,
                                      const QString &problem) -> std::optional<QList<Preset>> {
            if (problem != warned)
                throw VantrelError(
                    tr("the file changed meanwhile and cannot be read whole (%1); %2")
                        .arg(problem, VantrelSave::kUnchanged));
            QList<Preset> presets = current;
            change(presets);
            return presets;
        });
    } catch (const VantrelError &error) {
        VantrelMessageBox::show(this, kPresetSavePrefix + VantrelPresetFile::kFileName +
                                          kLineBreak + error.description());
        return false;
    }
}

void frmMain::refreshPresetList(const QString &current)
{
    const QSignalBlocker blocker(cboPresets);
    cboPresets->clear();
    for (const Preset &preset : fPresetFile.presets())
        cboPresets->addItem(preset.name);
    cboPresets->setCurrentIndex(
        current.isEmpty()
            ? -1
            : cboPresets->findText(current, Qt::MatchFixedString | Qt::MatchCaseSensitive));
    cboPresets->setEnabled(!fEnded && cboPresets->count() > 0);
    btnDeletePreset->setEnabled(!fEnded && cboPresets->currentIndex() >= 0);
    emit presetsChanged();
}
