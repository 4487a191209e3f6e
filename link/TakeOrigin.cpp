#include "TakeOrigin.h"

QString TakeOrigin::name(Source source)
{
    switch (source) {
    case Source::Mouse:
        return QStringLiteral("mouse");
    case Source::Key:
        return QStringLiteral("key");
    case Source::TakeAll:
        return QStringLiteral("take-all");
    case Source::Preset:
        return QStringLiteral("preset");
    case Source::Ctl:
        return QStringLiteral("vantrelctl");
    case Source::Http:
        return QStringLiteral("http");
    case Source::Osc:
        return QStringLiteral("osc");
    }
    return QString();
}
