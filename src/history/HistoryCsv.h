#pragma once

#include "history/DailyBar.h"
#include "history/Technicals.h"

#include <QByteArray>
#include <QByteArrayView>

#include <optional>
#include <vector>

// The two tables the quote service serves from the history store, and the
// program reads back. Numbers use "." and no grouping; a price or indicator
// is written with at most 4 decimals, trailing zeros and a trailing "."
// dropped ("12.5", "-3.25", "101"); a volume or session count as a whole
// number; a date as YYYY-MM-DD; an unknown value as an empty field. Lines end
// in "\n".

// "Date,Open,High,Low,Close,Volume" then one line per bar, ascending dates.
QByteArray historyCsv(const BarSeries &bars);
// nullopt when the text is not such a table (wrong header, a line with a field
// that is no number, dates not ascending).
std::optional<BarSeries> parseHistoryCsv(QByteArrayView text);

// "Symbol,Date,Close,SMA20,...,PerfYTD,Sessions" then one line per row.
QByteArray technicalsHeader();
QByteArray technicalsLine(const TechnicalRow &row);
QByteArray technicalsCsv(const std::vector<TechnicalRow> &rows);
// nullopt when the text is not such a table.
std::optional<std::vector<TechnicalRow>> parseTechnicalsCsv(QByteArrayView text);

// The number format above, for one value.
QByteArray csvNumber(double value);
