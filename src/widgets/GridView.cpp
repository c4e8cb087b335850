#include "widgets/GridView.h"

#include "screen/Contrast.h"
#include "screen/GridSort.h"
#include "screen/ResultGrid.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QProxyStyle>
#include <QScopedValueRollback>
#include <QStyledItemDelegate>

namespace {

QColor toColor(const QVariant &rgb, const QColor &fallback)
{
    if (!rgb.isValid())
        return fallback;
    const quint32 v = rgb.toUInt();
    return QColor(int((v >> 16) & 0xFF), int((v >> 8) & 0xFF), int(v & 0xFF));
}

// A fixed cell: teal, its lines in the same teal, text in the cell's colour
// (the palette's button text when it has none) and weight, a small margin.
void paintFixedCell(QPainter *painter, const QRect &rect, const QFont &font, const QColor &defaultText,
                    const QVariant &text, const QVariant &rgb, bool bold)
{
    painter->save();
    painter->fillRect(rect, GridView::FixedBackground);
    QFont f = font;
    f.setBold(bold);
    painter->setFont(f);
    painter->setPen(toColor(rgb, defaultText));
    painter->drawText(rect.adjusted(3, 0, -2, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                      text.toString());
    painter->restore();
}

// The header row and the "#" column, drawn from the grid's own cells.
class FixedCellHeader : public QHeaderView
{
public:
    using QHeaderView::QHeaderView;

protected:
    void paintEvent(QPaintEvent *event) override
    {
        QHeaderView::paintEvent(event);
        // Past the last section the header shows the grid's empty grey.
        const int end = length() - offset();
        QRect beyond = viewport()->rect();
        if (orientation() == Qt::Horizontal)
            beyond.setLeft(end);
        else
            beyond.setTop(end);
        if (beyond.isValid()) {
            QPainter painter(viewport());
            painter.fillRect(beyond, GridView::EmptyArea);
        }
    }

    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override
    {
        if (!rect.isValid() || !model())
            return;
        const Qt::Orientation o = orientation();
        const QVariant rgb = model()->headerData(logicalIndex, o, ResultGrid::ColorRole);
        paintFixedCell(painter, rect, font(), palette().color(QPalette::ButtonText),
                       model()->headerData(logicalIndex, o, Qt::DisplayRole), rgb,
                       model()->headerData(logicalIndex, o, ResultGrid::BoldRole).toBool());
        const QVariant sorted = model()->headerData(logicalIndex, o, ResultGrid::SortRole);
        if (sorted.isValid())
            paintSortIndicator(painter, rect, toColor(rgb, palette().color(QPalette::ButtonText)),
                               Qt::SortOrder(sorted.toInt()));
    }

    // A small triangle at the right of the cell, pointing up for ascending;
    // the heading's text stays as it is.
    static void paintSortIndicator(QPainter *painter, const QRect &rect, const QColor &color, Qt::SortOrder order)
    {
        const int w = qMin(7, rect.width() / 3);
        const int h = (w + 1) / 2;
        const int right = rect.right() - 2;
        const int top = rect.center().y() - h / 2;
        QPolygon arrow;
        if (order == Qt::AscendingOrder)
            arrow << QPoint(right - w, top + h) << QPoint(right, top + h) << QPoint(right - w / 2, top);
        else
            arrow << QPoint(right - w, top) << QPoint(right, top) << QPoint(right - w / 2, top + h);
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing, false);
        painter->setPen(color);
        painter->setBrush(color);
        painter->drawPolygon(arrow);
        painter->restore();
    }
};

// Ordinary cells: black on white, the cell's own text colour and weight, and
// the grid's light grey for the selected cell, its text kept readable there.
class CellDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const bool selected = opt.state.testFlag(QStyle::State_Selected);
        const bool focus = opt.state.testFlag(QStyle::State_HasFocus);
        painter->fillRect(opt.rect, selected ? GridView::SelectedBackground : GridView::CellBackground);
        // Styles tint their own focus frame; the grid keeps a plain dotted one.
        opt.state.setFlag(QStyle::State_Selected, false);
        opt.state.setFlag(QStyle::State_HasFocus, false);
        opt.backgroundBrush = Qt::NoBrush;
        QColor text = toColor(index.data(ResultGrid::ColorRole), GridView::CellText);
        if (selected)
            text = QColor::fromRgb(readableOn(GridView::SelectedBackground.rgb() & 0xFFFFFF, text.rgb() & 0xFFFFFF));
        opt.palette.setColor(QPalette::Text, text);
        opt.palette.setColor(QPalette::WindowText, text);
        if (index.data(ResultGrid::BoldRole).toBool())
            opt.font.setBold(true);
        const QWidget *widget = opt.widget;
        QStyle *style = widget ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
        if (focus) {
            painter->save();
            painter->setPen(QPen(GridView::CellText, 1, Qt::DotLine));
            painter->drawRect(opt.rect.adjusted(0, 0, -1, -1));
            painter->restore();
        }
    }
};

