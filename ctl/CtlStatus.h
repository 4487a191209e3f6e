#pragma once

#include <QString>

class QIODevice;

// vantrelctl status: the rows of the panel that has the folder open.
namespace CtlStatus {

// A plain table, or the panel's JSON state (as GET /api/v1/rows) with json.
// 1 with a message on err when no panel has the folder open.
int Run(const QString &configPath, bool json, QIODevice &out, QIODevice &err);

} // namespace CtlStatus
