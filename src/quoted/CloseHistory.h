#pragma once

#include <QByteArray>
#include <QDate>
#include <QHash>
#include <QMap>
#include <QString>

#include <optional>

// The last close of each symbol for each trading date, as the quote service
// keeps it between runs so that a day's change is known from the second day
// on. A few dates per symbol are kept.
//
// File: UTF-8 text, lines starting with "#" ignored, then "symbol,date,close"
// rows such as "AAPL,2026-12-04,191.23". Rows that do not read are skipped.
class CloseHistory
{
public:
    static constexpr int KeptDates = 5;

    // True when the close is new or different.
    bool record(const QByteArray &key, QDate date, double close);
    // The close of the trading day before date (weekends and exchange
    // holidays skipped). When the service did not see that day close the
    // answer is nullopt rather than a change over two days.
    std::optional<double> previousClose(const QByteArray &key, QDate date) const;
    qsizetype symbolCount() const { return m_closes.size(); }

    QByteArray toText() const;
    static CloseHistory fromText(QByteArrayView text);
    // A missing or empty file is an empty history; one that cannot be read,
    // or does not begin as this class writes it, is an error.
    static std::optional<CloseHistory> load(const QString &path, QString *error = nullptr);
    // Replaces the file atomically.
    bool save(const QString &path, QString *error = nullptr) const;

private:
    QHash<QByteArray, QMap<QDate, double>> m_closes;
};