// Gives the lines between ordinary cells their light blue in any style.
class GridLineStyle : public QProxyStyle
{
public:
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *returnData) const override
    {
        if (hint == SH_Table_GridLineColor)
            return int(GridView::GridLines.rgba());
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

} // namespace

GridView::GridView(ResultGrid *grid, QWidget *parent)
    : QTableView(parent)
    , m_grid(grid)
{
    setObjectName(QStringLiteral("Grid"));
    setAccessibleName(tr("Results"));

    auto *style = new GridLineStyle;
    style->setParent(this);
    setStyle(style);

    setHorizontalHeader(new FixedCellHeader(Qt::Horizontal, this));
    setVerticalHeader(new FixedCellHeader(Qt::Vertical, this));
    setModel(grid);
    setItemDelegate(new CellDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    setTextElideMode(Qt::ElideNone);
    setCornerButtonEnabled(false);
    // Tab leaves the grid for the window's next control; arrows move within it.
    setTabKeyNavigation(false);
    setShowGrid(true);
    setGridStyle(Qt::SolidLine);

    // Beyond the last row and column the viewport shows through.
    QPalette empty = viewport()->palette();
    empty.setColor(QPalette::Base, EmptyArea);
    viewport()->setPalette(empty);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);

    for (QHeaderView *header : {horizontalHeader(), verticalHeader()}) {
        header->setSectionsClickable(false);
        header->setSectionsMovable(false);
        header->setHighlightSections(false);
        header->setMinimumSectionSize(1);
        header->setSectionResizeMode(QHeaderView::Fixed);
    }

    // The corner is grid cell (0, 0), the "#" header.
    m_corner = findChild<QAbstractButton *>(QString(), Qt::FindDirectChildrenOnly);
    if (m_corner)
        m_corner->installEventFilter(this);
    // The mouse handlers act on the current cell wherever the pointer is, the
    // fixed row and column included.
    horizontalHeader()->viewport()->installEventFilter(this);
    verticalHeader()->viewport()->installEventFilter(this);

    connect(grid, &ResultGrid::columnWidthChanged, this, &GridView::applyWidths);
    connect(grid, &QAbstractItemModel::modelReset, this, [this] {
        applyWidths();
        showGridCurrent();
        // A new fill is in no sorted order.
        if (m_grid->sortColumn() < 0 && !accessibleDescription().isEmpty())
            setAccessibleDescription(QString());
        if (m_corner)
            m_corner->update();
    });
    connect(grid, &QAbstractItemModel::headerDataChanged, this, [this](Qt::Orientation o) {
        if (o == Qt::Horizontal && m_corner)
            m_corner->update();
    });
    connect(grid, &ResultGrid::currentCellChanged, this, &GridView::showGridCurrent);
    applyWidths();
    showGridCurrent();
}

bool GridView::event(QEvent *event)
{
    // The grid's font and the row height it needs are set when the grid is
    // first shown: font loading stays out of start-up, where it is hidden.
    if (event->type() == QEvent::Show && m_rowHeight == 0)
        applyFont();
    return QTableView::event(event);
}

void GridView::applyFont()
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(8.25);
    setFont(font);
    for (QHeaderView *header : {horizontalHeader(), verticalHeader()})
        header->setFont(font);
    m_rowHeight = qMax(fontMetrics().height() + 3, twipsToPixels(240));
    verticalHeader()->setDefaultSectionSize(m_rowHeight);
    horizontalHeader()->setFixedHeight(m_rowHeight);
}

int GridView::twipsToPixels(int twips) const
{
    // 1440 twips to the inch; logical DPI follows the font scaling of the screen.
    return qRound(twips * logicalDpiX() / 1440.0);
}

