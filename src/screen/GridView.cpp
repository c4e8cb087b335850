#include "screen/GridView.h"

#include "screen/ResultGrid.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QScopedValueRollback>
#include <QStyledItemDelegate>

namespace {

QColor toColor(const QVariant &rgb)
{
    const quint32 v = rgb.toUInt();
    return QColor((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
}

// Applies the model's per-cell colour and bold flag.
class CellDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        const QVariant rgb = index.data(ResultGrid::ColorRole);
        if (rgb.isValid())
            option->palette.setColor(QPalette::Text, toColor(rgb));
        if (index.data(ResultGrid::BoldRole).toBool())
            option->font.setBold(true);
    }
};

} // namespace

GridView::GridView(ResultGrid *grid, QWidget *parent) : QTableView(parent), m_grid(grid)
{
    setObjectName(QStringLiteral("Grid"));
    setAccessibleName(tr("Results"));
    setModel(grid);
    setItemDelegate(new CellDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    setCornerButtonEnabled(false);

    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(8.25);
    setFont(font);

    for (QHeaderView *header : {horizontalHeader(), verticalHeader()}) {
        header->setSectionsClickable(false);
        header->setHighlightSections(false);
        header->setSectionResizeMode(QHeaderView::Fixed);
    }
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    verticalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);

    // Fixed cells: teal with white bold text; ordinary cells on the window
    // colour with light blue lines; the empty area beyond the rows in grey.
    setStyleSheet(QStringLiteral(
        "QTableView { gridline-color: rgb(192,192,255); background-color: rgb(192,192,192);"
        " selection-background-color: rgb(224,224,224); selection-color: palette(highlighted-text); }"
        "QTableView::item { background-color: palette(base); }"
        "QTableView::item:selected { background-color: rgb(224,224,224); }"
        "QHeaderView::section { background-color: rgb(0,128,128); color: white; font-weight: bold;"
        " border: 1px solid rgb(0,128,128); padding: 0 2px; }"
        "QTableCornerButton::section { background-color: rgb(0,128,128); border: 1px solid rgb(0,128,128); }"));

    connect(grid, &ResultGrid::columnWidthChanged, this, &GridView::applyWidths);
    connect(grid, &QAbstractItemModel::modelReset, this, [this] {
        applyWidths();
        showGridCurrent();
    });
    connect(grid, &ResultGrid::currentCellChanged, this, &GridView::showGridCurrent);
    applyWidths();
}

int GridView::twipsToPixels(int twips) const
{
    // 1440 twips to the inch; logical DPI follows the font scaling of the screen.
    return qRound(twips * logicalDpiX() / 1440.0);
}

void GridView::applyWidths()
{
    verticalHeader()->setFixedWidth(twipsToPixels(m_grid->colWidth(0)));
    for (int c = 1; c < ResultGrid::Cols; ++c)
        horizontalHeader()->resizeSection(c - 1, twipsToPixels(m_grid->colWidth(c)));
}

void GridView::showGridCurrent()
{
    if (m_syncing || !selectionModel())
        return;
    QScopedValueRollback guard(m_syncing, true);
    const int r = m_grid->row();
    const int c = m_grid->col();
    if (r >= 1 && c >= 1) {
        const QModelIndex idx = m_grid->index(r - 1, c - 1);
        selectionModel()->setCurrentIndex(idx, QItemSelectionModel::ClearAndSelect);
        scrollTo(idx);
    } else {
        selectionModel()->clearCurrentIndex();
        selectionModel()->clearSelection();
    }
}

void GridView::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QTableView::currentChanged(current, previous);
    if (m_syncing || !current.isValid())
        return;
    QScopedValueRollback guard(m_syncing, true);
    m_grid->setCurrentCell(current.row() + 1, current.column() + 1);
}

void GridView::mousePressEvent(QMouseEvent *event)
{
    // Only the left button picks a cell; the others act on the cell that is
    // already current.
    if (event->button() != Qt::LeftButton) {
        event->accept();
        return;
    }
    QTableView::mousePressEvent(event);
}

void GridView::mouseReleaseEvent(QMouseEvent *event)
{
    QTableView::mouseReleaseEvent(event);
    switch (event->button()) {
    case Qt::LeftButton:
        emit mouseReleased(1);
        break;
    case Qt::RightButton:
        emit mouseReleased(2);
        break;
    case Qt::MiddleButton:
        emit mouseReleased(4);
        break;
    default:
        break;
    }
}

void GridView::mouseDoubleClickEvent(QMouseEvent *event)
{
    QTableView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton)
        emit cellDoubleClicked();
}
