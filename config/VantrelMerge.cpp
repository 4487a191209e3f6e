#include "VantrelMerge.h"

#include "FileLock.h"
#include "VantrelError.h"
#include "VantrelSave.h"

#include <QFileInfo>
#include <QHash>
#include <array>
#include <atomic>
#include <utility>

namespace VantrelMerge {

namespace {

struct Setting
{
    QString clsVantrelConfig::*field;
    const char *words;
};

// File order; the words are those a question shows the operator.
const std::array<Setting, 9> kSettings = {{
    {&clsVantrelConfig::fType, "link type"},
    {&clsVantrelConfig::fCommPort, "serial port"},
    {&clsVantrelConfig::fBaudRate, "baud rate"},
    {&clsVantrelConfig::fDataBits, "data bits"},
    {&clsVantrelConfig::fParity, "parity"},
    {&clsVantrelConfig::fStopBits, "stop bits"},
    {&clsVantrelConfig::fProtocol, "protocol"},
    {&clsVantrelConfig::fIPAddress, "address"},
    {&clsVantrelConfig::fPort, "port"},
}};

// Gone between the two looks: what is left of mine may be less than the
// whole file.
const QString kRemoved =
    QStringLiteral("the file was removed while it was being saved, so nothing was written");
// Under the lock nobody writes it; a program that ignores the lock does.
const QString kChangedWhileSaving =
    QStringLiteral("the file was changed by a program that ignores its lock while it was being "
                   "merged");

constexpr int kLost = -2; // an input that is not identified, unlike -1, none

QString quoted(const QString &text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

// Stored forms tell texts apart exactly (CompactString::storage).
using Names = QList<QByteArrayView>;

// Where each of `from` is in `to`: the k-th of a name is the k-th of it in
// `to` when both hold that name equally often, otherwise it is not
// identified (-1): with one more or one fewer, which one is meant is a guess.
QList<qsizetype> identify(const Names &from, const Names &to)
{
    QHash<QByteArrayView, QList<qsizetype>> places;
    places.reserve(to.size());
    for (qsizetype i = 0; i < to.size(); ++i)
        places[to.at(i)].append(i);
    QHash<QByteArrayView, qsizetype> count;
    for (const QByteArrayView name : from)
        ++count[name];
    QHash<QByteArrayView, qsizetype> seen;
    QList<qsizetype> result(from.size(), -1);
    for (qsizetype i = 0; i < from.size(); ++i) {
        const auto found = places.constFind(from.at(i));
        const qsizetype k = seen[from.at(i)]++;
        if (found != places.cend() && found->size() == count.value(from.at(i)))
            result[i] = found->at(k);
    }
    return result;
}

Names outputNames(const QList<std::shared_ptr<clsVantrelOutput>> &outputs)
{
    Names names;
    names.reserve(outputs.size());
    for (const auto &output : outputs)
        names.append(output->fOutputName.storage());
    return names;
}

Names inputNames(const clsVantrelOutput &output)
{
    Names names;
    names.reserve(output.fInputs.size());
    for (const clsVantrelInput &input : output.fInputs)
        names.append(input.fInputName.storage());
    return names;
}

int validChoice(const clsVantrelOutput &output)
{
    return output.fSelected >= 0 && output.fSelected < output.fInputs.size() ? output.fSelected
                                                                             : -1;
}

QString outputWords(qsizetype position, const QString &name, const QString &loaded)
{
    QString words = QStringLiteral("output %1 %2").arg(position + 1).arg(quoted(name));
    if (name != loaded)
        words += QStringLiteral(" (was %1)").arg(quoted(loaded));
    return words;
}

Names baseOutputNames(const Base &base)
{
    Names names;
    names.reserve(base.outputs.size());
    for (const Base::Output &output : base.outputs)
        names.append(output.name.storage());
    return names;
}

Names baseInputNames(const Base &base, qsizetype output)
{
    const Base::Output &loaded = base.outputs.at(output);
    Names names;
    for (qsizetype i = 0; i < loaded.inputCount; ++i)
        names.append(base.inputs.at(loaded.firstInput + i).name.storage());
    return names;
}

const Base::Input &baseInput(const Base &base, qsizetype output, qsizetype input)
{
    return base.inputs.at(base.outputs.at(output).firstInput + input);
}

// The base's output at `position` by name and inputs, with the same
// commands where `commands` asks.
bool sameOutput(const Base &base, qsizetype position, const clsVantrelOutput &output, bool commands)
{
    if (position >= base.outputs.size() || output.fOutputName != base.outputs.at(position).name ||
        output.fInputs.size() != base.outputs.at(position).inputCount)
        return false;
    for (qsizetype i = 0; i < output.fInputs.size(); ++i) {
        const clsVantrelInput &input = output.fInputs.at(i);
        const Base::Input &loaded = baseInput(base, position, i);
        if (input.fInputName != loaded.name ||
            (commands && CommandHash(input.fCommand) != loaded.command))
            return false;
    }
    return true;
}

// The same name, inputs and commands.
bool sameText(const clsVantrelOutput &one, const clsVantrelOutput &other)
{
    if (one.fOutputName != other.fOutputName || one.fInputs.size() != other.fInputs.size())
        return false;
    for (qsizetype i = 0; i < one.fInputs.size(); ++i) {
        if (one.fInputs.at(i).fInputName != other.fInputs.at(i).fInputName ||
            one.fInputs.at(i).fCommand != other.fInputs.at(i).fCommand)
            return false;
    }
    return true;
}

// The same outputs and inputs by name and place, with the same commands
// where `commands` asks.
bool sameAs(const Base &base, const QList<std::shared_ptr<clsVantrelOutput>> &outputs,
            bool commands)
{
    if (base.outputs.size() != outputs.size())
        return false;
    for (qsizetype o = 0; o < outputs.size(); ++o) {
        if (!sameOutput(base, o, *outputs.at(o), commands))
            return false;
    }
    return true;
}

// Each output of the routing takes the choice its namesake in theirs holds,
// where the chosen input is identified in it too; otherwise none.
void takeChoices(const clsVantrelConfig &theirs,
                 const QList<std::shared_ptr<clsVantrelOutput>> &routing)
{
    const QList<qsizetype> outputs = identify(outputNames(routing), outputNames(theirs.fOutputs));
    for (qsizetype r = 0; r < routing.size(); ++r) {
        clsVantrelOutput &output = *routing.at(r);
        output.fSelected = -1;
        if (outputs.at(r) < 0)
            continue;
        const clsVantrelOutput &there = *theirs.fOutputs.at(outputs.at(r));
        const int chosen = validChoice(there);
        if (chosen >= 0) {
            const qsizetype here = identify(inputNames(there), inputNames(output)).at(chosen);
            output.fSelected = static_cast<qint16>(here);
        }
    }
}

QString inputWords(const clsVantrelOutput &output, qsizetype position)
{
    return QStringLiteral("output %1, input %2")
        .arg(quoted(output.fOutputName), quoted(output.fInputs.at(position).fInputName));
}

void addToBase(Base &base, const clsVantrelOutput &output)
{
    base.outputs.append({output.fOutputName, base.inputs.size(), output.fInputs.size()});
    for (const clsVantrelInput &input : output.fInputs)
        base.inputs.append({input.fInputName, CommandHash(input.fCommand)});
}

// Under the file's lock: a file still as loaded, or gone, takes mine at
// once, which costs what a save without merging did. The file's bytes are
// hashed beside the formatting, on a second thread, and the new file takes
// the old one's place only when they are the loaded ones. False, with
// nothing written, when the file changed.
bool savedUnchanged(const clsVantrelConfig &mine, const VantrelFile::Fingerprint &loaded,
                    const QString &path, bool &recovered)
{
    try {
        recovered = VantrelFile::Recover(path);
    } catch (const VantrelError &error) {
        throw ReadError(error.description());
    }
    // Another size is another file, known without reading it.
    if (const QFileInfo now(path); now.exists() && now.size() != loaded.size)
        return false;
    std::atomic<bool> changed{false};
    const auto look = [&] {
        VantrelFile::Fingerprint now;
        try {
            now = VantrelFile::ReadFingerprintLocked(path);
        } catch (const VantrelError &error) {
            throw ReadError(error.description());
        }
        if (now.exists() && now != loaded) {
            changed = true;
            throw VantrelError(QStringLiteral("the file changed"));
        }
    };
    const auto write = [&](QIODevice &channel) {
        clsVantrelConfig head;
        SetSettings(head, Settings(mine));
        head.Serialize(&channel);
        for (const auto &output : mine.fOutputs) {
            if (changed) // no use writing the rest
                throw VantrelError(QStringLiteral("the file changed"));
            output->Serialize(&channel);
        }
    };
    try {
        VantrelSave::Write(path, write, look);
    } catch (const VantrelError &) {
        if (changed)
            return false;
        throw;
    }
    return true;
}

} // namespace

QStringList Settings(const clsVantrelConfig &config)
{
    QStringList settings;
    for (const Setting &setting : kSettings)
        settings.append(config.*setting.field);
    return settings;
}

void SetSettings(clsVantrelConfig &config, const QStringList &settings)
{
    for (size_t s = 0; s < kSettings.size(); ++s)
        config.*kSettings[s].field = settings.value(qsizetype(s));
}

quint64 CommandHash(const CompactString &command)
{
    const QByteArrayView stored = command.storage();
    return qHashBits(stored.data(), size_t(stored.size()), 0x636f6d6d);
}

Base Snapshot(const clsVantrelConfig &config)
{
    Base base;
    base.settings = Settings(config);
    base.outputs.reserve(config.fOutputs.size());
    for (const auto &output : config.fOutputs)
        addToBase(base, *output);
    return base;
}

Choice ChoiceOf(const clsVantrelConfig &loaded, int output)
{
    Choice choice;
    choice.output = output;
    const clsVantrelOutput &chosen = *loaded.fOutputs.at(output);
    choice.name = chosen.fOutputName;
    choice.namesakes = 0;
    for (qsizetype o = 0; o < loaded.fOutputs.size(); ++o) {
        if (loaded.fOutputs.at(o)->fOutputName == choice.name) {
            choice.nth += o < output;
            ++choice.namesakes;
        }
    }
    for (const clsVantrelInput &input : chosen.fInputs)
        choice.inputs.append(input.fInputName);
    choice.chosen = chosen.fSelected;
    return choice;
}

QList<NotKept> PutChoices(const QList<Choice> &choices, clsVantrelConfig &theirs)
{
    QList<NotKept> notKept;
    for (const Choice &choice : choices) {
        qsizetype at = -1;
        int namesakes = 0;
        for (qsizetype o = 0; o < theirs.fOutputs.size(); ++o) {
            if (theirs.fOutputs.at(o)->fOutputName == choice.name && namesakes++ == choice.nth)
                at = o;
        }
        if (at < 0 || namesakes != choice.namesakes) {
            notKept.append({choice.output, true});
            continue;
        }
        clsVantrelOutput &there = *theirs.fOutputs.at(at);
        Names loadedInputs;
        for (const CompactString &name : choice.inputs)
            loadedInputs.append(name.storage());
        const QList<qsizetype> inputs = identify(loadedInputs, inputNames(there));
        const auto place = [&](int position) {
            if (position < 0 || position >= inputs.size())
                return -1;
            return inputs.at(position) < 0 ? kLost : int(inputs.at(position));
        };
        const int mine = place(choice.chosen);
        const int was = place(choice.loaded);
        const int now = validChoice(there);
        if (mine == now)
            continue;
        // Where the loaded choice is gone (renamed, removed), the file's
        // choice is another program's only if it names an input that was
        // there at the load: one that is new is the old one carried along.
        const bool chosenThere =
            was == kLost ? now >= 0 && identify(inputNames(there), loadedInputs).at(now) >= 0
                         : was != now;
        if (chosenThere)
            notKept.append({choice.output, false});
        else if (mine == kLost)
            notKept.append({choice.output, true});
        else
            there.fSelected = static_cast<qint16>(mine);
    }
    return notKept;
}

EditPlan::EditPlan(const QStringList &loaded, const QStringList &untouched,
                   const clsVantrelConfig &mine, bool keepMine, const QStringList &theirs)
    : settings(theirs)
{
    for (size_t s = 0; s < kSettings.size(); ++s) {
        const QString &ours = mine.*kSettings[s].field;
        QString &there = settings[qsizetype(s)];
        const bool changedThere = there != loaded.value(qsizetype(s));
        const bool changedHere = ours != untouched.value(qsizetype(s));
        if (changedThere && changedHere && ours != there)
            edits.conflicts.append(
                QStringLiteral("%1: yours %2, file's %3")
                    .arg(QLatin1String(kSettings[s].words), quoted(ours), quoted(there)));
        if (!changedThere || (changedHere && keepMine))
            there = ours;
    }
}

void EditPlan::place(const Base &base, const clsVantrelConfig &mine, bool keepMine,
                     const Base &theirs)
{
    if (mine.fOutputs.size() != base.outputs.size())
        throw VantrelError(QStringLiteral("the editor's outputs are not those it loaded"));
    const QList<qsizetype> places = identify(baseOutputNames(base), baseOutputNames(theirs));
    for (qsizetype o = 0; o < base.outputs.size(); ++o) {
        const Base::Output &loaded = base.outputs.at(o);
        const clsVantrelOutput &ours = *mine.fOutputs.at(o);
        if (ours.fInputs.size() != loaded.inputCount)
            throw VantrelError(QStringLiteral("the editor's inputs are not those it loaded"));
        QList<qsizetype> changed;
        for (qsizetype i = 0; i < loaded.inputCount; ++i) {
            const clsVantrelInput &input = ours.fInputs.at(i);
            const Base::Input &was = baseInput(base, o, i);
            if (input.fInputName != was.name || CommandHash(input.fCommand) != was.command)
                changed.append(i);
        }
        const bool renamed = ours.fOutputName != loaded.name;
        if (!renamed && changed.isEmpty())
            continue;
        const QString words = outputWords(o, ours.fOutputName, loaded.name);
        const qsizetype at = places.at(o);
        if (at < 0) {
            edits.notPlaced.append(words + QStringLiteral(": the file no longer has it"));
            continue;
        }
        Output &there = outputs[at];
        there.mine = o;
        const QList<qsizetype> inputs =
            identify(baseInputNames(base, o), baseInputNames(theirs, at));
        for (const qsizetype i : std::as_const(changed)) {
            const clsVantrelInput &input = ours.fInputs.at(i);
            const Base::Input &was = baseInput(base, o, i);
            QString inputWords = QStringLiteral("%1, input %2 %3")
                                     .arg(words)
                                     .arg(i + 1)
                                     .arg(quoted(input.fInputName));
            if (input.fInputName != was.name)
                inputWords += QStringLiteral(" (was %1)").arg(quoted(was.name));
            if (inputs.at(i) < 0) {
                edits.notPlaced.append(inputWords + QStringLiteral(": the file no longer has it"));
                continue;
            }
            Input &put = there.inputs.emplace_back(Input{inputs.at(i), i, false});
            const quint64 ourCommand = CommandHash(input.fCommand);
            if (ourCommand == was.command)
                continue;
            const quint64 theirCommand = baseInput(theirs, at, inputs.at(i)).command;
            const bool changedThere = theirCommand != was.command;
            if (changedThere && theirCommand != ourCommand) {
                pending.append({edits.conflicts.size(), at, inputs.at(i)});
                edits.conflicts.append(QStringLiteral("%1, command: yours %2, file's ")
                                           .arg(inputWords, quoted(input.fCommand)));
            }
            put.command = !changedThere || keepMine;
        }
    }
}

void EditPlan::tell(const Pending &conflict, const QString &command)
{
    edits.conflicts[conflict.conflict] += quoted(command);
}

void EditPlan::put(const clsVantrelConfig &mine, qsizetype position, clsVantrelOutput &there) const
{
    const auto found = outputs.constFind(position);
    if (found == outputs.cend())
        return;
    const clsVantrelOutput &ours = *mine.fOutputs.at(found->mine);
    there.fOutputName = ours.fOutputName;
    for (const Input &input : found->inputs) {
        clsVantrelInput &thereInput = there.fInputs[input.there];
        const clsVantrelInput &ourInput = ours.fInputs.at(input.mine);
        thereInput.fInputName = ourInput.fInputName;
        if (input.command)
            thereInput.fCommand = ourInput.fCommand;
    }
}

Edits PutEdits(const Base &base, const QStringList &untouched, const clsVantrelConfig &mine,
               bool keepMine, clsVantrelConfig &theirs)
{
    EditPlan plan(base.settings, untouched, mine, keepMine, Settings(theirs));
    plan.place(base, mine, keepMine, Snapshot(theirs));
    for (const EditPlan::Pending &conflict : std::as_const(plan.pending))
        plan.tell(conflict,
                  theirs.fOutputs.at(conflict.output)->fInputs.at(conflict.input).fCommand);
    SetSettings(theirs, plan.settings);
    for (qsizetype o = 0; o < theirs.fOutputs.size(); ++o)
        plan.put(mine, o, *theirs.fOutputs[o]);
    return plan.edits;
}

Import PutRouting(const Base &base, const QList<std::shared_ptr<clsVantrelOutput>> &routing,
                  clsVantrelConfig &theirs)
{
    Import result;
    const bool theirsSameNames = sameAs(base, theirs.fOutputs, false);
    if (theirsSameNames && sameAs(base, theirs.fOutputs, true)) {
        // Only the choices or settings changed there: the CSV goes in whole.
    } else if (sameAs(base, routing, true)) {
        result.imported = false; // the CSV changes nothing
        return result;
    } else if (theirsSameNames) {
        // Commands changed there, anything here: each input the CSV left as
        // it was takes theirs; one both changed keeps theirs and is told.
        const QList<qsizetype> outputs = identify(outputNames(routing), baseOutputNames(base));
        for (qsizetype r = 0; r < routing.size(); ++r) {
            const qsizetype o = outputs.at(r);
            if (o < 0)
                continue;
            clsVantrelOutput &output = *routing.at(r);
            const clsVantrelOutput &there = *theirs.fOutputs.at(o);
            const QList<qsizetype> inputs = identify(inputNames(output), baseInputNames(base, o));
            for (qsizetype i = 0; i < output.fInputs.size(); ++i) {
                if (inputs.at(i) < 0)
                    continue;
                CompactString &command = output.fInputs[i].fCommand;
                const quint64 was = baseInput(base, o, inputs.at(i)).command;
                const CompactString &now = there.fInputs.at(inputs.at(i)).fCommand;
                if (CommandHash(now) == was || now == command)
                    continue;
                if (CommandHash(command) != was)
                    result.notKept.append(
                        QStringLiteral("%1: command %2 (the file's %3 stays)")
                            .arg(inputWords(output, i), quoted(command), quoted(now)));
                command = now;
            }
        }
    } else if (sameAs(base, routing, false)) {
        // The CSV changes commands only, the outputs or inputs changed there:
        // each changed command goes where its input is identified.
        const QList<qsizetype> outputs =
            identify(baseOutputNames(base), outputNames(theirs.fOutputs));
        for (qsizetype o = 0; o < routing.size(); ++o) {
            const clsVantrelOutput &output = *routing.at(o);
            const QList<qsizetype> inputs =
                outputs.at(o) < 0 ? QList<qsizetype>(output.fInputs.size(), -1)
                                  : identify(baseInputNames(base, o),
                                             inputNames(*theirs.fOutputs.at(outputs.at(o))));
            for (qsizetype i = 0; i < output.fInputs.size(); ++i) {
                const CompactString &command = output.fInputs.at(i).fCommand;
                const quint64 was = baseInput(base, o, i).command;
                if (CommandHash(command) == was)
                    continue;
                if (inputs.at(i) < 0) {
                    result.notKept.append(
                        QStringLiteral("%1: command %2 (the file no longer has this input)")
                            .arg(inputWords(output, i), quoted(command)));
                    continue;
                }
                CompactString &now =
                    theirs.fOutputs.at(outputs.at(o))->fInputs[inputs.at(i)].fCommand;
                if (CommandHash(now) != was && now != command)
                    result.notKept.append(
                        QStringLiteral("%1: command %2 (the file's %3 stays)")
                            .arg(inputWords(output, i), quoted(command), quoted(now)));
                else
                    now = command;
            }
        }
        return result;
    } else {
        result.imported = false;
        result.notKept.append(QStringLiteral("another program changed the outputs and inputs "
                                             "since import read the file, so the CSV's were not "
                                             "imported"));
        return result;
    }
    takeChoices(theirs, routing);
    theirs.fOutputs = routing;
    return result;
}

bool Save(const std::shared_ptr<const clsVantrelConfig> &mine,
          const VantrelFile::Fingerprint &loaded, const Merge &merge,
          const std::function<void()> &beforeMerge, const QString &path)
{
    bool recovered = false;
    {
        const FileLock lock(path, FileLock::Mode::Exclusive);
        if (savedUnchanged(*mine, loaded, path, recovered))
            return recovered;
    }
    if (beforeMerge)
        beforeMerge();
    // Update reads the file before it hands it on: a failure before that is
    // the file's, one after it is the merge's or the writing's.
    bool read = false;
    try {
        VantrelFile::Update(
            [&](const VantrelFile::LoadResult &current) -> std::shared_ptr<const clsVantrelConfig> {
                read = true;
                recovered = recovered || current.recovered;
                if (!current.config)
                    throw VantrelError(kRemoved);
                return merge(current);
            },
            path, VantrelFile::Commands::Keep);
    } catch (const VantrelError &error) {
        if (!read)
            throw ReadError(error.description());
        throw;
    }
    return recovered;
}

bool SaveEdits(const std::shared_ptr<const clsVantrelConfig> &mine,
               const VantrelFile::Fingerprint &loaded, const QStringList &loadedSettings,
               const std::function<const Base &()> &base, const QStringList &untouched,
               bool keepMine, const Accept &accept, const QString &path)
{
    const FileLock lock(path, FileLock::Mode::Exclusive);
    bool recovered = false;
    if (savedUnchanged(*mine, loaded, path, recovered))
        return recovered;
    if (!QFileInfo::exists(path))
        throw VantrelError(kRemoved);

    // The usual change: another program chose inputs or changed settings,
    // and the file still has the loaded outputs, inputs and commands. The
    // merge is then mine with the file's choices and the merged settings,
    // and the file need not be read again to be written.
    const Base *was = base ? &base() : nullptr;
    const QList<std::shared_ptr<clsVantrelOutput>> &ours = mine->fOutputs;
    QList<qint16> choices;
    bool same = true;
    VantrelFile::LoadResult current;
    try {
        current =
            VantrelFile::Stream(path, [&](const clsVantrelConfig &, clsVantrelOutput &output) {
                const qsizetype at = choices.size();
                same = same && (was ? sameOutput(*was, at, output, true)
                                    : at < ours.size() && sameText(*ours.at(at), output));
                choices.append(output.fSelected);
            });
    } catch (const VantrelError &error) {
        throw ReadError(error.description());
    }
    current.recovered = current.recovered || recovered;
    if (!current.complete) {
        accept(current, {});
        return current.recovered;
    }
    EditPlan plan(loadedSettings, untouched, *mine, keepMine, Settings(*current.config));
    if (same && choices.size() == ours.size() && (!was || was->outputs.size() == ours.size())) {
        if (!accept(current, plan.edits))
            return current.recovered;
        VantrelSave::Write(path, [&](QIODevice &channel) {
            clsVantrelConfig head;
            SetSettings(head, plan.settings);
            head.Serialize(&channel);
            for (qsizetype o = 0; o < ours.size(); ++o)
                ours.at(o)->Serialize(&channel, choices.at(o));
        });
        return current.recovered;
    }
    choices = {};

    if (was) {
        // What identifies the file's outputs and inputs, about a fifth of a
        // model, for where the edits go.
        Base theirs;
        const auto add = [&theirs](const clsVantrelConfig &, clsVantrelOutput &output) {
            addToBase(theirs, output);
        };
        VantrelFile::Fingerprint read;
        try {
            read = VantrelFile::Stream(path, add).fingerprint;
        } catch (const VantrelError &error) {
            throw ReadError(error.description());
        }
        if (read != current.fingerprint)
            throw VantrelError(kChangedWhileSaving);
        plan.place(*was, *mine, keepMine, theirs);
    }

    // Commands both changed are told with the file's, read once more.
    if (!plan.pending.isEmpty()) {
        QHash<QPair<qsizetype, qsizetype>, qsizetype> wanted;
        for (qsizetype p = 0; p < plan.pending.size(); ++p)
            wanted.insert({plan.pending.at(p).output, plan.pending.at(p).input}, p);
        qsizetype position = 0;
        const VantrelFile::LoadResult again =
            VantrelFile::Stream(path, [&](const clsVantrelConfig &, clsVantrelOutput &output) {
                for (qsizetype i = 0; i < output.fInputs.size(); ++i) {
                    const auto found = wanted.constFind({position, i});
                    if (found != wanted.cend())
                        plan.tell(plan.pending.at(*found), output.fInputs.at(i).fCommand);
                }
                ++position;
            });
        if (again.fingerprint != current.fingerprint)
            throw VantrelError(kChangedWhileSaving);
    }
    if (!accept(current, plan.edits))
        return current.recovered;

    // The file again, output by output through the merge into the writing:
    // the bytes are those of the merged model written whole.
    VantrelSave::Write(path, [&](QIODevice &channel) {
        clsVantrelConfig head;
        SetSettings(head, plan.settings);
        bool headWritten = false;
        qsizetype position = 0;
        const VantrelFile::LoadResult again =
            VantrelFile::Stream(path, [&](const clsVantrelConfig &, clsVantrelOutput &output) {
                if (!std::exchange(headWritten, true))
                    head.Serialize(&channel);
                plan.put(*mine, position++, output);
                output.Serialize(&channel);
            });
        if (!headWritten)
            head.Serialize(&channel);
        if (again.fingerprint != current.fingerprint)
            throw VantrelError(kChangedWhileSaving);
    });
    return current.recovered;
}

} // namespace VantrelMerge
