#pragma once

#include "VantrelFile.h"

#include <QCommandLineParser>
#include <QIODevice>
#include <QString>

class clsVantrelConfig;

// What every vantrelctl command shares: the parsed command line and the
// streams, the file loaded and saved as the windows do, and the ends a
// command comes to when its input is wrong or its work fails.
namespace Vantrelctl {

inline const QString kProgram = QStringLiteral("vantrelctl");

// A failure that ends the command with its status; Run prints the text.
struct Stop
{
    int status;
    QString message;
};

struct Context
{
    QCommandLineParser &parser;
    QIODevice &out;
    QIODevice &err;
    QString path;
    QString command = QStringLiteral("send");
};

[[noreturn]] void usage(const QString &message);
[[noreturn]] void fail(const QString &message);

void write(QIODevice &device, const QString &text);
QString quoted(const QString &text);

// Loading finished a save that had been interrupted: said on every command
// that reads the file, as the windows say it.
void noteRecovery(const Context &c, const VantrelFile::LoadResult &result);
// Loading as the windows load; a file whose reading stopped early is used
// with a warning, as the windows go on after theirs.
VantrelFile::LoadResult load(const Context &c);
void save(const clsVantrelConfig &config, const QString &path);

// The link as an operator reads it: "tcp host:port", "serial COM2 9600,N,8,1".
QString linkText(const clsVantrelConfig &config);
// "3 bytes: SW1" with the control bytes spelled out.
QString bytesText(const QByteArray &bytes);
// "2 output(s), 6 input(s) in all"
QString summary(const clsVantrelConfig &config);

void refuseOperands(const Context &c, const char *command);

} // namespace Vantrelctl
