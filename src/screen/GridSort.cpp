#include "screen/GridSort.h"

#include "screen/GridFill.h"
#include "screen/ResultGrid.h"

#include <QList>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// The "#" column stays in place, so the moved rows are numbered 1..n as they
// now stand. The current cell ends on the first row, in column col, so the
// grid shows the top of the new order and sorting that column again reverses it.
void finishMove(ResultGrid &grid, int col, const QList<int> &from)
{
    grid.beginUpdate();
    grid.permuteRows(1, from);
    grid.setCurrentCell(1, col);
    grid.endUpdate();
}

// One row's sort key, kept beside the row so the sort reads nothing else.
template <typename Key> struct Keyed
{
    Key key;
    bool empty;
    int row;
};

// The first four UTF-16 units of a text, case folded, as one number: it
// settles almost every comparison of stock symbols without touching the
// texts. It orders as the case-insensitive comparison does, unit by unit, so
// the whole texts need comparing only when it ties.
quint64 foldedPrefix(const QString &text)
{
    quint64 prefix = 0;
    for (qsizetype i = 0; i < 4; ++i)
        prefix = (prefix << 16) | (i < text.size() ? QChar::toCaseFolded(text[i].unicode()) : 0u);
    return prefix;
}

// Stable, ascending or descending by less, empty keys last either way.
template <typename Key, typename Less> QList<int> stableOrder(std::vector<Keyed<Key>> &keys, bool ascending, Less less)
{
    std::stable_sort(keys.begin(), keys.end(), [ascending, &less](const Keyed<Key> &a, const Keyed<Key> &b) {
        if (a.empty || b.empty)
            return !a.empty && b.empty;
        return ascending ? less(a, b) : less(b, a);
    });
    QList<int> order;
    order.reserve(qsizetype(keys.size()));
    for (const Keyed<Key> &k : keys)
        order.append(k.row);
    return order;
}

} // namespace

int dataRowCount(const ResultGrid &grid)
{
    const int rows = grid.rows();
    return rows >= 3 && grid.text(rows - 1, 0) == QLatin1String("*") ? rows - 2 : 0;
}

void sortResultRows(ResultGrid &grid, int col, Qt::SortOrder order)
{
    const int n = dataRowCount(grid);
    if (n == 0 || col < 1 || col >= grid.cols())
        return;
    const bool ascending = order == Qt::AscendingOrder;
    QList<int> from;
    if (columnKind(col) == CellKind::Text) {
        std::vector<QString> texts(size_t(n) + 1); // by row; shares the cells' texts
        std::vector<Keyed<quint64>> keys;
        keys.reserve(size_t(n));
        for (int r = 1; r <= n; ++r) {
            texts[size_t(r)] = grid.text(r, col);
            keys.push_back({foldedPrefix(texts[size_t(r)]), texts[size_t(r)].isEmpty(), r});
        }
        from = stableOrder(keys, ascending, [&texts](const Keyed<quint64> &a, const Keyed<quint64> &b) {
            if (a.key != b.key)
                return a.key < b.key;
            return QString::compare(texts[size_t(a.row)], texts[size_t(b.row)], Qt::CaseInsensitive) < 0;
        });
    } else {
        std::vector<Keyed<double>> keys;
        keys.reserve(size_t(n));
        for (int r = 1; r <= n; ++r) {
            const double v = grid.value(r, col);
            keys.push_back({v, std::isnan(v), r});
        }
        from =
            stableOrder(keys, ascending, [](const Keyed<double> &a, const Keyed<double> &b) { return a.key < b.key; });
    }
    finishMove(grid, col, from);
    grid.setSortIndicator(col, order);
}

void restoreFillOrder(ResultGrid &grid)
{
    const int n = dataRowCount(grid);
    if (n == 0)
        return;
    // Fill orders are distinct and below the row count: place each row by its own.
    QList<int> byOrder(grid.rows(), 0);
    for (int r = 1; r <= n; ++r) {
        const int o = grid.fillOrder(r);
        if (o < 0 || o >= grid.rows() || byOrder[o] != 0)
            return; // not a fill's rows: leave them
        byOrder[o] = r;
    }
    QList<int> from;
    from.reserve(n);
    for (int r : std::as_const(byOrder)) {
        if (r != 0)
            from.append(r);
    }
    finishMove(grid, grid.col() >= 1 ? grid.col() : ResultGrid::Cols - 1, from);
    grid.setSortIndicator(-1, Qt::AscendingOrder);
}

QString sortAnnouncement(const ResultGrid &grid)
{
    const int col = grid.sortColumn();
    if (col < 1 || col >= grid.cols())
        return QStringLiteral("Sorted in the order listed");
    return QStringLiteral("Sorted by %1, %2")
        .arg(grid.text(0, col),
             grid.sortOrder() == Qt::AscendingOrder ? QStringLiteral("ascending") : QStringLiteral("descending"));
}

void sortByHeaderClick(ResultGrid &grid, int col)
{
    if (col == 0) {
        restoreFillOrder(grid);
        return;
    }
    const bool again = grid.sortColumn() == col && grid.sortOrder() == Qt::AscendingOrder;
    sortResultRows(grid, col, again ? Qt::DescendingOrder : Qt::AscendingOrder);
}
