#include "PanelPresets.h"

#include "PanelTakeLog.h"
#include "PickOnlyComboBox.h"
#include "Twips.h"
#include "VantrelMessageBox.h"
#include "VantrelSave.h"
#include "VantrelText.h"
#include "clsVantrelConfig.h"

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
constexpr QRect kLblPresets = Twips::rect(4440, 4260, 780, 255);
constexpr QRect kCboPresets = Twips::rect(5280, 4230, 2895, 315);
constexpr QRect kBtnSavePreset = Twips::rect(5280, 4680, 1410, 375);
constexpr QRect kBtnDeletePreset = Twips::rect(6765, 4680, 1410, 375);

const QString kPresetOpenPrefix = QStringLiteral("Error opening presets file ");
const QString kPresetSavePrefix = QStringLiteral("Error saving presets file ");
const QString kLineBreak = QStringLiteral("\r\n");

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

} // namespace

std::optional<QString> PanelPresets::askName(QWidget *parent, const QString &offered)
{
    QInputDialog dialog(parent);
    dialog.setWindowTitle(tr("Save Preset"));
    dialog.setLabelText(tr("Name of the preset (the choices shown now are kept under it):"));
    dialog.setTextValue(offered);
    if (auto *edit = dialog.findChild<QLineEdit *>())
        edit->setValidator(new StorableLineValidator(edit));
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue();
}

PanelPresets::PanelPresets(QWidget *window, VantrelPresetFile &file, PanelTakeLog *takeLog,
                           std::function<bool()> ended, AskName ask)
    : QObject(window), fWindow(window), fFile(file), fTakeLog(takeLog), fEnded(std::move(ended)),
      fAsk(std::move(ask))
{
    fLabel = new QLabel(tr("&Presets"), window);
    fLabel->setObjectName(QStringLiteral("lblPresets"));
    fLabel->setGeometry(kLblPresets);

    // A recall changes many rows at once: only an explicit pick recalls.
    fList = new PickOnlyComboBox(window);
    fList->setObjectName(QStringLiteral("cboPresets"));
    fList->setGeometry(kCboPresets);
    fList->setEditable(false);
    fList->setPlaceholderText(tr("(pick a preset)"));
    fList->setToolTip(tr("Sets the rows' choices to a preset; nothing is sent"));
    fList->setEnabled(false);
    fLabel->setBuddy(fList);
    // Only the operator's pick recalls; refilling the list does not.
    connect(fList, &QComboBox::activated, this, &PanelPresets::recallPicked);
    connect(fList, &QComboBox::currentIndexChanged, this,
            [this](int index) { fDelete->setEnabled(!fEnded() && index >= 0); });

    fSave = new QPushButton(tr("Save Preset..."), window);
    fSave->setObjectName(QStringLiteral("btnSavePreset"));
    fSave->setGeometry(kBtnSavePreset);
    fSave->setToolTip(tr("Keeps the choices shown now under a name"));
    fSave->setEnabled(false);
    connect(fSave, &QPushButton::clicked, this, &PanelPresets::saveShown);

    fDelete = new QPushButton(tr("Delete Preset"), window);
    fDelete->setObjectName(QStringLiteral("btnDeletePreset"));
    fDelete->setGeometry(kBtnDeletePreset);
    fDelete->setToolTip(tr("Deletes the preset shown in the list"));
    fDelete->setEnabled(false);
    connect(fDelete, &QPushButton::clicked, this, &PanelPresets::deleteShown);
}

void PanelPresets::load(const QString &presetPath, std::shared_ptr<const clsVantrelConfig> config,
                        const QList<QComboBox *> &rows)
{
    fFile = VantrelPresetFile(presetPath);
    fConfig = std::move(config);
    fRows = rows;
    fSave->setEnabled(!fRows.isEmpty());
    reread(QString());
}

bool PanelPresets::reread(const QString &current)
{
    const QString problem = fFile.load();
    fProblem = problem;
    refreshList(current);
    if (fFile.recovered())
        VantrelMessageBox::show(fWindow, VantrelPresetFile::kFileName + kLineBreak +
                                             VantrelSave::kRecovered);
    if (problem.isEmpty())
        return !fEnded();
    const auto answer = VantrelMessageBox::show(
        fWindow, kPresetOpenPrefix + VantrelPresetFile::kFileName + kLineBreak + problem +
                     kLineBreak +
                     tr("The presets read before the problem are offered. The file is kept "
                        "as %1 when a preset is next saved or deleted.")
                         .arg(VantrelPresetFile::kFileName + VantrelPresetFile::kKeptSuffix));
    return answer != QMessageBox::Cancel && !fEnded();
}

