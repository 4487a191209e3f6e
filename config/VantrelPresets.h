#pragma once

#include "VantrelError.h"

#include <QList>
#include <QString>

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

    // Reads the file. A missing file is no preset. Returns an empty text when
    // all went well, else what went wrong (the presets read before that line
    // are kept); never throws.
    QString load();

    // Replaces the file atomically with these presets and keeps them. On
    // failure throws VantrelError and changes neither the file nor presets().
    // A file that load() could not read whole is first moved aside to
    // path() + kKeptSuffix, so nothing of it is lost.
    void save(const QList<Preset> &presets);

    // The reading and writing on their own, for a device already open.
    // read() returns the presets complete before any damage; problem gets
    // "line N: ..." then, and stays empty otherwise.
    static QList<Preset> read(QIODevice &channel, QString &problem);
    static void write(QIODevice *aChannel, const QList<Preset> &presets);

private:
    QString fPath;
    QList<Preset> fPresets;
    // Set when the file on disk holds more than presets() (damaged or
    // unreadable): it must not be overwritten before being kept aside.
    bool fKeepAside = false;
};
