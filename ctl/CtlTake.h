#pragma once

#include <QString>

// vantrelctl send and take through the panel that has the folder open, so the
// row's list, lamps and saved choice follow as for a click.
namespace CtlTake {

struct Result
{
    enum class Kind
    {
        NoPanel, // no panel has the folder open, or it shows no such output
        Sent,
        Failed, // the panel's failure text: print as is
        Refused // the input is not one of the row's: print as a usage error
    };
    Kind kind = Kind::NoPanel;
    QString message;
};

// OUTPUT and INPUT as send takes them: numbers from 1 or exact names.
Result ThroughPanel(const QString &configPath, const QString &output, const QString &input);

} // namespace CtlTake
