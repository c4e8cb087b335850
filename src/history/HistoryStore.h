#pragma once

#include "history/DailyBar.h"
#include "history/Technicals.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

// The price history: daily bars of every symbol, and each symbol's indicators
// recomputed whenever its bars change, in one SQLite file ("history.sqlite"
// beside the market files) through Qt's SQL module. The file is in WAL mode,
// so the quote service writes while the program reads; each process opens its
// own HistoryStore. A file that is not a history store (damaged, another
// program's database, a newer layout) is refused and never written.
//
// Not thread-safe: one HistoryStore belongs to the thread that opened it.
class HistoryStore
{
public:
    static constexpr char kFileName[] = "history.sqlite";

    enum class Mode { ReadOnly, ReadWrite };

    // Opens the store at path; ReadWrite creates it when nothing exists there.
    // nullptr and why (naming the file) when it cannot be opened or is refused.
    static std::unique_ptr<HistoryStore> open(const QString &path, Mode mode, QString *error = nullptr);
    ~HistoryStore();
    HistoryStore(const HistoryStore &) = delete;
    HistoryStore &operator=(const HistoryStore &) = delete;

    QString path() const;

    // Merges bars into the store in one transaction: a bar replaces the one of
    // its symbol and date, others are kept. Then recomputes the indicators of
    // every symbol given. False and why when anything failed; the store is
    // then as it was.
    bool addBars(const QHash<QString, BarSeries> &bySymbol, QString *error = nullptr);

    // A symbol's bars from a date on (all when from is null), ascending.
    BarSeries bars(const QString &symbol, QDate from = QDate()) const;
    bool hasBars(const QString &symbol) const;
    // Every symbol with bars, sorted.
    QStringList symbols() const;
    // The newest and oldest dates of any bar; null when the store is empty.
    QDate newestDate() const;
    QDate oldestDate() const;
    // How many bars the store holds.
    qint64 barCount() const;

    // The stored indicators of every symbol, sorted by symbol.
    std::vector<TechnicalRow> technicals() const;
    std::optional<TechnicalRow> technicals(const QString &symbol) const;

    // A small key/value table for the service's own progress (the backfill),
    // written in its own transaction. Empty text when the key is unset.
    QString state(const QString &key) const;
    bool setState(const QString &key, const QString &value, QString *error = nullptr);

private:
    struct Private;
    explicit HistoryStore(std::unique_ptr<Private> d);
    std::unique_ptr<Private> d;
};

// The default store of a data folder: <folder>/history.sqlite.
QString historyStorePath(const QString &dataFolder);
