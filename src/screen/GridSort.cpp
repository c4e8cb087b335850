#include "screen/GridSort.h"

#include "screen/GridFill.h"
#include "screen/ResultGrid.h"

#include <QList>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// The "#" column stays in place, so the moved rows are numbered 1..n as they
// now stand; the current cell ends on the last one's SHARES cell.
void finishMove(ResultGrid &grid, int n, const QList<int> &from)
{
    grid.beginUpdate();
    grid.moveRows(1, from);
    grid.setCurrentCell(n, ResultGrid::Cols - 1);
    grid.endUpdate();
}

// One row's sort key, kept beside the row so the sort reads nothing else.
template<typename Key>
struct Keyed
{
    Key key;
    bool empty;
    int row;
};

// A text key: the first four UTF-16 units as one number settle almost every
// comparison of stock symbols; the whole text decides the rest. Both compare
// code unit by code unit, so they agree.
struct TextKey
{
    quint64 prefix = 0;
    QString text;

    explicit TextKey(QString folded) : text(std::move(folded))
    {
        for (qsizetype i = 0; i < 4; ++i)
            prefix = (prefix << 16) | (i < text.size() ? text[i].unicode() : 0u);
    }
    bool operator<(const TextKey &o) const { return prefix != o.prefix ? prefix < o.prefix : text < o.text; }
};

template<typename Key>
QList<int> stableOrder(std::vector<Keyed<Key>> &keys, bool ascending)
{
    std::stable_sort(keys.begin(), keys.end(), [ascending](const Keyed<Key> &a, const Keyed<Key> &b) {
        if (a.empty || b.empty)
            return !a.empty && b.empty;
        return ascending ? a.key < b.key : b.key < a.key;
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
    if (n == 0 || col < 1 || col >= ResultGrid::Cols)
        return;
    const bool ascending = order == Qt::AscendingOrder;
    QList<int> from;
    if (kGridColumns[size_t(col)].kind == CellKind::Text) {
        std::vector<Keyed<TextKey>> keys;
        keys.reserve(size_t(n));
        for (int r = 1; r <= n; ++r) {
            TextKey key(grid.text(r, col).toCaseFolded());
            const bool empty = key.text.isEmpty();
            keys.push_back({std::move(key), empty, r});
        }
        from = stableOrder(keys, ascending);
    } else {
        std::vector<Keyed<double>> keys;
        keys.reserve(size_t(n));
        for (int r = 1; r <= n; ++r) {
            const double v = grid.value(r, col);
            keys.push_back({v, std::isnan(v), r});
        }
        from = stableOrder(keys, ascending);
    }
    finishMove(grid, n, from);
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
    finishMove(grid, n, from);
    grid.setSortIndicator(-1, Qt::AscendingOrder);
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