void GridView::applyWidths()
{
    verticalHeader()->setFixedWidth(twipsToPixels(m_grid->colWidth(0)));
    for (int c = 1; c < m_grid->cols(); ++c)
        horizontalHeader()->resizeSection(c - 1, twipsToPixels(m_grid->colWidth(c)));
}

void GridView::showGridCurrent()
{
    if (m_syncing || !selectionModel() || m_grid->updating())
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

bool GridView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_corner && event->type() == QEvent::Paint) {
        paintCorner(m_corner);
        return true;
    }
    const bool fixedCells =
        watched == m_corner || watched == horizontalHeader()->viewport() || watched == verticalHeader()->viewport();
    const bool mouseEvent = event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonRelease
                            || event->type() == QEvent::MouseButtonDblClick;
    if (fixedCells && mouseEvent) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        switch (event->type()) {
        case QEvent::MouseButtonPress:
            if (mouse->button() == Qt::LeftButton)
                m_pressedHeader = headerColumnAt(watched, mouse->position().toPoint());
            break;
        case QEvent::MouseButtonRelease:
            // A left click on a header cell sorts: press and release on the same cell.
            if (mouse->button() == Qt::LeftButton && m_pressedHeader >= 0
                && m_pressedHeader == headerColumnAt(watched, mouse->position().toPoint()))
                sortByHeader(m_pressedHeader);
            if (mouse->button() == Qt::LeftButton)
                m_pressedHeader = -1;
            emitReleased(mouse->button());
            break;
        case QEvent::MouseButtonDblClick:
            // The first click of the two has sorted already.
            m_pressedHeader = -1;
            if (mouse->button() == Qt::LeftButton)
                emit cellDoubleClicked(mouse->modifiers());
            break;
        default:
            break;
        }
    }
    return QTableView::eventFilter(watched, event);
}

void GridView::sortByHeader(int col)
{
    if (dataRowCount(*m_grid) == 0)
        return;
    sortByHeaderClick(*m_grid, col);
    const QString said = sortAnnouncement(*m_grid);
    if (accessibleDescription() == said) {
        // The same order again is announced again.
        QAccessibleEvent event(this, QAccessible::DescriptionChanged);
        QAccessible::updateAccessibility(&event);
    } else {
        setAccessibleDescription(said);
    }
}

int GridView::headerColumnAt(QObject *watched, const QPoint &pos) const
{
    if (watched == m_corner)
        return m_corner->rect().contains(pos) ? 0 : -1;
    if (watched == horizontalHeader()->viewport()) {
        const int section = horizontalHeader()->logicalIndexAt(pos);
        return section >= 0 ? section + 1 : -1;
    }
    return -1;
}

void GridView::paintCorner(QWidget *corner) const
{
    QPainter painter(corner);
    paintFixedCell(&painter, corner->rect(), horizontalHeader()->font(), palette().color(QPalette::ButtonText),
                   m_grid->text(0, 0), m_grid->color(0, 0) == ResultGrid::NoColor ? QVariant() : m_grid->color(0, 0),
                   m_grid->bold(0, 0));
}

void GridView::mousePressEvent(QMouseEvent *event)
{
    // The left button picks a cell. The right and middle buttons pick only a
    // listed row's cell, so the Symbol Menu they open names the stock pointed
    // at; elsewhere they act on the cell that is already current.
    if (event->button() != Qt::LeftButton) {
        const QModelIndex at = indexAt(event->position().toPoint());
        if (at.isValid() && at.row() < dataRowCount(*m_grid))
            setCurrentIndex(at);
        event->accept();
        return;
    }
    QTableView::mousePressEvent(event);
}

void GridView::mouseReleaseEvent(QMouseEvent *event)
{
    QTableView::mouseReleaseEvent(event);
    emitReleased(event->button());
}

void GridView::emitReleased(Qt::MouseButton button)
{
    switch (button) {
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

void GridView::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Menu || (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier)) {
        event->accept();
        emit menuKeyPressed();
        return;
    }
    QTableView::keyPressEvent(event);
}

void GridView::mouseDoubleClickEvent(QMouseEvent *event)
{
    QTableView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton)
        emit cellDoubleClicked(event->modifiers());
}
