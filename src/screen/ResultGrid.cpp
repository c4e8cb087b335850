#include "screen/ResultGrid.h"

ResultGrid::ResultGrid(QObject *parent) : QAbstractTableModel(parent)
{
    m_rows.resize(2);
    m_rows[1].fillOrder = 1;
    m_widths.fill(900);
    m_alignments.fill(Qt::AlignLeft);
}

void ResultGrid::setRows(int count)
{
    count = qMax(1, count);
    if (count == rows())
        return;
    const int before = rows();
    auto grow = [this, before, count] {
        m_rows.resize(count);
        for (int r = before; r < count; ++r)
            m_rows[r].fillOrder = r;
    };
    if (m_updating) {
        grow();
    } else if (count > rows()) {
        beginInsertRows(QModelIndex(), rows() - 1, count - 2);
        grow();
        endInsertRows();
    } else {
        beginRemoveRows(QModelIndex(), count - 1, rows() - 2);
        m_rows.resize(count);
        endRemoveRows();
    }
    if (m_row >= rows())
        setCurrentCell(rows() - 1, m_col);
}

void ResultGrid::reserveRows(int count)
{
    m_rows.reserve(count);
}

void ResultGrid::clear()
{
    for (int r = 0; r < rows(); ++r) {
        m_rows[r].cells.fill(Cell{});
        m_rows[r].fillOrder = r;
    }
    setSortIndicator(-1, Qt::AscendingOrder);
    if (!m_updating) {
        if (rows() > 1)
            emit dataChanged(index(0, 0), index(rows() - 2, Cols - 2));
        emit headerDataChanged(Qt::Horizontal, 0, Cols - 2);
        if (rows() > 1)
            emit headerDataChanged(Qt::Vertical, 0, rows() - 2);
    }
}

void ResultGrid::appendRow(const QString &firstCellText)
{
    setSortIndicator(-1, Qt::AscendingOrder);
    setRows(rows() + 1);
    m_rows.last()[0].text = firstCellText;
    cellChanged(rows() - 1, 0);
}

void ResultGrid::setCurrentCell(int row, int col)
{
    row = qBound(0, row, rows() - 1);
    col = qBound(0, col, Cols - 1);
    if (row == m_row && col == m_col)
        return;
    m_row = row;
    m_col = col;
    // A fill moves the current cell to every cell it writes; views hear only
    // where it ends up.
    if (!m_updating)
        emit currentCellChanged(row, col);
}

QString ResultGrid::text(int row, int col) const
{
    return valid(row, col) ? m_rows[row][size_t(col)].text : QString();
}

bool ResultGrid::bold(int row, int col) const
{
    return valid(row, col) && m_rows[row][size_t(col)].bold;
}

quint32 ResultGrid::color(int row, int col) const
{
    return valid(row, col) ? m_rows[row][size_t(col)].color : NoColor;
}

void ResultGrid::setText(const QString &text)
{
    m_rows[m_row][size_t(m_col)].text = text;
    cellChanged(m_row, m_col);
}

void ResultGrid::setBold(bool bold)
{
    m_rows[m_row][size_t(m_col)].bold = bold;
    cellChanged(m_row, m_col);
}

void ResultGrid::setColor(quint32 rgb)
{
    m_rows[m_row][size_t(m_col)].color = rgb;
    cellChanged(m_row, m_col);
}

double ResultGrid::value(int row, int col) const
{
    return valid(row, col) ? m_rows[row][size_t(col)].value : qQNaN();
}

void ResultGrid::setValue(double value)
{
    // Nothing a view shows changes.
    m_rows[m_row][size_t(m_col)].value = value;
}

void ResultGrid::moveRows(int first, const QList<int> &from)
{
    if (from.isEmpty() || first < 0 || first + from.size() > rows())
        return;
    QList<Row> moved;
    moved.reserve(from.size());
    for (int r : from)
        moved.append(std::move(m_rows[r]));
    if (!m_updating)
        beginResetModel();
    std::move(moved.begin(), moved.end(), m_rows.begin() + first);
    if (!m_updating)
        endResetModel();
}

