#pragma once

#include "VantrelError.h"

#include <QList>
#include <QString>
#include <functional>
#include <optional>

class QIODevice;

// A preset is a named set of the panel's choices, kept in its own file beside
// "vantrel.ini" so that file keeps its exact layout. Each row remembers the
// output and the input by position and by name; a recall applies a row only
// where both still match.
struct PresetRow
{
    int output = 0;     // the panel's row number, 1 to 16
    QString outputName; // the output's name when the preset was saved
    int selected = -1;  // the input's list position from 0, -1 for none
    QString inputName;  // that input's name, empty for none

    bool operator==(const PresetRow &other) const
    {
        return output == other.output && outputName == other.outputName &&
               selected == other.selected && inputName == other.inputName;
    }
};

struct Preset
{
    QString name;
    QList<PresetRow> rows;

    bool operator==(const Preset &other) const { return name == other.name && rows == other.rows; }
};

// The presets file, "vantrel-presets.ini": the same text rules as
// "vantrel.ini" (one byte per character, CR LF, blanks trimmed on reading)
// and the same kind of layout:
//
//   [preset]
//   name=Evening show
//
//   [row]
//   output=1
//   outputname=Studio A
//   selected=1
//   inputname=Player
//
// A blank line stands before every header but the first; no presets is an
// empty file. Reading is strict: a line that does not fit this layout stops
// it, since a preset read in part would recall in part.
class VantrelPresetFile
{
public:
    static constexpr int kMaxOutput = 16;
    inline static const QString kFileName = QStringLiteral("vantrel-presets.ini");
    // Where a file that could not be read whole is kept before it is replaced.
    inline static const QString kKeptSuffix = QStringLiteral(".bak");

    explicit VantrelPresetFile(QString path = kFileName);

    const QString &path() const { return fPath; }
    const QList<Preset> &presets() const { return fPresets; }

    // Reads the file under its shared lock, after finishing an interrupted
    // save (recovered()). A missing file is no preset; anything but a regular
    // file, or one larger than "vantrel.ini" may be, is refused at once.
    // Returns an empty text when all went well, else what went wrong (the
    // presets read before that line are kept); never throws.
    QString load();
    bool recovered() const { return fRecovered; }

    // One change as a transaction, held to the rules of "vantrel.ini" (see
    // VantrelSave): under the file's exclusive lock the file is read as it is
    // now and handed to `change` with the problem reading it met (empty when
    // none); what change returns is written and kept as presets(), and
    // std::nullopt writes nothing. A file that could not be read whole is
    // copied to path() + kKeptSuffix, which takes that name only once the new
    // file is in place. Returns whether it wrote. On failure throws
    // VantrelError, whose text ends with what became of the file (unchanged).
    using Change = std::function<std::optional<QList<Preset>>(const QList<Preset> &current,
                                                              const QString &problem)>;
    bool update(const Change &change);

    // Writes these presets over whatever the file holds now.
    void save(const QList<Preset> &presets);

    // The reading and writing on their own, for a device already open.
    // read() returns the presets complete before any damage; problem gets
    // "line N: ..." then, and stays empty otherwise.
    static QList<Preset> read(QIODevice &channel, QString &problem);
    static void write(QIODevice *aChannel, const QList<Preset> &presets);

private:
    QString readLocked();
    QString keepAside() const;

    QString fPath;
    QList<Preset> fPresets;
    // Set when the file on disk holds more than presets() (damaged or
    // unreadable): it must not be overwritten before being kept aside.
    bool fKeepAside = false;
    bool fRecovered = false;
};
