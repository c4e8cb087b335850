#include "screen/TechnicalTable.h"

#include "history/HistoryCsv.h"

TechnicalTable::TechnicalTable(std::vector<TechnicalRow> rows)
{
    m_rows.reserve(qsizetype(rows.size()));
    // A symbol listed twice keeps its later row, as a later quote replaces an earlier one.
    for (TechnicalRow &row : rows) {
        const QString key = row.symbol.toUpper();
        m_rows.insert(key, std::move(row));
    }
}

std::optional<TechnicalTable> TechnicalTable::fromCsv(QByteArrayView text)
{
    std::optional<std::vector<TechnicalRow>> rows = parseTechnicalsCsv(text);
    if (!rows)
        return std::nullopt;
    return TechnicalTable(std::move(*rows));
}

const TechnicalRow *TechnicalTable::find(const QString &symbol) const
{
    const auto it = m_rows.constFind(symbol.toUpper());
    return it == m_rows.cend() ? nullptr : &*it;
}
