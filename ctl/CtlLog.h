#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

class QCommandLineParser;
class QIODevice;

// vantrelctl log: the take log, readable or as its raw JSON lines, oldest
// first across the rotated files, filtered, and followed as it grows.
namespace CtlLog {

inline constexpr const char *kSummary = "show the log of takes, saves and the panel's starts";
inline constexpr const char *kDescription =
    "Prints the take log (in $XDG_STATE_HOME/vantrel, else ~/.local/state/vantrel) oldest "
    "first: every take with where it came from, the row, output, input, command, link, each "
    "failed attempt's reason, the outcome and how long it took, and the panel's starts, ends, "
    "saves and presets. The filters combine.";

// "2h", "90s", "15m", "1d" back from now, or an ISO 8601 time (local when it
// names no offset); nullopt when the text is neither.
std::optional<QDateTime> parseSince(const QString &text, const QDateTime &now);

// Runs the command with its parsed options (since, row, failed, follow,
// json). Returns the exit status.
int Run(const QCommandLineParser &parser, QIODevice &out, QIODevice &err);

} // namespace CtlLog
