#pragma once

#include "clsVantrelOutput.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <memory>

class clsVantrelConfig;

// The routing list as CSV (RFC 4180), so it can live in a spreadsheet:
//   output,input,command
//   Studio A,Camera 1,SW 1 1\r\n
// One row per input, in file order; an output without inputs is one row with
// an empty input and command. Rows that follow each other with the same
// output name belong to one output. Commands keep their escapes as stored.
//
// Bytes and characters: by default one byte is one character (ISO-8859-1),
// the rule of vantrel.ini itself, so every character the file can hold
// round-trips and a byte never fails to read. Many spreadsheets write UTF-8
// only, so reading also recognises UTF-8 (a byte order mark, or valid
// multi-byte sequences, which ISO-8859-1 text practically never forms), and
// export can write it.
namespace CtlCsv {

enum class Encoding
{
    Auto, // reading only: UTF-8 when the bytes say so, else ISO-8859-1
    Latin1,
    Utf8,
};

// The CSV file's text. Throws VantrelError "line N: ..." for bytes that are
// not UTF-8 when UTF-8 is asked for, and for a character vantrel.ini cannot
// hold (above U+00FF).
QString Decode(const QByteArray &bytes, Encoding encoding);
// The bytes of CSV text; UTF-8 starts with a byte order mark, which tells
// spreadsheets how to read it.
QByteArray Encode(const QString &text, Encoding encoding);

// One record with the line it starts on (1-based).
struct Record
{
    QStringList fields;
    qint64 line = 0;
};

// Splits RFC 4180 text into records. Records end with CR LF, LF or CR;
// quoted fields may hold commas, doubled quotes and line breaks. Lines that
// are entirely empty are skipped. Throws VantrelError "line N: ..." when the
// text is malformed.
QList<Record> Parse(const QString &text);

// One record, fields quoted where they need it, ending in CR LF.
QString FormatRecord(const QStringList &fields);

// The CSV of the configuration's outputs and inputs. Throws VantrelError
// when the file holds something the CSV could not bring back (two outputs
// of the same name that follow each other, an output that would be a blank
// row, a lone input without name or command).
QString ExportRouting(const clsVantrelConfig &config);

// The outputs and inputs a routing CSV describes, each output's fSelected
// -1. Throws VantrelError "line N: ..." for a malformed or wrong CSV. Names
// and commands are trimmed of spaces as the file's reader would; a line
// break in a name becomes a space, in a command its escape (\r, \n).
QList<std::shared_ptr<clsVantrelOutput>> ImportRouting(const QString &csv);

} // namespace CtlCsv
