// vantrelctl: list, check, send, new, export, import and log on vantrel.ini.
#include "Vantrelctl.h"

#include <QCoreApplication>
#include <QFile>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vantrelctl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VANTREL_VERSION));
    QFile out;
    QFile err;
    if (!out.open(stdout, QIODevice::WriteOnly | QIODevice::Unbuffered) ||
        !err.open(stderr, QIODevice::WriteOnly | QIODevice::Unbuffered))
        return Vantrelctl::kFailure;
    return Vantrelctl::Run(QCoreApplication::arguments(), out, err);
}
