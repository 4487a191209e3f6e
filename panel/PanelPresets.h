#pragma once

#include "VantrelPresets.h"

#include <QList>
#include <QObject>
#include <functional>
#include <memory>
#include <optional>

class PanelTakeLog;
class QComboBox;
class QLabel;
class QPushButton;
class QWidget;
class clsVantrelConfig;

// The panel's presets: named sets of the rows' choices, kept in their own
// file beside vantrel.ini, with their list and buttons in the window's free
// band. They reach the rows only through the rows' own lists, so a recall is
// a series of the operator's own choices; nothing is sent.
class PanelPresets : public QObject
{
    Q_OBJECT

public:
    // Asks for the name of a preset to save, offering the given one; nullopt
    // when the operator cancels.
    using AskName = std::function<std::optional<QString>(QWidget *parent, const QString &offered)>;
    // The dialog the panel asks with.
    static std::optional<QString> askName(QWidget *parent, const QString &offered);

    // The controls are created now on `window` (so after the controls
    // created before them in the tab order), disabled until load(). `file`
    // is where the presets read are kept; `ended` tells when the panel has
    // ended, after which nothing here acts.
    PanelPresets(QWidget *window, VantrelPresetFile &file, PanelTakeLog *takeLog,
                 std::function<bool()> ended, AskName ask);

    QLabel *label() const { return fLabel; }
    QComboBox *list() const { return fList; }
    QPushButton *saveButton() const { return fSave; }
    QPushButton *deleteButton() const { return fDelete; }

    // Reads the presets file beside `configPath` for the rows of `config`
    // the panel shows, whose lists are `rows`.
    void load(const QString &presetPath, std::shared_ptr<const clsVantrelConfig> config,
              const QList<QComboBox *> &rows);
    // Sets the rows' choices to the preset's as a pick in the list does and
    // returns why rows were left out; `applied` receives the rows it set.
    QStringList recall(int index, QList<int> *applied = nullptr);

public slots:
    // The operator's pick in the list: recalls, and says which rows were left out.
    void recallPicked(int index);
    void saveShown();
    void deleteShown();

signals:
    // The presets offered changed.
    void changed();

private:
    // Reads the presets file anew and shows its presets, `current` chosen;
    // warns when it cannot be read whole. False when the operator cancelled
    // that warning (a save then changes nothing) or the panel ended.
    bool reread(const QString &current);
    // Why a preset's row no longer fits the panel; empty when it fits.
    QString rowMismatch(const PresetRow &saved) const;
    // Applies one change to the presets file as it is when the change is
    // written (see VantrelPresetFile::update); a problem reading it other
    // than the one the operator was warned of writes nothing.
    bool write(const QString &warned, const std::function<void(QList<Preset> &presets)> &change);
    void refreshList(const QString &current);

    QWidget *fWindow;
    VantrelPresetFile &fFile;
    PanelTakeLog *fTakeLog;
    std::function<bool()> fEnded;
    AskName fAsk;
    QString fProblem; // what the last reading of the file met, as the operator was warned
    std::shared_ptr<const clsVantrelConfig> fConfig;
    QList<QComboBox *> fRows;
    QLabel *fLabel;
    QComboBox *fList;
    QPushButton *fSave;
    QPushButton *fDelete;
};
