#pragma once

#include "CompactString.h"
#include "VantrelError.h"
#include "VantrelFile.h"
#include "clsVantrelConfig.h"

#include <QHash>
#include <QList>
#include <QStringList>
#include <functional>
#include <memory>

// Several programs write one file: the panel its choices, the editor the
// settings, names and commands, vantrelctl import the outputs and inputs of a
// CSV. Each writes only what it changed since it loaded the file (the base)
// into the file as it is now (theirs), field by field:
//   - a field only one side changed takes that side's value;
//   - a field both changed is a conflict: the editor asks, the panel and
//     import keep the file's value and say so.
// The base and a program's own model have the same outputs and inputs in the
// same places (neither window adds, removes or moves one). The base and
// theirs are matched by name: the k-th output (or input) of a name is the
// k-th of that name in the other, where both hold that name equally often.
// Anything else is not identified, and nothing is written to it.
namespace VantrelMerge {

// The values of the nine settings, in file order.
QStringList Settings(const clsVantrelConfig &config);
void SetSettings(clsVantrelConfig &config, const QStringList &settings);

// What a program loaded, as much as a merge needs: the settings, every name
// in order and a 64-bit hash of every command. For the largest file this is
// about a fifth of the model, where a second model with the commands would
// be all of it.
struct Base
{
    struct Output
    {
        CompactString name;
        qsizetype firstInput = 0;
        qsizetype inputCount = 0;
    };
    struct Input
    {
        CompactString name;
        quint64 command = 0;
    };
    QStringList settings;
    QList<Output> outputs;
    QList<Input> inputs; // every output's in turn
};
Base Snapshot(const clsVantrelConfig &config);
quint64 CommandHash(const CompactString &command);

// ---- the panel ---------------------------------------------------------

// One choice of the panel, with what identifies its output and input in
// another file once the panel's own model is let go.
struct Choice
{
    int output = -1;    // position in the loaded file
    CompactString name; // the output's name as loaded
    int nth = 0;        // which output of that name, from 0
    int namesakes = 1;  // how many outputs of that name were loaded
    QList<CompactString> inputs;
    qint16 loaded = -1; // the choice as loaded
    qint16 chosen = -1; // the choice made
};
Choice ChoiceOf(const clsVantrelConfig &loaded, int output);

struct NotKept
{
    int output = -1;
    // True: the file's outputs or inputs no longer identify the choice.
    // False: another program saved another choice there meanwhile.
    bool gone = true;
};
// Puts the choices into theirs; returns those it could not keep, where
// theirs keeps its own.
QList<NotKept> PutChoices(const QList<Choice> &choices, clsVantrelConfig &theirs);

// ---- the editor ---------------------------------------------------------

struct Edits
{
    QStringList conflicts; // fields both changed, in plain words
    QStringList notPlaced; // edits the file has no place for any more
};
// Puts into theirs the settings, names and commands mine changed since the
// base. `untouched` are the settings as the editor writes them when nobody
// changed them (type in lower case, the port as its digit...): mine equal to
// those is no change of the editor's, though it is written where the file
// kept the loaded value. Conflicts get mine's value with keepMine, else
// theirs stays. Throws VantrelError when mine does not have the base's
// outputs and inputs.
Edits PutEdits(const Base &base, const QStringList &untouched, const clsVantrelConfig &mine,
               bool keepMine, clsVantrelConfig &theirs);

// PutEdits in two steps, for a file read as it passes by: Plan decides from
// what identifies theirs (a Base of it) where each edit goes and what is
// told; Put then puts the edits into each of theirs' outputs in turn.
struct EditPlan
{
    struct Input
    {
        qsizetype there = -1;
        qsizetype mine = -1;
        bool command = false; // mine's command goes in too
    };
    struct Output
    {
        qsizetype mine = -1;
        QList<Input> inputs;
    };
    // A command conflict, told once the file's command is read: it ends
    // edits.conflicts[conflict].
    struct Pending
    {
        qsizetype conflict = -1;
        qsizetype output = -1; // in theirs
        qsizetype input = -1;
    };
    QStringList settings;             // theirs' after the merge
    QHash<qsizetype, Output> outputs; // by position in theirs
    QList<Pending> pending;
    Edits edits;

    // The settings, from those loaded and the file's now.
    EditPlan(const QStringList &loaded, const QStringList &untouched, const clsVantrelConfig &mine,
             bool keepMine, const QStringList &theirs);
    // The names and commands mine changed since the base.
    void place(const Base &base, const clsVantrelConfig &mine, bool keepMine, const Base &theirs);
    // `command` is the file's command of a pending conflict.
    void tell(const Pending &conflict, const QString &command);
    void put(const clsVantrelConfig &mine, qsizetype position, clsVantrelOutput &there) const;
};

// ---- vantrelctl import ----------------------------------------------------

struct Import
{
    bool imported = true; // false: theirs was left as it was
    QStringList notKept;  // what of the CSV could not be kept, in plain words
};
// Puts the outputs and inputs of a CSV (`routing`) into theirs, with the
// choices theirs holds where their outputs and inputs are identified in the
// routing. `base` is the file as import read it before the CSV. Where
// another program changed the commands meanwhile, its commands stay; where
// it changed the outputs and inputs themselves, the CSV's are not imported.
Import PutRouting(const Base &base, const QList<std::shared_ptr<clsVantrelOutput>> &routing,
                  clsVantrelConfig &theirs);

// ---- the transaction --------------------------------------------------------

// Thrown by Save when the file as it is now cannot be read: nothing was
// written, and the file is as the other program left it.
class ReadError : public VantrelError
{
public:
    using VantrelError::VantrelError;
};

// Writes mine under the file's lock when the file is still the one loaded
// (or is gone); otherwise `merge` makes what is written of the file as it is
// now, read whole (nullptr: nothing). The first look only hashes the file's
// bytes, so that an unchanged large file is not read into a second model; a
// file changed meanwhile is read whole after `beforeMerge` (the panel lets
// go of what it no longer needs). Returns true when the file had to be
// recovered from an interrupted save first, which the program then says.
// Throws ReadError, or VantrelError from merge or the writing.
using Merge =
    std::function<std::shared_ptr<const clsVantrelConfig>(const VantrelFile::LoadResult &current)>;
[[nodiscard]] bool Save(const std::shared_ptr<const clsVantrelConfig> &mine,
                        const VantrelFile::Fingerprint &loaded, const Merge &merge,
                        const std::function<void()> &beforeMerge = {},
                        const QString &path = VantrelFile::kFileName);

// The editor's Save: like Save with PutEdits as the merge, but the file as it
// is now is never held whole beside the editor's model. It is read as it
// passes by, all under one lock: once to see whether it still has the loaded
// outputs, inputs and commands (then mine is written with the file's choices
// and the merged settings), otherwise once for what identifies them, once
// more for the file's commands of any conflicts, and once more into the
// writing. `accept` is shown the file (its settings, whether it was read to
// its end) and what the merge would tell; false writes nothing. `base` gives
// what identifies the loaded outputs; unset when none was edited, mine's
// then stand for them.
using Accept = std::function<bool(const VantrelFile::LoadResult &current, const Edits &edits)>;
[[nodiscard]] bool SaveEdits(const std::shared_ptr<const clsVantrelConfig> &mine,
                             const VantrelFile::Fingerprint &loaded,
                             const QStringList &loadedSettings,
                             const std::function<const Base &()> &base,
                             const QStringList &untouched, bool keepMine, const Accept &accept,
                             const QString &path = VantrelFile::kFileName);

} // namespace VantrelMerge
