#pragma once

#include <QByteArrayView>
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

// Bytes from outside (a source's reply, a file's header) as they may appear in
// a log or on a terminal: control characters, DEL and non-ASCII bytes written
// as \xNN, so that they can neither move the cursor nor forge a log line.
inline QString printable(QByteArrayView bytes)
{
    QString out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const uchar u = uchar(c);
        if (u < 0x20 || u >= 0x7F)
            out += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
        else
            out += QLatin1Char(c);
    }
    return out;
}
