// vantrelctl: list, check, send, new, export, import and log on vantrel.ini.
#include "Vantrelctl.h"

#include <QCoreApplication>
#include <QFile>
#include <csignal>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
#ifdef SIGXFSZ
    // Past a file-size limit a save then fails with its message and the old
    // file kept, instead of the command being killed halfway.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    QCoreApplication::setApplicationName(QStringLiteral("vantrelctl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VANTREL_VERSION));
    QFile out;
    QFile err;
    if (!out.open(stdout, QIODevice::WriteOnly | QIODevice::Unbuffered) ||
        !err.open(stderr, QIODevice::WriteOnly | QIODevice::Unbuffered))
        return Vantrelctl::kFailure;
    return Vantrelctl::Run(QCoreApplication::arguments(), out, err);
}
