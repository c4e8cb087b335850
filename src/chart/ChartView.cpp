#include "chart/ChartView.h"

#include "chart/ChartData.h"

#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Fewer bars than this make no chart worth zooming into.
constexpr qsizetype kFewestBars = 10;

struct Colours
{
    QColor background, text, grid, up, down, line, sma50, sma200;
};

// Background and text are the palette's; the rest is picked for its
// lightness, so that rising and falling candles read on light and dark
// desktops alike.
Colours colours(const QPalette &palette)
{
    Colours c;
    c.background = palette.color(QPalette::Base);
    c.text = palette.color(QPalette::Text);
    const bool dark = c.background.lightness() < 128;
    c.grid = c.text;
    c.grid.setAlphaF(0.15f);
    c.up = dark ? QColor(0x5c, 0xd0, 0x7a) : QColor(0x16, 0x7c, 0x34);
    c.down = dark ? QColor(0xff, 0x70, 0x70) : QColor(0xc0, 0x24, 0x24);
    c.line = c.text;
    c.sma50 = dark ? QColor(0x6c, 0xb8, 0xff) : QColor(0x15, 0x5f, 0xc0);
    c.sma200 = dark ? QColor(0xff, 0xb8, 0x4d) : QColor(0xb8, 0x50, 0x00);
    return c;
}

// 1, 2 or 5 times a power of ten, near span / parts.
double niceStep(double span, int parts)
{
    const double raw = span / std::max(parts, 1);
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0}) {
        if (raw <= m * power)
            return m * power;
    }
    return 10 * power;
}

} // namespace

ChartView::ChartView(QWidget *parent)
    : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ChartView::setBars(BarSeries bars, qsizetype count)
{
    m_bars = std::move(bars);
    // Once per series: every paint reads them.
    m_sma50 = movingAverage(m_bars, 50);
    m_sma200 = movingAverage(m_bars, 200);
    m_first = 0;
    m_last = -1;
    m_pointerBar = -1;
    const qsizetype size = qsizetype(m_bars.size());
    showRange(size - count, size - 1);
    invalidate();
}

void ChartView::setStyle(Style style)
{
    if (style == m_style)
        return;
    m_style = style;
    invalidate();
}

void ChartView::showRange(qsizetype first, qsizetype last)
{
    const qsizetype size = qsizetype(m_bars.size());
    if (size == 0)
        return;
    const qsizetype count = std::clamp(last - first + 1, std::min(kFewestBars, size), size);
    first = std::clamp<qsizetype>(first, 0, size - count);
    last = first + count - 1;
    if (first == m_first && last == m_last)
        return;
    m_first = first;
    m_last = last;
    invalidate();
    emit rangeChanged();
    setPointer(m_pointer); // the same place now points at another bar
    emit readBarChanged();
}

void ChartView::zoom(qsizetype count, qsizetype anchor)
{
    const qsizetype shown = m_last - m_first + 1;
    const double share = shown > 1 ? double(anchor - m_first) / double(shown - 1) : 1.0;
    const qsizetype first = anchor - qsizetype(std::lround(share * double(count - 1)));
    showRange(first, first + count - 1);
}

void ChartView::invalidate()
{
    m_cacheValid = false;
    update();
}

ChartView::Panes ChartView::panes(QSize size) const
{
    const QFontMetricsF fm(font());
    const qreal axis = fm.horizontalAdvance(QStringLiteral("00000.00")) + 10;
    const qreal top = fm.height() + 8;
    const qreal bottom = fm.height() + 8;
    const QRectF area(8, top, std::max<qreal>(size.width() - 8 - axis, 1),
                      std::max<qreal>(size.height() - top - bottom, 2));
    const qreal volume = std::floor(area.height() * 0.22);
    return {QRectF(area.left(), area.top(), area.width(), std::max<qreal>(area.height() - volume - 6, 1)),
            QRectF(area.left(), area.bottom() - volume, area.width(), volume)};
}

