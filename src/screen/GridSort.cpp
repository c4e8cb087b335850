#include "screen/GridSort.h"

#include "screen/GridFill.h"
#include "screen/ResultGrid.h"

#include <QList>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

// Renumbers the moved rows and ends on the last one's SHARES cell.
void finishMove(ResultGrid &grid, int n, const QList<int> &from)
{
    grid.beginUpdate();
    grid.moveRows(1, from);
    for (int r = 1; r <= n; ++r) {
        grid.setCurrentCell(r, 0);
        grid.setText(QString::number(r));
    }
    grid.setCurrentCell(n, ResultGrid::Cols - 1);
    grid.endUpdate();
}

template<typename Key, typename Less>
QList<int> stableOrder(int n, const QList<Key> &keys, const QList<bool> &empty, Less less)
{
    QList<int> order(n);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        if (empty[a] || empty[b])
            return !empty[a] && empty[b];
        return less(keys[a], keys[b]);
    });
    for (int &i : order)
        ++i; // list positions to grid rows
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
    QList<bool> empty(n);
    QList<int> from;
    if (kGridColumns[size_t(col)].kind == CellKind::Text) {
        // Case folded once per row rather than in every comparison.
        QList<QString> keys(n);
        for (int i = 0; i < n; ++i) {
            keys[i] = grid.text(i + 1, col).toCaseFolded();
            empty[i] = keys[i].isEmpty();
        }
        from = stableOrder(n, keys, empty, [ascending](const QString &a, const QString &b) {
            return ascending ? a < b : b < a;
        });
    } else {
        QList<double> keys(n);
        for (int i = 0; i < n; ++i) {
            keys[i] = grid.value(i + 1, col);
            empty[i] = std::isnan(keys[i]) || grid.text(i + 1, col).isEmpty();
        }
        from = stableOrder(n, keys, empty, [ascending](double a, double b) { return ascending ? a < b : b < a; });
    }
    finishMove(grid, n, from);
    grid.setSortIndicator(col, order);
}

void restoreFillOrder(ResultGrid &grid)
{
    const int n = dataRowCount(grid);
    if (n == 0)
        return;
    QList<int> from(n);
    std::iota(from.begin(), from.end(), 1);
    std::sort(from.begin(), from.end(), [&grid](int a, int b) { return grid.fillOrder(a) < grid.fillOrder(b); });
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
