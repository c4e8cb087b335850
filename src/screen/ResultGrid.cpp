#include "screen/ResultGrid.h"

ResultGrid::ResultGrid(QObject *parent)
    : QAbstractTableModel(parent)
{
    resizeRows(2);
    m_widths.fill(900, Cols);
    m_alignments.fill(Qt::AlignLeft, Cols);
}

void ResultGrid::resizeRows(int count)
{
    const int before = rows();
    if (count < before) {
        // The storage of the rows that stay must be the first count entries.
        bool inPlace = true;
        for (int r = 0; r < count && inPlace; ++r)
            inPlace = m_order[r] < count;
        if (!inPlace) {
            QList<Row> kept;
            kept.reserve(count);
            for (int r = 0; r < count; ++r) {
                kept.append(std::move(m_rows[m_order[r]]));
                m_order[r] = r;
            }
            m_rows = std::move(kept);
        }
        m_rows.resize(count);
        m_order.resize(count);
        m_fixed.resize(count);
        return;
    }
    m_rows.resize(count);
    m_order.resize(count);
    m_fixed.resize(count);
    for (int r = before; r < count; ++r) {
        m_order[r] = r;
        m_rows[r].fillOrder = r;
        if (m_cols > Cols)
            m_rows[r].extra.resize(m_cols - Cols);
    }
}

void ResultGrid::setCols(int count)
{
    count = qMax(int(Cols), count);
    if (count == m_cols)
        return;
    if (!m_updating)
        beginResetModel();
    m_cols = count;
    for (Row &row : m_rows)
        row.extra.resize(count - Cols);
    m_widths.resize(count, 900);
    m_alignments.resize(count, Qt::AlignLeft);
    if (m_sortColumn >= count)
        m_sortColumn = -1;
    m_col = qMin(m_col, count - 1);
    if (!m_updating)
        endResetModel();
}

void ResultGrid::setRows(int count)
{
    count = qMax(1, count);
    if (count == rows())
        return;
    if (m_updating) {
        resizeRows(count);
    } else if (count > rows()) {
        beginInsertRows(QModelIndex(), rows() - 1, count - 2);
        resizeRows(count);
        endInsertRows();
    } else {
        beginRemoveRows(QModelIndex(), count - 1, rows() - 2);
        resizeRows(count);
        endRemoveRows();
    }
    if (m_row >= rows())
        setCurrentCell(rows() - 1, m_col);
}

void ResultGrid::reserveRows(int count)
{
    m_rows.reserve(count);
    m_order.reserve(count);
    m_fixed.reserve(count);
}

void ResultGrid::clear()
{
    // Every row is blank afterwards, so storage and grid order may agree again.
    for (int r = 0; r < rows(); ++r) {
        m_rows[r].cells.fill(Cell{});
        m_rows[r].extra.fill(Cell{});
        m_rows[r].fillOrder = r;
        m_order[r] = r;
        m_fixed[r] = Cell{};
    }
    setSortIndicator(-1, Qt::AscendingOrder);
    if (!m_updating) {
        if (rows() > 1)
            emit dataChanged(index(0, 0), index(rows() - 2, m_cols - 2));
        emit headerDataChanged(Qt::Horizontal, 0, m_cols - 2);
        if (rows() > 1)
            emit headerDataChanged(Qt::Vertical, 0, rows() - 2);
    }
}

void ResultGrid::appendRow(const QString &firstCellText)
{
    setSortIndicator(-1, Qt::AscendingOrder);
    setRows(rows() + 1);
    m_fixed.last().text = firstCellText;
    cellChanged(rows() - 1, 0);
}

ResultGrid::Cell &ResultGrid::cell(int row, int col)
{
    if (col == 0)
        return m_fixed[row];
    Row &r = m_rows[m_order[row]];
    return col < Cols ? r.cells[size_t(col)] : r.extra[col - Cols];
}

const ResultGrid::Cell &ResultGrid::cell(int row, int col) const
{
    if (col == 0)
        return m_fixed[row];
    const Row &r = m_rows[m_order[row]];
    return col < Cols ? r.cells[size_t(col)] : r.extra[col - Cols];
}

int ResultGrid::fillOrder(int row) const
{
    return row >= 0 && row < rows() ? m_rows[m_order[row]].fillOrder : -1;
}

void ResultGrid::setCurrentCell(int row, int col)
{
    row = qBound(0, row, rows() - 1);
    col = qBound(0, col, m_cols - 1);
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
    return valid(row, col) ? cell(row, col).text : QString();
}

bool ResultGrid::bold(int row, int col) const
{
    return valid(row, col) && cell(row, col).bold;
}

quint32 ResultGrid::color(int row, int col) const
{
    return valid(row, col) ? cell(row, col).color : NoColor;
}

void ResultGrid::setText(const QString &text)
{
    cell(m_row, m_col).text = text;
    cellChanged(m_row, m_col);
}

void ResultGrid::setBold(bool bold)
{
    cell(m_row, m_col).bold = bold;
    cellChanged(m_row, m_col);
}

void ResultGrid::setColor(quint32 rgb)
{
    cell(m_row, m_col).color = rgb;
    cellChanged(m_row, m_col);
}

double ResultGrid::value(int row, int col) const
{
    return valid(row, col) ? cell(row, col).value : qQNaN();
}

void ResultGrid::setValue(double value)
{
    // Nothing a view shows changes.
    cell(m_row, m_col).value = value;
}

void ResultGrid::permuteRows(int first, const QList<int> &from)
{
    if (from.isEmpty() || first < 1 || first + from.size() > rows())
        return;
    // Only the order changes: no cell is copied. Anything but a permutation
    // of the range would lose rows, so it is refused.
    QList<bool> seen(from.size(), false);
    QList<int> order(from.size());
    for (qsizetype i = 0; i < from.size(); ++i) {
        const qsizetype k = from[i] - first;
        if (k < 0 || k >= from.size() || seen[k])
            return;
        seen[k] = true;
        order[i] = m_order[from[i]];
    }
    if (!m_updating)
        beginResetModel();
    std::copy(order.begin(), order.end(), m_order.begin() + first);
    if (!m_updating)
        endResetModel();
}

void ResultGrid::setSortIndicator(int col, Qt::SortOrder order)
{
    col = col >= 1 && col < m_cols ? col : -1;
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
    if (!valid(0, col) || m_widths[col] == twips)
        return;
    m_widths[col] = twips;
    emit columnWidthChanged(col);
}

Qt::Alignment ResultGrid::colAlignment(int col) const
{
    return valid(0, col) ? m_alignments[col] : Qt::Alignment(Qt::AlignLeft);
}

void ResultGrid::setColAlignment(int col, Qt::Alignment alignment)
{
    if (!valid(0, col) || m_alignments[col] == alignment)
        return;
    m_alignments[col] = alignment;
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
    return parent.isValid() ? 0 : m_cols - 1;
}

QVariant ResultGrid::cellData(int row, int col, int role) const
{
    if (!valid(row, col))
        return QVariant();
    const Cell &cell = this->cell(row, col);
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return cell.text;
    case ColorRole:
        return cell.color == NoColor ? QVariant() : QVariant(cell.color);
    case BoldRole:
        return cell.bold;
    case Qt::TextAlignmentRole:
        return row > 0 && col > 0 ? QVariant(int(m_alignments[col] | Qt::AlignVCenter))
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
