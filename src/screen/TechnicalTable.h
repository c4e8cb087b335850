#pragma once

#include "history/Technicals.h"

#include <QByteArrayView>
#include <QElapsedTimer>
#include <QHash>
#include <QString>

#include <optional>
#include <vector>

// The quote service's technicals table as screens use it: one row per
// symbol, found ignoring case.
class TechnicalTable
{
public:
    TechnicalTable() = default;
    explicit TechnicalTable(std::vector<TechnicalRow> rows);
    // nullopt when the text is not a technicals table.
    static std::optional<TechnicalTable> fromCsv(QByteArrayView text);

    // The symbol's row; nullptr when the table has none.
    const TechnicalRow *find(const QString &symbol) const;
    qsizetype size() const { return m_rows.size(); }

private:
    QHash<QString, TechnicalRow> m_rows; // by upper-case symbol
};

// The table fetched for one screen and kept for the next ones: it describes
// the market as the service saw it, so it is dropped when the market is
// opened or updated again, and it goes stale after MaxAgeMs.
class KeptTechnicals
{
public:
    static constexpr qint64 MaxAgeMs = 10 * 60 * 1000;

    // The kept table while it is fresh; nullptr otherwise.
    const TechnicalTable *table() const { return m_table && !m_age.hasExpired(MaxAgeMs) ? &*m_table : nullptr; }
    void keep(TechnicalTable table)
    {
        m_table = std::move(table);
        m_age.start();
    }
    void forget() { m_table.reset(); }

private:
    std::optional<TechnicalTable> m_table;
    QElapsedTimer m_age;
};
