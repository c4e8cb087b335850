#pragma once

#include <QColor>
#include <QTableView>

class ResultGrid;

// Shows a ResultGrid: fixed header row and "#" column (the corner included),
// per-cell bold and colour, column widths in twips, and the grid's current
// cell kept in step with the view's current index in both directions. A left
// click on a header cell sorts the listed rows by that column (the "#" header
// brings back the fill's order); the order is shown by a mark in the cell.
// The current cell's text keeps a readable contrast on its grey.
class GridView : public QTableView
{
    Q_OBJECT

public:
    // The grid's look, fixed by design. Its cells are light whatever the
    // palette: the cells' own colours are chosen to read on white.
    static constexpr QColor FixedBackground{0, 128, 128};
    static constexpr QColor CellBackground{255, 255, 255};
    static constexpr QColor CellText{0, 0, 0};
    static constexpr QColor GridLines{192, 192, 255};
    static constexpr QColor SelectedBackground{224, 224, 224};
    static constexpr QColor EmptyArea{192, 192, 192};

    explicit GridView(ResultGrid *grid, QWidget *parent = nullptr);

    ResultGrid *grid() const { return m_grid; }
    int twipsToPixels(int twips) const;
    int rowHeight() const { return m_rowHeight; }
    // Sorts as a click on header cell col does, and tells a screen reader
    // the new order through the grid's description.
    void sortByHeader(int col);

signals:
    // The button released over the grid, coded 1 left, 2 right, 4 middle.
    void mouseReleased(int button);
    // A left double-click, with the modifier keys held.
    void cellDoubleClicked(Qt::KeyboardModifiers modifiers);
    // The Menu key or Shift+F10, which open the Symbol Menu from the keyboard.
    void menuKeyPressed();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    bool event(QEvent *event) override;

private:
    void applyWidths();
    void applyFont();
    void showGridCurrent();
    void paintCorner(QWidget *corner) const;
    void emitReleased(Qt::MouseButton button);
    // The grid column of the header cell at pos in a fixed-cell widget: 0 for
    // the "#" header, -1 for none (the "#" column's cells are no header).
    int headerColumnAt(QObject *watched, const QPoint &pos) const;

    ResultGrid *m_grid;
    QWidget *m_corner = nullptr;
    int m_rowHeight = 0;
    bool m_syncing = false;
    int m_pressedHeader = -1;
};