qreal ChartView::slotWidth() const
{
    return panes(size()).price.width() / qreal(std::max<qsizetype>(m_last - m_first + 1, 1));
}

qsizetype ChartView::barAt(qreal x) const
{
    const QRectF price = panes(size()).price;
    const qsizetype offset = qsizetype(std::floor((x - price.left()) / slotWidth()));
    return std::clamp(m_first + offset, m_first, m_last);
}

void ChartView::render(QPainter &p, QSize size) const
{
    const Colours c = colours(palette());
    if (m_bars.empty() || m_last < m_first)
        return;
    const Panes pane = panes(size);
    const std::vector<ChartColumn> cols = chartColumns(m_bars, m_first, m_last, int(pane.price.width()));
    const qreal slot = pane.price.width() / qreal(cols.size());

    float low = std::numeric_limits<float>::max();
    float high = std::numeric_limits<float>::lowest();
    qint64 mostVolume = 1;
    for (const ChartColumn &col : cols) {
        low = std::min(low, col.low);
        high = std::max(high, col.high);
        mostVolume = std::max(mostVolume, col.volume);
    }
    double lo = low, hi = high;
    const double pad = hi > lo ? (hi - lo) * 0.05 : std::max(std::abs(hi) * 0.01, 0.01);
    lo -= pad;
    hi += pad;
    const auto y = [&](double v) { return pane.price.bottom() - (v - lo) / (hi - lo) * pane.price.height(); };
    const auto x = [&](size_t col) { return pane.price.left() + (qreal(col) + 0.5) * slot; };

    // Price grid and axis.
    const QFontMetricsF fm(font());
    p.setFont(font());
    const double step = niceStep(hi - lo, std::max(2, int(pane.price.height() / (fm.height() * 2.5))));
    const int decimals = step < 0.1 ? 3 : step < 1 ? 2 : 0;
    for (double v = std::ceil(lo / step) * step; v <= hi; v += step) {
        const qreal at = std::round(y(v)) + 0.5;
        p.setPen(c.grid);
        p.drawLine(QPointF(pane.price.left(), at), QPointF(pane.price.right(), at));
        p.setPen(c.text);
        p.drawText(QPointF(pane.price.right() + 6, at + fm.ascent() / 2 - 1), QLocale().toString(v, 'f', decimals));
    }

    // Dates where the month (or, over two years, the year) turns.
    const bool years = m_last - m_first > 500;
    const QString format = years ? QStringLiteral("yyyy") : QStringLiteral("MMM yyyy");
    qreal free = pane.price.left();
    for (size_t i = 1; i < cols.size(); ++i) {
        const QDate before = m_bars[size_t(cols[i - 1].last)].date;
        const QDate now = m_bars[size_t(cols[i].last)].date;
        if (years ? now.year() == before.year() : now.month() == before.month())
            continue;
        const qreal at = std::round(x(i)) + 0.5;
        p.setPen(c.grid);
        p.drawLine(QPointF(at, pane.price.top()), QPointF(at, pane.volume.bottom()));
        const QString label = QLocale().toString(now, format);
        if (at < free)
            continue;
        p.setPen(c.text);
        p.drawText(QPointF(at + 2, pane.volume.bottom() + fm.ascent() + 4), label);
        free = at + fm.horizontalAdvance(label) + 12;
    }

    // Volume, then prices, each within its pane.
    const qreal body = std::max<qreal>(1, std::floor(slot * 0.7));
    p.save();
    p.setClipRect(pane.volume);
    for (size_t i = 0; i < cols.size(); ++i) {
        QColor fill = cols[i].close >= cols[i].open ? c.up : c.down;
        fill.setAlphaF(0.55f);
        const qreal h = pane.volume.height() * qreal(cols[i].volume) / qreal(mostVolume);
        p.fillRect(QRectF(x(i) - body / 2, pane.volume.bottom() - h, body, h), fill);
    }
    p.restore();

    p.save();
    p.setClipRect(pane.price.adjusted(0, -2, 0, 2));
    if (m_style == Style::Candles) {
        for (size_t i = 0; i < cols.size(); ++i) {
            const ChartColumn &col = cols[i];
            const QColor colour = col.close >= col.open ? c.up : c.down;
            const qreal at = std::round(x(i)) + 0.5;
            p.setPen(colour);
            p.drawLine(QPointF(at, y(col.high)), QPointF(at, y(col.low)));
            if (slot >= 3) {
                const qreal top = std::round(y(std::max(col.open, col.close)));
                const qreal bottom = std::max(top + 1, std::round(y(std::min(col.open, col.close))));
                p.fillRect(QRectF(std::round(x(i) - body / 2), top, body, bottom - top), colour);
            }
        }
    }
    p.setRenderHint(QPainter::Antialiasing);
    const auto polyline = [&](auto value, const QColor &colour, qreal width) {
        QPainterPath path;
        bool drawing = false;
        for (size_t i = 0; i < cols.size(); ++i) {
            const float v = value(cols[i]);
            if (std::isnan(v)) {
                drawing = false;
                continue;
            }
            const QPointF point(x(i), y(v));
            drawing ? path.lineTo(point) : path.moveTo(point);
            drawing = true;
        }
        p.strokePath(path, QPen(colour, width));
    };
    if (m_style == Style::Line)
        polyline([](const ChartColumn &col) { return col.close; }, c.line, 1.5);
    polyline([this](const ChartColumn &col) { return m_sma50[size_t(col.last)]; }, c.sma50, 1.3);
    polyline([this](const ChartColumn &col) { return m_sma200[size_t(col.last)]; }, c.sma200, 1.3);
    p.restore();

    // The legend names the two averages in their colours.
    qreal legend = pane.price.left();
    for (const auto &[name, colour] :
         {std::pair{QStringLiteral("SMA50"), c.sma50}, {QStringLiteral("SMA200"), c.sma200}}) {
        p.setPen(QPen(colour, 2));
        p.drawLine(QPointF(legend, fm.height() / 2 + 4), QPointF(legend + 16, fm.height() / 2 + 4));
        p.setPen(c.text);
        p.drawText(QPointF(legend + 20, fm.ascent() + 4), name);
        legend += 20 + fm.horizontalAdvance(name) + 16;
    }
}

