#include "screen/GridFill.h"
#include "screen/GridView.h"
#include "screen/ResultGrid.h"

#include <QApplication>
#include <QHeaderView>
#include <QImage>
#include <QScrollBar>
#include <QTest>

namespace {

StockRecord stock(const char *symbol, float change)
{
    StockRecord s;
    s.Symbol = QString::fromLatin1(symbol);
    s.Last = 1.25f;
    s.Open = 1.0f;
    s.Change = change;
    s.Low = 1.0f;
    s.High = 1.5f;
    s.Spread = 0.5f;
    s.Volume = 1111111;
    return s;
}

// True when some pixel of the area has this colour, give or take the
// antialiasing of thin glyph stems.
bool hasColor(const QImage &image, const QRect &area, const QColor &color, int tolerance = 0)
{
    const QRect r = area.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x) {
            const QColor p = image.pixelColor(x, y);
            if (qAbs(p.red() - color.red()) <= tolerance && qAbs(p.green() - color.green()) <= tolerance
                && qAbs(p.blue() - color.blue()) <= tolerance)
                return true;
        }
    }
    return false;
}

// The darkest pixel of the area: the ink of text drawn on a light cell.
QColor darkest(const QImage &image, const QRect &area)
{
    const QRect r = area.intersected(image.rect());
    QColor ink = Qt::white;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x) {
            const QColor p = image.pixelColor(x, y);
            if (p.lightness() < ink.lightness())
                ink = p;
        }
    }
    return ink;
}

} // namespace

class TestGridView : public QObject
{
    Q_OBJECT

private:
    ResultGrid *m_grid = nullptr;
    GridView *m_view = nullptr;

