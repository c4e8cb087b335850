#include "screen/ResultsExport.h"

#include "market/SafeFile.h"
#include "screen/GridFill.h"
#include "screen/GridSort.h"
#include "screen/ResultGrid.h"

#include <cmath>

namespace ResultsExport {

namespace {

const NumberFormat::Symbols &plainSymbols()
{
    static const NumberFormat::Symbols symbols = [] {
        NumberFormat::Symbols s(QLocale::c());
        s.groupSeparator.clear();
        return s;
    }();
    return symbols;
}

void appendField(QByteArray &out, const QString &field)
{
    const QByteArray bytes = field.toUtf8();
    if (!bytes.contains(',') && !bytes.contains('"') && !bytes.contains('\r') && !bytes.contains('\n')) {
        out += bytes;
        return;
    }
    out += '"';
    for (char c : bytes) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

void appendLine(QByteArray &out, const ResultGrid &grid, int row, bool header)
{
    for (int c = 0; c < grid.cols(); ++c) {
        if (c > 0)
            out += ',';
        appendField(out, header ? grid.text(row, c) : cellText(grid, row, c));
    }
    out += "\r\n";
}

} // namespace

QString cellText(const ResultGrid &grid, int row, int col)
{
    const QString shown = grid.text(row, col);
    const double value = grid.value(row, col);
    if (shown.isEmpty() || std::isnan(value) || col < 0 || col >= grid.cols())
        return shown;
    switch (columnKind(col)) {
    case CellKind::Text:
        return shown;
    case CellKind::Single:
        return NumberFormat::general(float(value), plainSymbols());
    case CellKind::Whole:
        return NumberFormat::grouped(value, plainSymbols());
    case CellKind::Double:
        return NumberFormat::general(value, plainSymbols());
    }
    return shown;
}

QByteArray csv(const ResultGrid &grid)
{
    QByteArray out;
    appendLine(out, grid, 0, true);
    const int n = dataRowCount(grid);
    for (int r = 1; r <= n; ++r)
        appendLine(out, grid, r, false);
    return out;
}

bool write(const ResultGrid &grid, const QString &path, QString *error)
{
    return SafeFile::writeAtomically(path, csv(grid), error);
}

QString defaultFileName(const QString &marketName, const QDate &date)
{
    return marketName + u'-' + date.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(".csv");
}

} // namespace ResultsExport
