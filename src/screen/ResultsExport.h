#pragma once

#include <QByteArray>
#include <QDate>
#include <QString>

class ResultGrid;

// "Export Results...": the result grid's header and listed rows as CSV
// (RFC 4180: commas, fields quoted only when they hold a comma, a quote or a
// line break, CRLF line ends), UTF-8 without a byte-order mark. Rows come in
// the order shown, numbers with "." as the decimal point and no grouping
// whatever the locale, so spreadsheets read them as numbers; empty cells stay
// empty.
namespace ResultsExport {

// One cell as written: the text for the "#" and SYMBOL columns, the number
// behind a numeric cell in the grid's own general format otherwise.
QString cellText(const ResultGrid &grid, int row, int col);

QByteArray csv(const ResultGrid &grid);

// Writes the file atomically: on failure no file, or the old one, stays, and
// *error says why. A read-only mark on the file or its folder is honoured even
// for a user whom the system would let write.
bool write(const ResultGrid &grid, const QString &path, QString *error = nullptr);

// "<market>-<yyyy-MM-dd>.csv".
QString defaultFileName(const QString &marketName, const QDate &date);

} // namespace ResultsExport