QString PanelPresets::rowMismatch(const PresetRow &saved) const
{
    const int row = saved.output - 1;
    if (row >= fRows.size())
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

void PanelPresets::recallPicked(int index)
{
    if (fEnded() || index < 0 || index >= fFile.presets().size())
        return;
    const QStringList skipped = recall(index);
    if (!skipped.isEmpty())
        VantrelMessageBox::show(fWindow, tr("The preset \"%1\" was recalled without these rows, "
                                            "which no longer match it:")
                                                 .arg(fFile.presets().at(index).name) +
                                             kLineBreak + skipped.join(kLineBreak));
}

QStringList PanelPresets::recall(int index, QList<int> *applied)
{
    if (fEnded() || index < 0 || index >= fFile.presets().size())
        return {};
    const Preset preset = fFile.presets().at(index);
    QStringList skipped;
    for (const PresetRow &saved : preset.rows) {
        const QString mismatch = rowMismatch(saved);
        if (!mismatch.isEmpty()) {
            skipped.append(mismatch);
            continue;
        }
        // As the operator's own pick: the handler runs, and lights the
        // pending lamp, only where the choice changes.
        const int row = saved.output - 1;
        if (fRows.at(row)->currentIndex() != saved.selected)
            fRows.at(row)->setCurrentIndex(saved.selected);
        if (applied)
            applied->append(row);
    }
    fTakeLog->log().presetRecalled(preset.name, skipped);
    return skipped;
}

void PanelPresets::saveShown()
{
    if (fEnded() || fRows.size() == 0)
        return;
    const QString offered = fList->currentIndex() >= 0 ? fList->currentText() : QString();
    const std::optional<QString> answer = fAsk(fWindow, offered);
    if (!answer || fEnded())
        return;
    // Reading the file trims names, so the name kept is the trimmed one.
    const QString name = VantrelText::TrimSpaces(*answer);
    if (name.isEmpty()) {
        VantrelMessageBox::show(fWindow, tr("A preset needs a name; nothing was saved."));
        return;
    }
    if (VantrelText::StorableLine(name) != name) {
        VantrelMessageBox::show(fWindow, tr("A preset name must be one line of characters that "
                                            "the presets file can hold (one byte each); nothing "
                                            "was saved."));
        return;
    }

    // Another panel in the same folder may have saved or deleted presets
    // since. Cancelling the warning about a damaged file changes nothing;
    // it may also have been open when the panel ended.
    if (!reread(offered))
        return;
    Preset preset{name, {}};
    for (int row = 0; row < fRows.size(); ++row) {
        const clsVantrelOutput &output = *fConfig->fOutputs.at(row);
        const int selected = fRows.at(row)->currentIndex();
        preset.rows.append(
            {row + 1, output.fOutputName, selected,
             selected >= 0 ? output.fInputs.at(selected).fInputName.toString() : QString()});
    }

    const auto named = [&name](const Preset &kept) {
        return kept.name == name;
    };
    const QString warned = fProblem;
    const QList<Preset> &shown = fFile.presets();
    if (std::any_of(shown.cbegin(), shown.cend(), named) &&
        (VantrelMessageBox::show(fWindow, tr("A preset named \"%1\" exists. OK replaces it with "
                                             "the choices shown now; Cancel keeps it.")
                                              .arg(name)) != QMessageBox::Ok ||
         fEnded()))
        return;
    // Written into the file as it is once the answer came: presets another
    // panel saved while the question was open stay.
    const bool saved = write(warned, [&](QList<Preset> &presets) {
        const auto same = std::find_if(presets.begin(), presets.end(), named);
        if (same != presets.end())
            *same = preset;
        else
            presets.append(preset);
    });
    if (saved) {
        fTakeLog->log().presetSaved(name);
        refreshList(name);
    }
}

void PanelPresets::deleteShown()
{
    const int index = fList->currentIndex();
    if (fEnded() || index < 0 || index >= fFile.presets().size())
        return;
    const QString name = fFile.presets().at(index).name;
    if (VantrelMessageBox::show(
            fWindow, tr("Delete the preset \"%1\"? OK deletes it; Cancel keeps it.").arg(name)) !=
            QMessageBox::Ok ||
        fEnded())
        return;
    if (!reread(name))
        return;
    const bool saved = write(fProblem, [&name](QList<Preset> &presets) {
        presets.removeIf([&name](const Preset &kept) { return kept.name == name; });
    });
    if (saved) {
        fTakeLog->log().presetDeleted(name);
        refreshList(QString());
    }
}

bool PanelPresets::write(const QString &warned,
                         const std::function<void(QList<Preset> &presets)> &change)
{
    try {
        return fFile.update([&](const QList<Preset> &current,
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
        VantrelMessageBox::show(fWindow, kPresetSavePrefix + VantrelPresetFile::kFileName +
                                             kLineBreak + error.description());
        return false;
    }
}

void PanelPresets::refreshList(const QString &current)
{
    const QSignalBlocker blocker(fList);
    fList->clear();
    for (const Preset &preset : fFile.presets())
        fList->addItem(preset.name);
    fList->setCurrentIndex(
        current.isEmpty()
            ? -1
            : fList->findText(current, Qt::MatchFixedString | Qt::MatchCaseSensitive));
    fList->setEnabled(!fEnded() && fList->count() > 0);
    fDelete->setEnabled(!fEnded() && fList->currentIndex() >= 0);
    emit changed();
}
