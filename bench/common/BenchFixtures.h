#pragma once

#include "widgets/Prompter.h"

#include <QByteArray>

// A prompter that shows nothing and answers every question with No or an
// empty text, for benchmarks that drive the real windows.
class SilentPrompter : public Prompter
{
public:
    void message(const QString &, Icon) override {}
    bool askYesNo(const QString &) override { return false; }
    QString input(const QString &, const QString &, const QString &) override { return QString(); }
};

// "AAAA", "AAAB", ...: four-letter symbols, one for each i.
inline QByteArray symbolAt(int i)
{
    QByteArray s(4, 'A');
    for (int k = 3; k >= 0; --k, i /= 26)
        s[k] = char('A' + i % 26);
    return s;
}
