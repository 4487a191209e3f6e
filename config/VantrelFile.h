#pragma once

#include "VantrelError.h"
#include "clsVantrelConfig.h"

#include <QString>
#include <memory>

class QIODevice;

// Loading and saving "vantrel.ini" for both programs.
namespace VantrelFile {

inline const QString kFileName = QStringLiteral("vantrel.ini");

// Thrown when the file cannot be opened for reading at all; other load
// failures (a read error, an out-of-range "selected") are plain VantrelError.
class OpenError : public VantrelError
{
public:
    using VantrelError::VantrelError;
};

struct LoadResult
{
    std::shared_ptr<clsVantrelConfig> config;
    // False when reading stopped before the end of the file (a first line that
    // is not "[vantrel]", or a header that fits nowhere). What follows was not
    // read and a save would drop it, so the programs warn first.
    bool complete = true;
    qint64 stopLine = 0; // 1-based line where reading stopped
    QString stopText;    // that line, trimmed
    // "line 5: reading stopped at "[Output]"; the rest of the file was not read"
    QString stopDescription() const;
};

// Open, initialise, tokenize, deserialize, close. Throws OpenError or
// VantrelError; the description names the line where one applies.
LoadResult Load(const QString &path = kFileName);

// The same reading from a device already open for reading, left open; the
// file version above opens the file and hands it here. Throws VantrelError.
LoadResult Load(QIODevice &channel);

// Writes the whole configuration atomically: on any failure the previous
// file stays exactly as it was and VantrelError describes what failed.
void Save(const clsVantrelConfig &config, const QString &path = kFileName);

} // namespace VantrelFile