void ResultGrid::setSortIndicator(int col, Qt::SortOrder order)
{
    col = col >= 1 && col < Cols ? col : -1;
    if (col == m_sortColumn && order == m_sortOrder)
        return;
    const int before = m_sortColumn;
    m_sortColumn = col;
    m_sortOrder = order;
    if (m_updating)
        return;
    for (int c : {before, col}) {
        if (c >= 1)
            emit headerDataChanged(Qt::Horizontal, c - 1, c - 1);
    }
}

void ResultGrid::setColWidth(int col, int twips)
{
    if (!valid(0, col) || m_widths[size_t(col)] == twips)
        return;
    m_widths[size_t(col)] = twips;
    emit columnWidthChanged(col);
}

Qt::Alignment ResultGrid::colAlignment(int col) const
{
    return valid(0, col) ? m_alignments[size_t(col)] : Qt::Alignment(Qt::AlignLeft);
}

void ResultGrid::setColAlignment(int col, Qt::Alignment alignment)
{
    if (!valid(0, col) || m_alignments[size_t(col)] == alignment)
        return;
    m_alignments[size_t(col)] = alignment;
    if (!m_updating && col > 0 && rows() > 1)
        emit dataChanged(index(0, col - 1), index(rows() - 2, col - 1), {Qt::TextAlignmentRole});
}

void ResultGrid::beginUpdate()
{
    if (m_updating++ == 0) {
        m_rowBeforeUpdate = m_row;
        m_colBeforeUpdate = m_col;
        beginResetModel();
    }
}

void ResultGrid::endUpdate()
{
    if (m_updating == 0 || --m_updating > 0)
        return;
    endResetModel();
    if (m_row != m_rowBeforeUpdate || m_col != m_colBeforeUpdate)
        emit currentCellChanged(m_row, m_col);
}

void ResultGrid::cellChanged(int row, int col)
{
    if (m_updating)
        return;
    if (row == 0 && col > 0)
        emit headerDataChanged(Qt::Horizontal, col - 1, col - 1);
    else if (col == 0 && row > 0)
        emit headerDataChanged(Qt::Vertical, row - 1, row - 1);
    else if (row > 0 && col > 0)
        emit dataChanged(index(row - 1, col - 1), index(row - 1, col - 1));
    // Cell (0, 0) is no model item; the view reads it when it paints.
}

int ResultGrid::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : rows() - 1;
}

int ResultGrid::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : Cols - 1;
}

QVariant ResultGrid::cellData(int row, int col, int role) const
{
    if (!valid(row, col))
        return QVariant();
    const Cell &cell = m_rows[row][size_t(col)];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return cell.text;
    case ColorRole:
        return cell.color == NoColor ? QVariant() : QVariant(cell.color);
    case BoldRole:
        return cell.bold;
    case Qt::TextAlignmentRole:
        return row > 0 && col > 0 ? QVariant(int(m_alignments[size_t(col)] | Qt::AlignVCenter))
                                  : QVariant(int(Qt::AlignLeft | Qt::AlignVCenter));
    default:
        return QVariant();
    }
}

QVariant ResultGrid::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.model() != this)
        return QVariant();
    return cellData(index.row() + 1, index.column() + 1, role);
}

QVariant ResultGrid::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (section < 0)
        return QVariant();
    if (role == SortRole)
        return orientation == Qt::Horizontal && section + 1 == m_sortColumn ? QVariant(int(m_sortOrder)) : QVariant();
    if (orientation == Qt::Horizontal)
        return cellData(0, section + 1, role);
    return cellData(section + 1, 0, role);
}

Qt::ItemFlags ResultGrid::flags(const QModelIndex &index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}
