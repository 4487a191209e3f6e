#include "CtlCommands.h"
#include "CtlCsv.h"
#include "CtlExitStatus.h"
#include "VantrelError.h"
#include "VantrelFile.h"
#include "VantrelMerge.h"
#include "clsVantrelConfig.h"

#include <QFile>
#include <QSaveFile>

namespace Vantrelctl {

namespace {

QByteArray readInput(const QString &name)
{
    QFile file;
    if (name == QLatin1String("-"))
        file.open(stdin, QIODevice::ReadOnly);
    else
        file.setFileName(name), file.open(QIODevice::ReadOnly);
    if (!file.isOpen())
        fail(QStringLiteral("cannot open %1: %2").arg(name, file.errorString()));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        fail(QStringLiteral("cannot read %1: %2").arg(name, file.errorString()));
    return bytes;
}

} // namespace

// --encoding: latin1 (ISO-8859-1) or utf-8. Reading recognises UTF-8 by
// itself when the option is left out; export writes ISO-8859-1 then.
CtlCsv::Encoding encoding(const Context &c, CtlCsv::Encoding fallback)
{
    const QString option = QStringLiteral("encoding");
    if (!c.parser.isSet(option))
        return fallback;
    const QString name = c.parser.value(option).toLower().remove(QLatin1Char('-'));
    if (name == QLatin1String("latin1") || name == QLatin1String("iso88591"))
        return CtlCsv::Encoding::Latin1;
    if (name == QLatin1String("utf8"))
        return CtlCsv::Encoding::Utf8;
    usage(QStringLiteral("--encoding takes latin1 or utf-8, not %1")
              .arg(quoted(c.parser.value(option))));
}

QList<std::shared_ptr<clsVantrelOutput>> routingFromCsv(const Context &c, const QString &name)
{
    const CtlCsv::Encoding how = encoding(c, CtlCsv::Encoding::Auto);
    try {
        return CtlCsv::ImportRouting(CtlCsv::Decode(readInput(name), how));
    } catch (const VantrelError &e) {
        fail(QStringLiteral("%1: %2; nothing was written").arg(name, e.description()));
    }
}

int exportCsv(Context &c)
{
    const QStringList args = c.parser.positionalArguments();
    if (args.size() > 1)
        usage(QStringLiteral("export takes at most one CSV file"));
    const CtlCsv::Encoding how = encoding(c, CtlCsv::Encoding::Latin1);
    const auto loaded = load(c);
    QByteArray csv;
    try {
        csv = CtlCsv::Encode(CtlCsv::ExportRouting(*loaded.config), how);
    } catch (const VantrelError &e) {
        fail(QStringLiteral("%1: %2").arg(c.path, e.description()));
    }
    if (args.isEmpty() || args.first() == QLatin1String("-")) {
        if (c.out.write(csv) != csv.size())
            fail(QStringLiteral("cannot write the CSV to standard output: %1")
                     .arg(c.out.errorString()));
        return kSuccess;
    }
    QSaveFile file(args.first());
    if (!file.open(QIODevice::WriteOnly) || file.write(csv) != csv.size() || !file.commit())
        fail(QStringLiteral("cannot write %1: %2").arg(args.first(), file.errorString()));
    return kSuccess;
}

int importCsv(Context &c)
{
    const QStringList args = c.parser.positionalArguments();
    if (args.size() != 1)
        usage(QStringLiteral("import takes one CSV file (- for standard input)"));
    const bool force = c.parser.isSet(QStringLiteral("force"));
    VantrelFile::LoadResult loaded;
    try {
        loaded = VantrelFile::Load(c.path);
        noteRecovery(c, loaded);
    } catch (const VantrelFile::OpenError &e) {
        fail(QStringLiteral("cannot open %1: %2; vantrelctl new writes a new one")
                 .arg(c.path, e.description()));
    } catch (const VantrelError &e) {
        fail(QStringLiteral("cannot read %1: %2").arg(c.path, e.description()));
    }
    if (!loaded.complete && !force)
        fail(QStringLiteral("%1: %2, and importing would drop it; add --force to import anyway")
                 .arg(c.path, loaded.stopDescription()));

    // The CSV may take its time (a pipe): what it changes goes into the file
    // as it is when it has come, since a window may have saved meanwhile.
    // Until then only what tells the CSV's changes apart is kept.
    const VantrelMerge::Base base = VantrelMerge::Snapshot(*loaded.config);
    loaded.config.reset();
    const auto outputs = routingFromCsv(c, args.first());
    VantrelMerge::Import outcome;
    try {
        VantrelFile::Update(
            [&](const VantrelFile::LoadResult &current) -> std::shared_ptr<const clsVantrelConfig> {
                if (!current.config)
                    throw VantrelError(QStringLiteral("it was removed since import read it, so "
                                                      "nothing was written"));
                if (!current.complete && !force)
                    throw VantrelError(QStringLiteral("%1, and importing would drop it, so the "
                                                      "file is unchanged; add --force to "
                                                      "import anyway")
                                           .arg(current.stopDescription()));
                noteRecovery(c, current);
                outcome = VantrelMerge::PutRouting(base, outputs, *current.config);
                if (!outcome.imported)
                    return nullptr;
                loaded.config = current.config;
                return current.config;
            },
            c.path);
    } catch (const VantrelError &e) {
        fail(QStringLiteral("cannot write %1: %2").arg(c.path, e.description()));
    }
    for (const QString &item : std::as_const(outcome.notKept))
        write(c.err, QStringLiteral("%1 import: not kept: %2\n").arg(kProgram, item));
    if (!outcome.imported && !outcome.notKept.isEmpty()) {
        write(c.err, QStringLiteral("%1 import: %2 is unchanged\n").arg(kProgram, c.path));
        return kNotImported;
    }
    if (!outcome.imported) {
        write(c.out,
              QStringLiteral("%1: unchanged, it already holds the CSV's outputs and inputs\n")
                  .arg(c.path));
        return kSuccess;
    }
    write(c.out, QStringLiteral("%1: imported, %2\n").arg(c.path, summary(*loaded.config)));
    return kSuccess;
}
} // namespace Vantrelctl
