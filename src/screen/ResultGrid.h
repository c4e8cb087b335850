#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QString>

#include <array>

// The result grid's cells, addressed like the grid the program has always
// had: row 0 is the fixed header row and column 0 the fixed "#" column, and
// text, bold and colour act on the current cell. As a Qt model it shows only
// the ordinary cells (grid rows 1.., columns 1..); the fixed row and column
// are its horizontal and vertical header texts, so they stay in view while
// the grid scrolls and can never be selected. Cell (0, 0) has no model index;
// the view paints it in its corner.
class ResultGrid : public QAbstractTableModel
{
    Q_OBJECT

public:
    // The columns of the grid's own layout; columns after them (technical
    // ones) are added with setCols.
    static constexpr int Cols = 11;
    static constexpr quint32 NoColor = 0xFFFFFFFFu;

    // Extra model roles: the cell's text colour (0xRRGGBB, or NoColor for the
    // view's default) and whether it is bold; for a header cell, the order the
    // grid is sorted in by that column (none when it is not).
    enum Role { ColorRole = Qt::UserRole + 1, BoldRole, SortRole };

    explicit ResultGrid(QObject *parent = nullptr);

    // Grid-style access; rows and columns include the fixed ones. There is
    // always at least the header row.
    int rows() const { return int(m_order.size()); }
    void setRows(int count);
    void reserveRows(int count); // capacity only, for long fills
    void clear();                // texts and formatting of every cell; counts stay
    void appendRow(const QString &firstCellText);
    // Columns, the fixed one included: at least Cols. A change resets views
    // (once, inside beginUpdate/endUpdate); added columns start blank.
    int cols() const { return m_cols; }
    void setCols(int count);

    // The current cell always lies inside the grid: setters clamp to it, and
    // a shrinking row count pulls the current row up.
    int row() const { return m_row; }
    int col() const { return m_col; }
    void setRow(int row) { setCurrentCell(row, m_col); }
    void setCol(int col) { setCurrentCell(m_row, col); }
    void setCurrentCell(int row, int col);

    QString text() const { return text(m_row, m_col); }
    QString text(int row, int col) const;
    bool bold(int row, int col) const;
    quint32 color(int row, int col) const;
    void setText(const QString &text);
    void setBold(bool bold);
    void setColor(quint32 rgb);
    // The number a cell shows, kept beside its text for sorting and export;
    // NaN when it shows none.
    double value(int row, int col) const;
    void setValue(double value);

    // Where a row stood when it was added: rows keep it when they are moved,
    // so the order of the fill can be brought back.
    int fillOrder(int row) const;
    // Moves rows: row first + i gets what was row from[i], from being a
    // permutation of first .. first + from.size() - 1 (first >= 1). The fixed
    // "#" column stays where it is: it numbers positions, not rows. Views are
    // reset once.
    void permuteRows(int first, const QList<int> &from);

    // The column the rows are sorted by and its order, shown in the header;
    // column -1 when they are not sorted. Clearing the grid or appending a
    // row forgets it.
    int sortColumn() const { return m_sortColumn; }
    Qt::SortOrder sortOrder() const { return m_sortOrder; }
    void setSortIndicator(int col, Qt::SortOrder order);

    int colWidth(int col) const { return valid(0, col) ? m_widths[col] : 0; } // twips
    void setColWidth(int col, int twips);
    // Horizontal alignment of a column's ordinary cells (left by default).
    Qt::Alignment colAlignment(int col) const;
    void setColAlignment(int col, Qt::Alignment alignment);

    // Bulk fills: between beginUpdate and endUpdate (which nest) the model
    // emits no signals at all; endUpdate resets the views once and then
    // reports the current cell if it moved.
    void beginUpdate();
    void endUpdate();
    bool updating() const { return m_updating > 0; }

    // QAbstractItemModel
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

signals:
    void currentCellChanged(int row, int col);
    void columnWidthChanged(int col);

private:
    struct Cell
    {
        QString text;
        double value = qQNaN();
        quint32 color = NoColor;
        bool bold = false;
    };
    // Columns 1.. of one row (slot 0 is unused), the added columns beyond
    // Cols (none in the usual layout, so a row costs no more than before),
    // and where the row stood when it was added.
    struct Row
    {
        std::array<Cell, Cols> cells;
        QList<Cell> extra;
        int fillOrder = 0;
    };

    bool valid(int row, int col) const { return row >= 0 && row < rows() && col >= 0 && col < m_cols; }
    Cell &cell(int row, int col);
    const Cell &cell(int row, int col) const;
    void resizeRows(int count);
    void cellChanged(int row, int col);
    QVariant cellData(int row, int col, int role) const;

    // Rows are stored in the order they were made and shown through m_order
    // (grid row to storage index), so sorting moves indexes, not cells.
    QList<Row> m_rows;
    QList<int> m_order;
    QList<Cell> m_fixed; // column 0, by grid row
    int m_cols = Cols;
    QList<int> m_widths;
    QList<Qt::Alignment> m_alignments;
    int m_row = 0;
    int m_col = 0;
    int m_updating = 0;
    int m_rowBeforeUpdate = 0;
    int m_colBeforeUpdate = 0;
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
};
