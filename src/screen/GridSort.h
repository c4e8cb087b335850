#pragma once

#include <QString>

class ResultGrid;

// Sorting the result grid's listed rows. Only the data rows move: the header
// stays on top and the "*" marker row stays last. After every sort the rows
// are numbered 1..n again and the first row is current, in the sorted column
// (the current column when the fill's order comes back).

// The listed rows: 1 .. n, followed by the marker row (0 for an empty grid).
int dataRowCount(const ResultGrid &grid);

// Sorts by a column 1.. (the technical ones included), stably. SYMBOL compares its text ignoring case,
// every other column the number its cells show; an empty cell (or one that
// shows no number) sorts last in both orders.
void sortResultRows(ResultGrid &grid, int col, Qt::SortOrder order);

// Puts the rows back in the order of the fill that wrote them.
void restoreFillOrder(ResultGrid &grid);

// A click on header cell col: "#" restores the fill's order; a column sorts
// ascending, and descending when it is already sorted ascending. Nothing
// happens while no row is listed.
void sortByHeaderClick(ResultGrid &grid, int col);

// What a screen reader says of the rows' order: "Sorted by LAST, descending",
// or "Sorted in the order listed" when they are not sorted.
QString sortAnnouncement(const ResultGrid &grid);
