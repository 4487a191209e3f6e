#include "Vantrelctl.h"

#include "CtlCommands.h"
#include "CtlLog.h"
#include "CtlRemote.h"
#include "CtlStatus.h"
#include "VantrelFile.h"

#include <QCommandLineParser>
#include <QFileDevice>
#include <functional>

namespace Vantrelctl {

namespace {

struct Option
{
    QStringList names;
    const char *description;
    const char *valueName; // nullptr for a switch
};

struct Command
{
    const char *name;
    const char *summary;
    const char *description;
    const char *arguments; // for the usage line
    QList<Option> options;
    std::function<int(Context &)> run;
};

const QList<Command> &commands()
{
    const Option kEncodingOption = {{QStringLiteral("encoding")},
                                    "The CSV's text: latin1 (ISO-8859-1, one byte per character, "
                                    "as vantrel.ini) or utf-8. Reading tells UTF-8 by itself; "
                                    "export writes latin1 unless told.",
                                    "NAME"};
    const Option kDryRunOption = {{QStringLiteral("n"), QStringLiteral("dry-run")},
                                  "Print the link and the bytes instead of sending them.",
                                  nullptr};
    const Option kDirectOption = {{QStringLiteral("direct")},
                                  "Send directly even when a panel has the folder open (its "
                                  "lamps and saved choice then do not follow).",
                                  nullptr};
    static const QList<Command> kCommands = {
        {"list",
         "show the link, the outputs, and each input's command and bytes",
         "Shows the link, every output with its number and name, and each input's number, name "
         "and command as stored, followed by the bytes the panel sends for it (\\r, \\n, \\xNN). "
         "The output's stored choice is marked with *. The text is UTF-8, whatever export "
         "writes.",
         "",
         {{{QStringLiteral("json")},
           "Write it as one JSON object for scripts: \"link\" (the nine settings as stored) and "
           "\"outputs\", each with its number, name, \"chosen\" (its stored choice as an input "
           "number, or null) and inputs (number, name, command as stored, and \"sends\": the "
           "characters sent, one per byte).",
           nullptr}},
         list},
        {"check",
         "report what in the file would surprise the operator",
         "Reads the file as the windows do and reports, with line numbers: reading that stopped "
         "early, a selected value naming no input, an unknown link type, an address, port or "
         "serial setting the panel will refuse, outputs beyond the sixteen rows the panel shows, "
         "names longer than the editor's boxes, and repeated names. Exit status 1 when it finds "
         "anything. FILE, when given, is the file to check, as with -f.",
         "[FILE]",
         {},
         check},
        {"send",
         "send an input's command to the switcher as the panel does",
         "Sends the command of INPUT of OUTPUT the way the panel's button does: the same "
         "decoding, the same link code, four attempts 200 ms apart, and the panel's message on "
         "standard error when all fail (its lines ending in LF). OUTPUT and INPUT are numbers "
         "from 1 or exact names. The file is only read, never written: the panel owns the stored "
         "choices. Exit status 2 when OUTPUT or INPUT names nothing (a typo), 1 when the send "
         "fails.",
         "OUTPUT INPUT",
         {kDryRunOption, kDirectOption},
         send},
        {"take",
         "take an input on an output through the running panel",
         "Takes INPUT on OUTPUT through the panel that has this folder open, as a click there "
         "would: the row's list shows the input, the command waits its turn in the panel's "
         "queue, and the lamps and the saved choice follow. Ends with the send's outcome (the "
         "panel's failure text on standard error). With no panel running, or for an output the "
         "panel shows no row for, the command is sent directly, as send does. OUTPUT and INPUT "
         "are numbers from 1 or exact names.",
         "OUTPUT INPUT",
         {kDryRunOption, kDirectOption},
         send},
        {"status",
         "show the running panel's rows",
         "Prints the rows of the panel that has this folder open: output, chosen input, whether "
         "the choice is pending (not yet sent), and the last take's result. Exit status 1 when "
         "no panel has the folder open.",
         "",
         {{{QStringLiteral("json")},
           "Print the rows as JSON, as the network API's GET /api/v1/rows.",
           nullptr}},
         [](Context &c) {
             return CtlStatus::Run(c.path, c.parser.isSet(QStringLiteral("json")), c.out, c.err);
         }},
        {"remote",
         "turn the panel's network API and OSC on or off",
         "enable writes vantrel-remote.ini beside the configuration file (mode 0600) with a new "
         "secret token, kept on later enables unless --new-token; the panel reads it when it "
         "starts. show prints the address to open, with its token. disable removes the file. "
         "The API listens on loopback unless --listen names another address; OSC is off "
         "unless --osc names a port, and accepts loopback senders only unless --osc-allow lists "
         "others.",
         "enable|show|disable",
         {{{QStringLiteral("listen")},
           "Where the HTTP API listens (default 127.0.0.1:8470).",
           "ADDRESS:PORT"},
          {{QStringLiteral("osc")}, "UDP port for OSC; 0 turns OSC off.", "PORT"},
          {{QStringLiteral("osc-allow")},
           "Addresses besides loopback that may send OSC, comma-separated; - for none.",
           "ADDR,..."},
          {{QStringLiteral("new-token")}, "Replace the token.", nullptr}},
         [](Context &c) {
             const CtlRemote::Options options{c.parser.value(QStringLiteral("listen")),
                                              c.parser.value(QStringLiteral("osc")),
                                              c.parser.value(QStringLiteral("osc-allow")),
                                              c.parser.isSet(QStringLiteral("new-token"))};
             return CtlRemote::Run(c.path, c.parser.positionalArguments(), options, c.out, c.err);
         }},
        {"new",
         "write a new configuration from options",
         "Writes a new configuration: the link, then either --outputs/--inputs (or their names) "
         "with a command template, or --csv with the whole routing list. Every output gets every "
         "input. The template's {input} and {output} are numbers from 1, {input0} and {output0} "
         "from 0; escapes such as \\r\\n are stored as typed. An existing file is replaced only "
         "with --force. The result is checked as check does: a link the panel would refuse is "
         "refused (exit status 2, nothing written); other findings are warnings.",
         "",
         {{{QStringLiteral("tcp")}, "Network link over TCP.", "HOST:PORT"},
          {{QStringLiteral("udp")}, "Network link over UDP.", "HOST:PORT"},
          {{QStringLiteral("serial")}, "Serial link, e.g. COM1:9600,N,8,1.", "COMn[:SETTINGS]"},
          {{QStringLiteral("outputs")}, "Number of outputs.", "N"},
          {{QStringLiteral("inputs")}, "Number of inputs of every output.", "M"},
          {{QStringLiteral("output-names")}, "Output names, comma-separated.", "NAMES"},
          {{QStringLiteral("input-names")}, "Input names, comma-separated.", "NAMES"},
          {{QStringLiteral("command")},
           "Command template, e.g. 'SW {input} {output}\\r\\n'.",
           "TEMPLATE"},
          {{QStringLiteral("csv")}, "Outputs, inputs and commands from a CSV file.", "CSV"},
          kEncodingOption,
          {{QStringLiteral("force")}, "Replace an existing file.", nullptr}},
         create},
        {"export",
         "write the outputs, inputs and commands as CSV",
         "Writes the routing list as CSV (header output,input,command; one row per input; "
         "commands with their escapes as stored) to CSV, or to standard output. It writes one byte "
         "per character (ISO-8859-1, as vantrel.ini holds them) unless --encoding utf-8, while "
         "list writes UTF-8.",
         "[CSV]",
         {kEncodingOption},
         exportCsv},
        {"import",
         "replace the outputs and inputs with those of a CSV file",
         "Replaces the outputs and inputs with those of CSV (- for standard input), in the "
         "format export writes. The link settings stay; each output keeps its choice where the "
         "output and the chosen input's name still exist. A malformed CSV is refused with its "
         "line number and nothing is written. What the CSV changes goes into the file as it is "
         "when the CSV has been read: a window's save meanwhile stays, commands another program "
         "changed keep its value (each such command is named on standard error), and when it "
         "changed the outputs or inputs themselves nothing is imported and the exit status is "
         "3.",
         "CSV",
         {{{QStringLiteral("force")},
           "Import even when reading the file stopped early (the unread rest is dropped).",
           nullptr},
          kEncodingOption},
         importCsv},
        {"log",
         CtlLog::kSummary,
         CtlLog::kDescription,
         "",
         {{{QStringLiteral("since")}, "Only events since a time or for a duration (2h).", "WHEN"},
          {{QStringLiteral("row")}, "Only the takes of this row (from 1).", "N"},
          {{QStringLiteral("failed")}, "Only failed takes and saves.", nullptr},
          {{QStringLiteral("follow")}, "Go on printing events as they come.", nullptr},
          {{QStringLiteral("json")}, "The raw JSON lines, one event each.", nullptr}},
         [](Context &c) {
             return CtlLog::Run(c.parser, c.out, c.err);
         }},
    };
    return kCommands;
}

QString overview()
{
    QString text = QStringLiteral(
        "Usage: vantrelctl COMMAND [options] [arguments]\n"
        "Sets up and drives a text-command matrix switcher with the vantrel.ini of Vantrel and "
        "VantrelConfig.\n\nCommands:\n");
    for (const Command &command : commands())
        text += QStringLiteral("  %1%2\n")
                    .arg(QString::fromLatin1(command.name).leftJustified(8),
                         QLatin1String(command.summary));
    text += QStringLiteral(
        "\nEvery command takes -f/--file PATH (default ./vantrel.ini) and -h/--help;\n"
        "vantrelctl COMMAND --help describes one command, vantrelctl -v/--version\n"
        "prints the version. Exit status: 0 success, 1 failure (also when standard\n"
        "output cannot be written), 2 bad usage (also an output or input name that\n"
        "does not exist), 3 import kept another program's outputs and inputs.\n");
    return text;
}

// The file may also be named before the command: "vantrelctl -f x.ini list".
QStringList fileOptionAfterCommand(QStringList arguments)
{
    const QString first = arguments.value(1);
    const bool separate = first == QLatin1String("-f") || first == QLatin1String("--file");
    if (separate && arguments.size() > 3)
        arguments.move(3, 1);
    else if (first.startsWith(QLatin1String("--file=")) && arguments.size() > 2)
        arguments.move(2, 1);
    return arguments;
}

// Help texts are read in a terminal: descriptions wrap at 79 columns.
QString wrapped(const QString &text)
{
    QString result;
    qsizetype column = 0;
    for (const QString &word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (column > 0 && column + 1 + word.size() > 79) {
            result += QLatin1Char('\n');
            column = 0;
        } else if (column > 0) {
            result += QLatin1Char(' ');
            ++column;
        }
        result += word;
        column += word.size();
    }
    return result;
}

int runCommandLine(const QStringList &commandLine, QIODevice &out, QIODevice &err)
{
    const QStringList arguments = fileOptionAfterCommand(commandLine);
    const QString first = arguments.value(1);
    const bool fileFirst = first == QLatin1String("-f") || first == QLatin1String("--file") ||
                           first.startsWith(QLatin1String("--file="));
    if (fileFirst && arguments.size() <= (first.startsWith(QLatin1String("--file=")) ? 2 : 3)) {
        write(err, QStringLiteral("%1: a command is missing after %2\nTry 'vantrelctl --help'.\n")
                       .arg(kProgram, arguments.mid(1).join(QLatin1Char(' '))));
        return kBadUsage;
    }
    if (first == QLatin1String("-h") || first == QLatin1String("--help") ||
        first == QLatin1String("help")) {
        if (arguments.size() <= 2 || first != QLatin1String("help")) {
            write(out, overview());
            return kSuccess;
        }
        return runCommandLine({arguments.at(0), arguments.at(2), QStringLiteral("--help")}, out,
                              err);
    }
    if (first == QLatin1String("-v") || first == QLatin1String("--version")) {
        write(out, QStringLiteral("vantrelctl %1\n").arg(QStringLiteral(VANTREL_VERSION)));
        return kSuccess;
    }
    const Command *command = nullptr;
    for (const Command &candidate : commands()) {
        if (first == QLatin1String(candidate.name))
            command = &candidate;
    }
    if (!command) {
        write(err, first.isEmpty()
                       ? overview()
                       : QStringLiteral("%1: unknown command %2\nTry 'vantrelctl --help'.\n")
                             .arg(kProgram, quoted(first)));
        return kBadUsage;
    }

    QCommandLineParser parser;
    parser.setApplicationDescription(wrapped(QLatin1String(command->description)));
    parser.addOption({{QStringLiteral("f"), QStringLiteral("file")},
                      QStringLiteral("The configuration file (default ./vantrel.ini)."),
                      QStringLiteral("PATH"),
                      VantrelFile::kFileName});
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help."));
    parser.addOption(help);
    for (const Option &option : command->options) {
        parser.addOption(option.valueName
                             ? QCommandLineOption(option.names, QLatin1String(option.description),
                                                  QLatin1String(option.valueName))
                             : QCommandLineOption(option.names, QLatin1String(option.description)));
    }
    const QString usageLine =
        QStringLiteral("Usage: vantrelctl %1 [options] %2")
            .arg(QLatin1String(command->name), QLatin1String(command->arguments))
            .trimmed();
    QStringList rest = arguments.mid(2);
    rest.prepend(kProgram);
    if (!parser.parse(rest)) {
        write(err, QStringLiteral("%1 %2: %3\nTry 'vantrelctl %2 --help'.\n")
                       .arg(kProgram, QLatin1String(command->name), parser.errorText()));
        return kBadUsage;
    }
    if (parser.isSet(help)) {
        write(out, usageLine + QLatin1Char('\n') + parser.helpText().section(QLatin1Char('\n'), 1));
        return kSuccess;
    }
    Context context{parser, out, err, parser.value(QStringLiteral("file"))};
    context.command = QLatin1String(command->name);
    try {
        return command->run(context);
    } catch (const Stop &stop) {
        write(err, QStringLiteral("%1 %2: %3\n")
                       .arg(kProgram, QLatin1String(command->name), stop.message));
        if (stop.status == kBadUsage)
            write(
                err,
                QStringLiteral("Try 'vantrelctl %1 --help'.\n").arg(QLatin1String(command->name)));
        return stop.status;
    }
}

} // namespace

int Run(const QStringList &commandLine, QIODevice &out, QIODevice &err)
{
    const int status = runCommandLine(commandLine, out, err);
    // Output short of a buffer waits in the C library until the exit, where
    // a full disk or a closed pipe would go unnoticed: it goes out now, and a
    // failure fails the command.
    auto *file = qobject_cast<QFileDevice *>(&out);
    if (file && (!file->flush() || file->error() != QFileDevice::NoError)) {
        write(err, QStringLiteral("%1: cannot write to standard output: %2\n")
                       .arg(kProgram, file->errorString()));
        return kFailure;
    }
    return status;
}

} // namespace Vantrelctl
