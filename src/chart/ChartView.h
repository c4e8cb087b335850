#pragma once

#include "history/DailyBar.h"

#include <QImage>
#include <QWidget>

#include <vector>

// A symbol's daily bars painted as candles or a close line over a volume
// pane, with the 50- and 200-session averages, in the palette's colours. The
// pointer reads the bar under it (the crosshair); the wheel zooms about it,
// a drag moves the range, and so do the keys: Left and Right, + and -, Home
// and End, Page Up and Page Down.
//
// The chart itself is painted once per change of data, range, size or
// palette into an image that every paint copies; the crosshair is drawn over
// it, so moving the pointer repaints only the lines it leaves and reaches.
class ChartView : public QWidget
{
    Q_OBJECT

public:
    enum class Style { Candles, Line };

    explicit ChartView(QWidget *parent = nullptr);

    // New bars (ascending dates), showing the last count of them.
    void setBars(BarSeries bars, qsizetype count);
    const BarSeries &bars() const { return m_bars; }
    void setStyle(Style style);
    Style style() const { return m_style; }

    // Shows bars first to last, kept within the series and at least a few
    // bars wide.
    void showRange(qsizetype first, qsizetype last);
    qsizetype firstShown() const { return m_first; }
    qsizetype lastShown() const { return m_last; }
    // The bar the crosshair reads: the one under the pointer, or else the
    // last one shown; -1 with no bars.
    qsizetype readBar() const { return m_pointerBar >= 0 ? m_pointerBar : m_last; }

    // The chart as shown, without the crosshair, at the widget's size.
    QImage image() const;

    QSize sizeHint() const override { return {760, 420}; }
    QSize minimumSizeHint() const override { return {240, 160}; }

signals:
    void rangeChanged();
    // The bar readBar() names may have changed.
    void readBarChanged();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    struct Panes
    {
        QRectF price;
        QRectF volume;
    };
    Panes panes(QSize size) const;
    // Paints the chart over a device already filled with the Base colour.
    void render(QPainter &p, QSize size) const;
    void invalidate();
    // The width of one bar's slot in the price pane, in pixels.
    qreal slotWidth() const;
    qsizetype barAt(qreal x) const;
    // Zooms to count bars keeping the bar anchor where it is.
    void zoom(qsizetype count, qsizetype anchor);
    void setPointer(QPointF at);
    // The two crosshair lines for a pointer at pos.
    QRegion crosshairRegion() const;

    BarSeries m_bars;
    std::vector<float> m_sma50;
    std::vector<float> m_sma200;
    Style m_style = Style::Candles;
    qsizetype m_first = 0;
    qsizetype m_last = -1;
    QImage m_cache;
    bool m_cacheValid = false;
    qsizetype m_pointerBar = -1;
    QPointF m_pointer;
    bool m_dragging = false;
    qreal m_dragX = 0;
    qsizetype m_dragFirst = 0;
};
