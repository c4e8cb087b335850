#pragma once

#include "market/MarketDatabase.h"
#include "screen/NumberFormat.h"
#include "screen/ResultGrid.h"
#include "screen/TechnicalTable.h"

#include <QString>

#include <array>
#include <optional>

// Text colours of the result grid, 0xRRGGBB.
namespace GridColor {
inline constexpr quint32 White = 0xFFFFFF;
inline constexpr quint32 Navy = 0x000096;     // LAST
inline constexpr quint32 DarkGrey = 0x323232; // prices, volume, shares, zero
inline constexpr quint32 Amber = 0xC89600;    // SPREAD
inline constexpr quint32 Green = 0x009600;    // above zero
inline constexpr quint32 Red = 0xBE0000;      // below zero
} // namespace GridColor

// What a column's cells hold: text (the row number, the symbol), a
// single-precision quote field in general format, the volume as a whole
// number, or a double-precision figure in general format.
enum class CellKind { Text, Single, Whole, Double };

// The result grid's columns, in order. Width in twips; colour NoColor means
// the grid's default text colour; bySign columns are coloured by their value.
struct GridColumn
{
    const char *header;
    int width;
    quint32 color;
    bool bySign;
    Qt::Alignment alignment;
    CellKind kind;
};

inline constexpr std::array<GridColumn, ResultGrid::Cols> kGridColumns{{
    {"#", 500, GridColor::White, false, Qt::AlignLeft, CellKind::Text},
    {"SYMBOL", 900, ResultGrid::NoColor, false, Qt::AlignLeft, CellKind::Text},
    {"LAST", 900, GridColor::Navy, false, Qt::AlignRight, CellKind::Single},
    {"OPEN", 900, GridColor::DarkGrey, false, Qt::AlignRight, CellKind::Single},
    {"CHANGE", 900, GridColor::DarkGrey, true, Qt::AlignRight, CellKind::Single},
    {"LOW", 900, GridColor::DarkGrey, false, Qt::AlignRight, CellKind::Single},
    {"HIGH", 900, GridColor::DarkGrey, false, Qt::AlignRight, CellKind::Single},
    {"SPREAD", 1100, GridColor::Amber, false, Qt::AlignRight, CellKind::Single},
    {"VOLUME", 1100, GridColor::DarkGrey, false, Qt::AlignRight, CellKind::Whole},
    {"PROFIT", 900, GridColor::DarkGrey, true, Qt::AlignRight, CellKind::Double},
    {"SHARES", 900, GridColor::DarkGrey, false, Qt::AlignRight, CellKind::Double},
}};

// What column col's cells hold; the technical columns after SHARES hold
// double-precision figures.
CellKind columnKind(int col);

// Technical columns, shown after SHARES when the user asks for them: the
// measures (indexes into kTechnicalMeasures, in that order) and the table
// their cells are read from; without a table, or without the symbol's row or
// value, a cell is empty. Values show rounded to 2 decimals.
struct TechnicalColumns
{
    QList<int> measures;
    const TechnicalTable *table = nullptr;
};
inline constexpr int kTechnicalColumnWidth = 1200; // twips

// Green above zero, red below, dark grey for zero (and for no number).
quint32 signColor(double value);

// Capital and commission as the SHARES and PROFIT columns use them: each box
// read with "." as the decimal point and narrowed to single precision;
// nullopt when a box holds no number.
struct PersonalAmounts
{
    std::optional<float> capital;
    std::optional<float> commission;
};
PersonalAmounts readPersonalAmounts(const QString &capital, const QString &commission);

// What one stock's row shows in columns 1 to 10 (column 0 is the row number),
// and the number behind each numeric cell (NaN for none). SHARES and PROFIT
// are empty when an amount is missing or the figures do not fit.
struct ResultRowCells
{
    std::array<QString, ResultGrid::Cols> text;
    std::array<quint32, ResultGrid::Cols> color{};
    std::array<double, ResultGrid::Cols> value{};
};
ResultRowCells resultRowCells(const StockRecord &stock, const PersonalAmounts &amounts,
                              const NumberFormat::Symbols &symbols = NumberFormat::Symbols());

// The empty layout: header row and one blank row, current cell on the last
// header cell of the usual layout (SHARES); the technical measures' columns follow it.
void setupGrid(ResultGrid &grid, const QList<int> &technicalMeasures = {});

// Turns the blank row (or the "*" marker row) into the stock's row and puts a
// new marker row after it; the current cell ends on that row's SHARES cell.
void addResultRow(ResultGrid &grid, const StockRecord &stock, const PersonalAmounts &amounts,
                  const NumberFormat::Symbols &symbols = NumberFormat::Symbols(),
                  const TechnicalColumns &technical = {});

// Appends the rows of the listed stocks at the given indexes, in that order,
// as one bulk update of the grid; an index outside the listed stocks is
// passed over.
void addResultRows(ResultGrid &grid, const MarketDatabase &db, const QList<int> &indexes,
                   const PersonalAmounts &amounts, const NumberFormat::Symbols &symbols = NumberFormat::Symbols(),
                   const TechnicalColumns &technical = {});