void ChartView::paintEvent(QPaintEvent *)
{
    const qreal ratio = devicePixelRatioF();
    if (!m_cacheValid || m_cache.size() != size() * ratio) {
        m_cache = QImage(size() * ratio, QImage::Format_RGB32); // opaque: each paint is a plain copy
        m_cache.setDevicePixelRatio(ratio);
        // QImage::fill rather than a painted fill, which Qt may spread over
        // threads: on a busy machine their hand-overs cost more than the fill.
        m_cache.fill(palette().color(QPalette::Base));
        QPainter cache(&m_cache);
        render(cache, size());
        m_cacheValid = true;
    }
    QPainter p(this);
    p.drawImage(QPointF(0, 0), m_cache);
    const Panes pane = panes(size());
    QColor cross = palette().color(QPalette::Text);
    cross.setAlphaF(0.6f);
    p.setPen(QPen(cross, 1, Qt::DashLine));
    if (m_pointerBar >= 0) {
        const qreal at = std::round(pane.price.left() + (qreal(m_pointerBar - m_first) + 0.5) * slotWidth()) + 0.5;
        p.drawLine(QPointF(at, pane.price.top()), QPointF(at, pane.volume.bottom()));
        if (pane.price.contains(m_pointer))
            p.drawLine(QPointF(pane.price.left(), std::round(m_pointer.y()) + 0.5),
                       QPointF(pane.price.right(), std::round(m_pointer.y()) + 0.5));
    }
    if (hasFocus()) {
        p.setPen(QPen(palette().color(QPalette::Highlight), 2));
        p.drawRect(QRectF(rect()).adjusted(1, 1, -1, -1));
    }
}

