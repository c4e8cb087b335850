#pragma once

#include <QTableView>

class ResultGrid;

// Shows a ResultGrid: fixed header row and "#" column, per-cell bold and
// colour, column widths in twips, and the grid's current cell kept in step
// with the view's current index in both directions.
class GridView : public QTableView
{
    Q_OBJECT

public:
    explicit GridView(ResultGrid *grid, QWidget *parent = nullptr);

    ResultGrid *grid() const { return m_grid; }
    int twipsToPixels(int twips) const;

signals:
    // The button released over the grid, coded 1 left, 2 right, 4 middle.
    void mouseReleased(int button);
    void cellDoubleClicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;

private:
    void applyWidths();
    void showGridCurrent();

    ResultGrid *m_grid;
    bool m_syncing = false;
};
