#include "screen/ResultGrid.h"

ResultGrid::ResultGrid(QObject *parent) : QAbstractTableModel(parent)
{
    m_rows.resize(2);
    m_widths.fill(900);
}

void ResultGrid::setRows(int count)
{
    count = qMax(1, count);
    if (count == rows())
        return;
    if (m_updating) {
        m_rows.resize(count);
    } else if (count > rows()) {
        beginInsertRows(QModelIndex(), rows() - 1, count - 2);
        m_rows.resize(count);
        endInsertRows();
    } else {
        beginRemoveRows(QModelIndex(), count - 1, rows() - 2);
        m_rows.resize(count);
        endRemoveRows();
    }
    if (m_row >= rows())
        setCurrentCell(rows() - 1, m_col);
}

void ResultGrid::clear()
{
    for (Row &r : m_rows)
        r.fill(Cell{});
    if (!m_updating && rows() > 1) {
        emit dataChanged(index(0, 0), index(rows() - 2, Cols - 2));
        emit headerDataChanged(Qt::Horizontal, 0, Cols - 2);
        emit headerDataChanged(Qt::Vertical, 0, rows() - 2);
    }
}

void ResultGrid::appendRow(const QString &firstCellText)
{
    setRows(rows() + 1);
    m_rows.last()[0].text = firstCellText;
}

void ResultGrid::setCurrentCell(int row, int col)
{
    row = qBound(0, row, rows() - 1);
    col = qBound(0, col, Cols - 1);
    if (row == m_row && col == m_col)
        return;
    m_row = row;
    m_col = col;
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

void ResultGrid::setColWidth(int col, int twips)
{
    if (col < 0 || col >= Cols || m_widths[size_t(col)] == twips)
        return;
    m_widths[size_t(col)] = twips;
    emit columnWidthChanged(col);
}

void ResultGrid::beginUpdate()
{
    if (m_updating++ == 0)
        beginResetModel();
}

void ResultGrid::endUpdate()
{
    if (m_updating > 0 && --m_updating == 0)
        endResetModel();
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
}

int ResultGrid::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : rows() - 1;
}

int ResultGrid::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : Cols - 1;
}

QVariant ResultGrid::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return QVariant();
    const Cell &cell = m_rows[index.row() + 1][size_t(index.column() + 1)];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return cell.text;
    case ColorRole:
        return cell.color == NoColor ? QVariant() : QVariant(cell.color);
    case BoldRole:
        return cell.bold;
    default:
        return QVariant();
    }
}

QVariant ResultGrid::headerData(int section, Qt::Orientation orientation, int role) const
{
    const int row = orientation == Qt::Horizontal ? 0 : section + 1;
    const int col = orientation == Qt::Horizontal ? section + 1 : 0;
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
    default:
        return QVariant();
    }
}

Qt::ItemFlags ResultGrid::flags(const QModelIndex &index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}
