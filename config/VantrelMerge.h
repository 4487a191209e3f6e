#pragma once

#include "clsVantrelConfig.h"

#include <QByteArray>
#include <QList>
#include <QStringList>

// The panel and the editor (or two panels) may have the same file open; each
// writes only its own part, into what the other wrote meanwhile. The panel
// owns the choices ("selected"), the editor everything else.
namespace VantrelMerge {

// The outputs and their inputs, by number, name and order: the editor keeps
// this of what it loaded, to tell whether a newer file was restructured.
QByteArray Structure(const clsVantrelConfig &config);

// The editor's side: every output's choice taken from the newer file, by
// position; the two must have the same outputs and inputs in number.
void TakeChoices(const clsVantrelConfig &newer, clsVantrelConfig &ours);

// The panel's side: the choices of the given outputs (positions from 0) put
// into the newer file, where an output of the same name still has an input of
// the chosen name (names that repeat are matched in order). When the outputs
// and their inputs are the same in number, a name that is gone was renamed:
// its position is taken instead.
// Returns the outputs whose choice found no place: there the newer file's own
// choice stays.
QList<int> PutChoices(const clsVantrelConfig &ours, const QList<int> &outputs,
                      clsVantrelConfig &newer);

} // namespace VantrelMerge
