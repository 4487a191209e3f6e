#pragma once

#include "CtlContext.h"

#include <memory>

class clsVantrelOutput;

// The commands vantrelctl runs itself, each in the file named for it; the
// command table in Vantrelctl.cpp binds them to their names and options.
// Each returns its exit status or throws Stop.
namespace Vantrelctl {

int list(Context &c);  // CtlList.cpp
int check(Context &c); // CtlList.cpp
// send and take: through the running panel, or directly.
int send(Context &c);      // CtlSend.cpp
int create(Context &c);    // new, CtlNew.cpp
int exportCsv(Context &c); // CtlImportExport.cpp
int importCsv(Context &c); // CtlImportExport.cpp

// The routing list of a CSV file (- for standard input), for new and import.
QList<std::shared_ptr<clsVantrelOutput>> routingFromCsv(const Context &c, const QString &name);

} // namespace Vantrelctl
