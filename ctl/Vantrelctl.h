#pragma once

#include "CtlExitStatus.h"

#include <QStringList>

class QIODevice;

// vantrelctl: sets up and drives the switcher from the command line with the
// same file, model and link code as the two windows.
namespace Vantrelctl {

// Runs one command line; arguments[0] is the program's name. Messages go to
// out and err as UTF-8; export writes its CSV bytes to out unchanged. send
// runs an event loop until its command has gone or failed, so a
// QCoreApplication must exist.
int Run(const QStringList &arguments, QIODevice &out, QIODevice &err);

} // namespace Vantrelctl