QImage ChartView::image() const
{
    QImage out(size(), QImage::Format_RGB32);
    out.fill(palette().color(QPalette::Base));
    QPainter p(&out);
    render(p, size());
    return out;
}

QRegion ChartView::crosshairRegion() const
{
    if (m_pointerBar < 0)
        return {};
    const Panes pane = panes(size());
    const int at = int(pane.price.left() + (qreal(m_pointerBar - m_first) + 0.5) * slotWidth());
    QRegion region(at - 2, 0, 5, height());
    region += QRect(0, int(m_pointer.y()) - 2, width(), 5);
    return region;
}

void ChartView::setPointer(QPointF at)
{
    const Panes pane = panes(size());
    const bool over = !m_bars.empty() && underMouse() && at.x() >= pane.price.left() && at.x() <= pane.price.right()
                      && at.y() >= pane.price.top() && at.y() <= pane.volume.bottom();
    const qsizetype bar = over ? barAt(at.x()) : -1;
    const QRegion before = crosshairRegion();
    const qsizetype read = readBar();
    m_pointer = at;
    m_pointerBar = bar;
    update(before + crosshairRegion());
    if (readBar() != read)
        emit readBarChanged();
}

void ChartView::resizeEvent(QResizeEvent *)
{
    invalidate();
}

void ChartView::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::FontChange
        || event->type() == QEvent::StyleChange)
        invalidate();
    QWidget::changeEvent(event);
}

void ChartView::wheelEvent(QWheelEvent *event)
{
    const double steps = event->angleDelta().y() / 120.0;
    const qsizetype shown = m_last - m_first + 1;
    if (steps == 0 || m_bars.empty())
        return;
    qsizetype count = qsizetype(std::lround(double(shown) * std::pow(0.8, steps)));
    if (count == shown)
        count += steps > 0 ? -1 : 1;
    zoom(count, barAt(event->position().x()));
    event->accept();
}

void ChartView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    m_dragging = true;
    m_dragX = event->position().x();
    m_dragFirst = m_first;
    setCursor(Qt::ClosedHandCursor);
}

void ChartView::mouseMoveEvent(QMouseEvent *event)
{
    if (m_dragging) {
        const qsizetype shift = qsizetype(std::lround((m_dragX - event->position().x()) / slotWidth()));
        showRange(m_dragFirst + shift, m_dragFirst + shift + (m_last - m_first));
    }
    setPointer(event->position());
}

void ChartView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && m_dragging) {
        m_dragging = false;
        unsetCursor();
    }
}

void ChartView::leaveEvent(QEvent *)
{
    setPointer(QPointF(-1, -1));
}

void ChartView::keyPressEvent(QKeyEvent *event)
{
    const qsizetype shown = m_last - m_first + 1;
    const qsizetype step = std::max<qsizetype>(1, shown / 10);
    const qsizetype size = qsizetype(m_bars.size());
    switch (event->key()) {
    case Qt::Key_Left:
        showRange(m_first - step, m_last - step);
        break;
    case Qt::Key_Right:
        showRange(m_first + step, m_last + step);
        break;
    case Qt::Key_PageUp:
        showRange(m_first - shown, m_last - shown);
        break;
    case Qt::Key_PageDown:
        showRange(m_first + shown, m_last + shown);
        break;
    case Qt::Key_Home:
        showRange(0, shown - 1);
        break;
    case Qt::Key_End:
        showRange(size - shown, size - 1);
        break;
    // Zooming by key keeps the latest bar shown where it is.
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        zoom(shown * 4 / 5, m_last);
        break;
    case Qt::Key_Minus:
    case Qt::Key_Underscore:
        zoom(shown * 5 / 4 + 1, m_last);
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}
