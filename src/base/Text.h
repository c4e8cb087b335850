#pragma once

#include <QString>

// A plain ASCII name or caption from a table of C strings.
inline QString latin(const char *text)
{
    return QString::fromLatin1(text);
}

// A symbol or name as messages show it: inside double quotation marks.
inline QString quoted(const QString &text)
{
    return u'"' + text + u'"';
}