    QRect cellRect(int row, int col) const
    {
        // Grid cell to view coordinates (ordinary cells only).
        const QRect r = m_view->visualRect(m_grid->index(row - 1, col - 1));
        return r.translated(m_view->viewport()->mapTo(m_view, QPoint(0, 0)));
    }

private slots:
    void init()
    {
        m_grid = new ResultGrid;
        m_view = new GridView(m_grid);
        m_grid->setParent(m_view);
        m_view->resize(900, 300);
        setupGrid(*m_grid);
        const NumberFormat::Symbols c{QLocale::c()};
        addResultRow(*m_grid, stock("up", 1.5f), {500.0f, 10.99f}, c);
        addResultRow(*m_grid, stock("down", -0.25f), {500.0f, 10.99f}, c);
        addResultRow(*m_grid, stock("flat", 0.0f), {500.0f, 10.99f}, c);
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view));
    }

    void cleanup()
    {
        delete m_view;
        m_view = nullptr;
    }

    void widthsAndFontFollowTheDesign()
    {
        QCOMPARE(m_view->font().family(), QStringLiteral("Arial"));
        QCOMPARE(m_view->font().pointSizeF(), 8.25);
        const int dpi = m_view->logicalDpiX();
        auto px = [dpi](int twips) { return qRound(twips * dpi / 1440.0); };
        QCOMPARE(m_view->verticalHeader()->width(), px(500));
        QCOMPARE(m_view->horizontalHeader()->sectionSize(0), px(900));  // SYMBOL
        QCOMPARE(m_view->horizontalHeader()->sectionSize(6), px(1100)); // SPREAD
        QCOMPARE(m_view->horizontalHeader()->sectionSize(7), px(1100)); // VOLUME
        QCOMPARE(m_view->horizontalHeader()->sectionSize(9), px(900));  // SHARES
        QCOMPARE(m_view->twipsToPixels(1440), dpi);
        // Each row at least as high as its text.
        QVERIFY(m_view->rowHeight() >= m_view->fontMetrics().height());
        QCOMPARE(m_view->verticalHeader()->sectionSize(0), m_view->rowHeight());
    }

    void colours()
    {
        m_grid->setCurrentCell(1, 2);
        const QImage image = m_view->grab().toImage();
        if (qEnvironmentVariableIsSet("TARNVALE_GRID_IMAGE"))
            image.save(qEnvironmentVariable("TARNVALE_GRID_IMAGE"));
        const QColor teal(0, 128, 128);
        // Fixed cells: the corner, the header row and the number column.
        QCOMPARE(image.pixelColor(2, 2), teal);
        const QRect symbolHeader(m_view->verticalHeader()->width(), 0, m_view->horizontalHeader()->sectionSize(0),
                                 m_view->horizontalHeader()->height());
        QCOMPARE(image.pixelColor(symbolHeader.right() - 1, symbolHeader.center().y()), teal);
        QVERIFY(hasColor(image, symbolHeader, Qt::white)); // the white header text
        const QRect corner(0, 0, m_view->verticalHeader()->width(), symbolHeader.height());
        QVERIFY(hasColor(image, corner, Qt::white)); // "#"
        const int numbersRight = m_view->verticalHeader()->geometry().right();
        QCOMPARE(image.pixelColor(numbersRight - 1, cellRect(1, 1).center().y()), teal);
        QVERIFY(hasColor(image, QRect(0, cellRect(1, 1).top(), numbersRight, cellRect(1, 1).height()), Qt::white, 60));

        // An ordinary cell on the window colour, lines in light blue.
        const QRect open = cellRect(2, 3);
        QCOMPARE(image.pixelColor(open.left() + 2, open.top() + 2), qApp->palette().color(QPalette::Base));
        // (A cell's rectangle leaves out its line.)
        QCOMPARE(image.pixelColor(open.right() + 1, open.center().y()), QColor(192, 192, 255));
        QCOMPARE(image.pixelColor(open.center().x(), open.bottom() + 1), QColor(192, 192, 255));
        // The current cell is the selected one: light grey.
        const QRect selected = cellRect(1, 2);
        QCOMPARE(image.pixelColor(selected.left() + 4, selected.center().y()), QColor(224, 224, 224));
        // Below the marker row and right of the last column: the empty grey.
        const QRect marker = cellRect(4, 10);
        QCOMPARE(image.pixelColor(marker.center().x(), marker.bottom() + 6), QColor(192, 192, 192));
        QCOMPARE(image.pixelColor(marker.right() + 6, marker.center().y()), QColor(192, 192, 192));
        QCOMPARE(image.pixelColor(2, marker.bottom() + 6), QColor(192, 192, 192)); // under the "#" column
        QCOMPARE(image.pixelColor(marker.right() + 6, 2), QColor(192, 192, 192));  // right of the headers

        // Text colours by sign and by column (with room for antialiasing: no
        // two of these colours come within 60 of each other's channels).
        QVERIFY(hasColor(image, cellRect(1, 4), QColor(0, 150, 0), 60));
        QVERIFY(hasColor(image, cellRect(2, 4), QColor(190, 0, 0), 60));
        // Dark grey ink: neutral, and never darker than 50.
        const QColor zero = darkest(image, cellRect(3, 4).adjusted(1, 1, -1, -1));
        QVERIFY(zero.red() == zero.green() && zero.green() == zero.blue());
        QVERIFY2(zero.red() >= 50 && zero.red() < 150, qPrintable(zero.name()));
        QVERIFY(!hasColor(image, cellRect(3, 4), QColor(0, 150, 0), 60));
        QVERIFY(!hasColor(image, cellRect(3, 4), QColor(190, 0, 0), 60));
        QVERIFY(hasColor(image, cellRect(2, 2), QColor(0, 0, 150), 60));
        QVERIFY(hasColor(image, cellRect(1, 7), QColor(200, 150, 0), 60));
        QVERIFY(hasColor(image, cellRect(1, 9), QColor(0, 150, 0), 60)); // PROFIT above zero
        // The SYMBOL cell in the window text colour, bold: full-strength ink.
        QCOMPARE(darkest(image, cellRect(2, 1)), qApp->palette().color(QPalette::Text));
    }

    void fixedCellsCannotBeSelected()
    {
        QCOMPARE(m_grid->row(), 3);
        const QPoint header(m_view->horizontalHeader()->sectionViewportPosition(2) + 5, 5);
        QTest::mouseClick(m_view->horizontalHeader()->viewport(), Qt::LeftButton, {}, header);
        QTest::mouseClick(m_view->verticalHeader()->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(m_grid->row(), 3);
        QCOMPARE(m_grid->col(), 10);
        QVERIFY(!m_view->horizontalHeader()->sectionsClickable());
    }

    void currentCellMovesBothWays()
    {
        // After a fill: the last data row, SHARES, selected in the view.
        QCOMPARE(m_view->currentIndex(), m_grid->index(2, 9));
        QCOMPARE(m_view->selectionModel()->selectedIndexes(), QModelIndexList{m_grid->index(2, 9)});

        // A left click makes the clicked cell current.
        const QRect price = m_view->visualRect(m_grid->index(0, 2));
        QTest::mouseClick(m_view->viewport(), Qt::LeftButton, {}, price.center());
        QCOMPARE(m_grid->row(), 1);
        QCOMPARE(m_grid->col(), 3);
        QCOMPARE(m_grid->text(), QStringLiteral("1"));

        // Other buttons leave it where it is.
        const QRect other = m_view->visualRect(m_grid->index(2, 0));
        QTest::mouseClick(m_view->viewport(), Qt::RightButton, {}, other.center());
        QTest::mouseClick(m_view->viewport(), Qt::MiddleButton, {}, other.center());
        QCOMPARE(m_grid->row(), 1);
        QCOMPARE(m_grid->col(), 3);

        // The program moves it: the view follows.
        m_grid->setCurrentCell(2, 1);
        QCOMPARE(m_view->currentIndex(), m_grid->index(1, 0));
        QCOMPARE(m_grid->text(), QStringLiteral("DOWN"));

        // The header row current: nothing selected in the view.
        setupGrid(*m_grid);
        QVERIFY(!m_view->currentIndex().isValid());
        QVERIFY(m_view->selectionModel()->selectedIndexes().isEmpty());
    }

    void mouseButtonsAreReportedByCode()
    {
        QList<int> codes;
        connect(m_view, &GridView::mouseReleased, this, [&codes](int code) { codes << code; });
        const QPoint p = m_view->visualRect(m_grid->index(0, 0)).center();
        QTest::mouseClick(m_view->viewport(), Qt::LeftButton, {}, p);
        QTest::mouseClick(m_view->viewport(), Qt::RightButton, {}, p);
        QTest::mouseClick(m_view->viewport(), Qt::MiddleButton, {}, p);
        QCOMPARE(codes, (QList<int>{1, 2, 4}));
    }

    // A long fill shows its last row: the current cell is scrolled into view.
    void longFillScrollsToTheLastRow()
    {
        MarketDatabase db;
        for (int i = 0; i < 5000; ++i)
            db.Stocks.insert(db.Stocks.size() - 1, stock("S", 1));
        QList<int> all;
        for (int i = 0; i < 5000; ++i)
            all << i;
        m_grid->beginUpdate();
        setupGrid(*m_grid);
        addResultRows(*m_grid, db, all, {500.0f, 10.99f}, NumberFormat::Symbols(QLocale::c()));
        m_grid->endUpdate();
        QCOMPARE(m_grid->row(), 5000);
        QCOMPARE(m_view->currentIndex(), m_grid->index(4999, 9));
        QVERIFY(m_view->verticalScrollBar()->value() > 0);
        QVERIFY(m_view->viewport()->rect().intersects(m_view->visualRect(m_grid->index(4999, 9))));
        QCOMPARE(m_view->verticalHeader()->count(), 5001);
    }
};

QTEST_MAIN(TestGridView)
#include "tst_gridview.moc"
