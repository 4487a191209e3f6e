#include "modGlobal.h"

QString DecodeEscapes(const QString &text)
{
    QString result;
    result.reserve(text.size());
    bool escape = false;
    for (const QChar c : text) {
        if (escape) {
            switch (c.unicode()) {
            case u'r':
                result.append(QChar(13));
                break;
            case u'n':
                result.append(QChar(10));
                break;
            case u't':
                result.append(QChar(9));
                break;
            default: // "\\" and any other character stand for themselves
                result.append(c);
                break;
            }
            escape = false;
        } else if (c == QLatin1Char('\\')) {
            escape = true;
        } else {
            result.append(c);
        }
    }
    return result;
}
