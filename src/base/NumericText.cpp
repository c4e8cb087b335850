#include "base/NumericText.h"

QString numericText(const QString &text)
{
    static const QString allowed = QStringLiteral("1234567890.");
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        if (allowed.contains(c))
            out += c;
    }
    return out;
}
