#pragma once

#include <QList>
#include <QString>

class clsVantrelConfig;

// What `vantrelctl check` reports: everything in a configuration file that
// would surprise the operator at the panel or in the editor, each with the
// line it comes from.
namespace CtlCheck {

struct Finding
{
    qint64 line = 0;
    QString text;
};

// Findings in line order; empty when the file holds no surprise. Throws
// VantrelFile::OpenError or VantrelError when the file cannot be read at
// all (the windows refuse such a file too).
QList<Finding> Check(const QString &path);

// The same checks on a configuration that has no file yet (line 0): what
// the panel would refuse about the link, and the rest (rows, names).
QList<Finding> CheckLink(const clsVantrelConfig &config);
QList<Finding> CheckOutputs(const clsVantrelConfig &config);

} // namespace CtlCheck
