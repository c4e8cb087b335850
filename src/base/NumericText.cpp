#include "base/NumericText.h"

namespace {

bool allowed(QChar c)
{
    return (c >= u'0' && c <= u'9') || c == u'.';
}

} // namespace

QString numericText(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        if (allowed(c))
            out += c;
    }
    return out;
}

QString signedNumericText(const QString &text)
{
    for (QChar c : text) {
        if (c == u'-')
            return u'-' + numericText(text);
        if (allowed(c))
            break;
    }
    return numericText(text);
}
