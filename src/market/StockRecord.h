#pragma once

#include <QString>

// The longest symbol a market file gets from the symbol tool and the quote
// service answers for; no exchange lists a longer one.
inline constexpr qsizetype kMaxSymbolLength = 32;

// One listed stock: the last quote the quote service delivered for it.
// Texts hold one byte per character on disk (Latin-1 here).
struct StockRecord
{
    QString Reserved; // never shown or tested; read, copied and written back unchanged
    QString Symbol;   // exactly as the user typed it when adding
    float Last = 0;
    float Spread = 0; // High - Low, 0 when either was unavailable
    double Volume = 0;
    float High = 0;
    float Low = 0;
    float Change = 0;
    float Open = 0;

    friend bool operator==(const StockRecord &, const StockRecord &) = default;
};
