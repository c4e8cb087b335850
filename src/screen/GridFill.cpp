#include "screen/GridFill.h"

#include "screen/Figures.h"
#include "screen/TechnicalMeasures.h"

#include <cmath>

CellKind columnKind(int col)
{
    return col >= 0 && col < ResultGrid::Cols ? kGridColumns[size_t(col)].kind : CellKind::Double;
}

quint32 signColor(double value)
{
    if (value > 0)
        return GridColor::Green;
    if (value < 0)
        return GridColor::Red;
    return GridColor::DarkGrey;
}

PersonalAmounts readPersonalAmounts(const QString &capital, const QString &commission)
{
    return {NumberFormat::parseSingleAmount(capital), NumberFormat::parseSingleAmount(commission)};
}

ResultRowCells resultRowCells(const StockRecord &stock, const PersonalAmounts &amounts,
                              const NumberFormat::Symbols &symbols)
{
    ResultRowCells row;
    for (size_t c = 0; c < kGridColumns.size(); ++c)
        row.color[c] = kGridColumns[c].color;
    row.value.fill(qQNaN());
    row.value[2] = stock.Last;
    row.value[3] = stock.Open;
    row.value[4] = stock.Change;
    row.value[5] = stock.Low;
    row.value[6] = stock.High;
    row.value[7] = stock.Spread;
    row.value[8] = stock.Volume;
    row.text[1] = stock.Symbol.toUpper();
    row.text[2] = NumberFormat::general(stock.Last, symbols);
    row.text[3] = NumberFormat::general(stock.Open, symbols);
    row.text[4] = NumberFormat::general(stock.Change, symbols);
    row.color[4] = signColor(stock.Change);
    row.text[5] = NumberFormat::general(stock.Low, symbols);
    row.text[6] = NumberFormat::general(stock.High, symbols);
    row.text[7] = NumberFormat::general(stock.Spread, symbols);
    row.text[8] = NumberFormat::grouped(stock.Volume, symbols);
    if (row.text[8].isEmpty())
        row.value[8] = qQNaN(); // a volume that rounds to zero shows nothing

    if (amounts.capital && amounts.commission) {
        const std::optional<TradeFigures> figures =
            gridTradeFigures(*amounts.capital, *amounts.commission, stock.High, stock.Low);
        if (figures) {
            row.text[9] = NumberFormat::general(figures->profit, symbols);
            row.color[9] = signColor(figures->profit);
            row.text[10] = NumberFormat::general(figures->shares, symbols);
            row.value[9] = figures->profit;
            row.value[10] = figures->shares;
        }
    }
    return row;
}

void setupGrid(ResultGrid &grid, const QList<int> &technicalMeasures)
{
    grid.setCols(ResultGrid::Cols + int(technicalMeasures.size()));
    grid.clear();
    grid.setRows(2);
    grid.setRow(0);
    auto header = [&grid](int c, const char *text, int width, Qt::Alignment alignment) {
        grid.setCol(c);
        grid.setText(QString::fromLatin1(text));
        grid.setColWidth(c, width);
        grid.setColAlignment(c, alignment);
        grid.setBold(true);
        grid.setColor(GridColor::White);
    };
    for (int c = grid.cols() - 1; c >= ResultGrid::Cols; --c) {
        const TechnicalMeasure &m = kTechnicalMeasures[size_t(technicalMeasures[c - ResultGrid::Cols])];
        header(c, m.header, kTechnicalColumnWidth, Qt::AlignRight);
    }
    for (int c = 0; c < ResultGrid::Cols; ++c) {
        const GridColumn &column = kGridColumns[size_t(c)];
        header(c, column.header, column.width, column.alignment);
    }
}

void addResultRow(ResultGrid &grid, const StockRecord &stock, const PersonalAmounts &amounts,
                  const NumberFormat::Symbols &symbols, const TechnicalColumns &technical)
{
    const ResultRowCells cells = resultRowCells(stock, amounts, symbols);
    grid.appendRow(QStringLiteral("*"));
    const int r = grid.rows() - 2;
    grid.setCurrentCell(r, 0);
    grid.setText(QString::number(r));
    grid.setColor(GridColor::White);
    grid.setCol(1);
    grid.setText(cells.text[1]);
    grid.setBold(true);
    for (int c = 2; c < ResultGrid::Cols; ++c) {
        grid.setCol(c);
        grid.setText(cells.text[size_t(c)]);
        grid.setValue(cells.value[size_t(c)]);
        grid.setColor(cells.color[size_t(c)]);
    }
    if (technical.measures.isEmpty())
        return;
    const TechnicalRow *row = technical.table ? technical.table->find(stock.Symbol) : nullptr;
    for (qsizetype i = 0; i < technical.measures.size() && ResultGrid::Cols + i < grid.cols(); ++i) {
        const TechnicalMeasure &m = kTechnicalMeasures[size_t(technical.measures[i])];
        const double value = row ? NumberFormat::roundHalfEven(m.value(*row), 2) : qQNaN();
        grid.setCol(ResultGrid::Cols + int(i));
        grid.setText(std::isnan(value) ? QString() : NumberFormat::general(value, symbols));
        grid.setValue(value);
        grid.setColor(m.bySign ? signColor(value) : GridColor::DarkGrey);
    }
    // The current cell ends on SHARES, wherever the columns go on.
    grid.setCol(ResultGrid::Cols - 1);
}

void addResultRows(ResultGrid &grid, const MarketDatabase &db, const QList<int> &indexes,
                   const PersonalAmounts &amounts, const NumberFormat::Symbols &symbols,
                   const TechnicalColumns &technical)
{
    grid.beginUpdate();
    grid.reserveRows(grid.rows() + int(indexes.size()));
    for (int i : indexes) {
        if (i >= 0 && i < db.listedCount())
            addResultRow(grid, db.Stocks[i], amounts, symbols, technical);
    }
    grid.endUpdate();
}
