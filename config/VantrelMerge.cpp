#include "VantrelMerge.h"

namespace VantrelMerge {

namespace {

bool sameCounts(const clsVantrelConfig &a, const clsVantrelConfig &b)
{
    if (a.fOutputs.size() != b.fOutputs.size())
        return false;
    for (qsizetype i = 0; i < a.fOutputs.size(); ++i) {
        if (a.fOutputs.at(i)->fInputs.size() != b.fOutputs.at(i)->fInputs.size())
            return false;
    }
    return true;
}

// The item at `position` is the n-th of its name in `list`; returns the
// position of the n-th item of that name in `other`, or -1.
template <typename List, typename NameOf>
int matching(const List &list, int position, const List &other, NameOf nameOf)
{
    const auto &name = nameOf(list.at(position));
    int nth = 0;
    for (int i = 0; i < position; ++i)
        nth += nameOf(list.at(i)) == name;
    for (int i = 0; i < other.size(); ++i) {
        if (nameOf(other.at(i)) == name && nth-- == 0)
            return i;
    }
    return -1;
}

} // namespace

QByteArray Structure(const clsVantrelConfig &config)
{
    // Every name's stored form starts with its length (an empty name's with
    // a length of 0), so the concatenation tells every name apart; the editor
    // holds this for as long as it runs, at about a byte per character.
    QByteArray structure;
    const auto add = [&structure](const CompactString &name) {
        static const char kEmpty[CompactString::kEmptyStorage] = {};
        const QByteArrayView stored = name.storage();
        structure += stored.isEmpty() ? QByteArrayView(kEmpty, sizeof kEmpty) : stored;
    };
    for (const auto &output : config.fOutputs) {
        add(output->fOutputName);
        structure += QByteArray::number(output->fInputs.size()) + ':';
        for (const auto &input : output->fInputs)
            add(input.fInputName);
    }
    return structure;
}

void TakeChoices(const clsVantrelConfig &newer, clsVantrelConfig &ours)
{
    Q_ASSERT(sameCounts(newer, ours));
    for (qsizetype i = 0; i < ours.fOutputs.size(); ++i)
        ours.fOutputs.at(i)->fSelected = newer.fOutputs.at(i)->fSelected;
}

QList<int> PutChoices(const clsVantrelConfig &ours, const QList<int> &outputs,
                      clsVantrelConfig &newer)
{
    QList<int> lost;
    // Same numbers alone do not tell a rename from a reorder (vantrelctl
    // import may reorder inputs, or outputs that have as many inputs): a name
    // that is still there says where the choice went; the position serves
    // only where the name is gone, that is where it was renamed.
    const bool sameNumbers = sameCounts(ours, newer);
    const auto outputName =
        [](const std::shared_ptr<clsVantrelOutput> &o) -> const CompactString & {
        return o->fOutputName;
    };
    const auto inputName = [](const clsVantrelInput &i) -> const CompactString & {
        return i.fInputName;
    };
    for (const int o : outputs) {
        const clsVantrelOutput &mine = *ours.fOutputs.at(o);
        int there = matching(ours.fOutputs, o, newer.fOutputs, outputName);
        if (there < 0 && sameNumbers)
            there = o;
        const int chosen = mine.fSelected;
        if (there < 0) {
            lost.append(o);
        } else if (chosen < 0 || chosen >= mine.fInputs.size()) {
            newer.fOutputs.at(there)->fSelected = -1;
        } else {
            clsVantrelOutput &theirs = *newer.fOutputs.at(there);
            int input = matching(mine.fInputs, chosen, theirs.fInputs, inputName);
            if (input < 0 && sameNumbers && theirs.fInputs.size() == mine.fInputs.size())
                input = chosen;
            if (input < 0)
                lost.append(o);
            else
                theirs.fSelected = static_cast<qint16>(input);
        }
    }
    return lost;
}

} // namespace VantrelMerge
