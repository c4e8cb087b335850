#include "common/MainWindowTest.h"
#include "screen/GridFill.h"
#include "widgets/GridView.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

namespace {

StockRecord stock(const char *symbol, float last, double volume, float change = 0)
{
    return {{}, QString::fromLatin1(symbol), last, 0, volume, 2.5f, 2.0f, change, last};
}

QStringList column(const ResultGrid *g, int col)
{
    QStringList texts;
    for (int r = 1; r < g->rows(); ++r)
        texts << g->text(r, col);
    return texts;
}

} // namespace

// Opens a market file of its own and runs each command by its button.
class TestScreeningWindow : public MainWindowTest
{
    Q_OBJECT

    ResultGrid *grid() { return m_window->grid(); }
    GridView *view() { return m_window->gridView(); }

    // A left click on header cell col; 0 is the "#" header in the corner.
    void clickHeader(int col)
    {
        if (col == 0) {
            QWidget *corner = view()->findChild<QAbstractButton *>(QString(), Qt::FindDirectChildrenOnly);
            QTest::mouseClick(corner, Qt::LeftButton, {}, corner->rect().center());
            return;
        }
        QHeaderView *header = view()->horizontalHeader();
        const QPoint at(header->sectionViewportPosition(col - 1) + header->sectionSize(col - 1) / 2,
                        header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    }

    // The white pixels of header cell col, by pixel row from the top.
    QList<int> headerWhite(int col)
    {
        QHeaderView *header = view()->horizontalHeader();
        const QImage image = header->viewport()
                                 ->grab(QRect(header->sectionViewportPosition(col - 1), 0,
                                              header->sectionSize(col - 1), header->height()))
                                 .toImage();
        QList<int> rows(image.height());
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x)
                rows[y] += image.pixelColor(x, y).lightness() > 200 ? 1 : 0;
        }
        return rows;
    }

    QList<int> fillOrders()
    {
        QList<int> orders;
        for (int r = 1; r + 1 < grid()->rows(); ++r)
            orders << grid()->fillOrder(r);
        return orders;
    }

    void tick(const char *name)
    {
        QCheckBox *box = m_window->findChild<QCheckBox *>(name);
        QTest::mouseClick(box, Qt::LeftButton, {}, box->rect().center());
    }

    void type(const char *box, const QString &text)
    {
        m_window->box(box)->setFocus();
        m_window->box(box)->selectAll();
        QTest::keyClicks(m_window->box(box), text);
        QCOMPARE(m_window->box(box)->text(), text);
    }

private slots:
    // A comma locale throughout: the cells show commas, the boxes still read points.
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); }

    void init()
    {
        MarketDatabase db;
        db.Stocks = {stock("msft", 0.10f, 1000000, 1.5f), stock("AAPL", 0.50f, 1000001, -0.25f),
                     stock("MSFTX", 0.51f, 50000),        stock("MSFT", 0.25f, 49999),
                     stock("IBM", 0.09f, 60000),          StockRecord{}};
        QVERIFY(setUpMarket(db));
        QVERIFY(showWindow());
        QCOMPARE(grid()->rows(), 2);
    }

    void cleanup() { m_window.reset(); }

    // Default capital 500.00 and commission 10.99.
    void listAll()
    {
        click("butListall");
        QCOMPARE(column(grid(), 0), (QStringList{"1", "2", "3", "4", "5", "*"}));
        QCOMPARE(column(grid(), 1), (QStringList{"MSFT", "AAPL", "MSFTX", "MSFT", "IBM", ""}));
        QCOMPARE(grid()->text(1, 8) + " " + grid()->text(1, 9) + " " + grid()->text(1, 10),
                 QStringLiteral("1.000.000 100,52 245"));
        QCOMPARE(view()->currentIndex(), grid()->index(4, 9)); // last row, SHARES
        click("butListall"); // from an empty grid again, not below the first run
        QCOMPARE(grid()->rows(), 7);
        type("txtCapital", QStringLiteral("."));
        click("butListall");
        QCOMPARE(column(grid(), 9) + column(grid(), 10), QStringList(12, QString()));
        QCOMPARE(grid()->text(5, 1), QStringLiteral("IBM"));
        QVERIFY(m_prompter->messages.isEmpty());
    }

    void matchStocks()
    {
        tick("chkLast");
        type("txtLastS", QStringLiteral("0.10"));
        type("txtLastE", QStringLiteral("0.50"));
        tick("chkVolume"); // AAPL passes Last but not Volume
        type("txtVolumeS", QStringLiteral("50000"));
        type("txtVolumeE", QStringLiteral("1000000"));
        click("butDS");
        QCOMPARE(column(grid(), 1), (QStringList{"MSFT", ""}));
        // A box without a number: one message, and the grid keeps what it showed.
        type("txtVolumeS", QStringLiteral("."));
        grid()->setCurrentCell(1, 3);
        click("butDS");
        QCOMPARE(m_prompter->messages.size(), 1);
        QCOMPARE(m_prompter->messages[0].icon, Prompter::Icon::Exclamation);
        QVERIFY(m_prompter->lastText().contains(QStringLiteral("\"Volume\"")));
        QCOMPARE(column(grid(), 1), (QStringList{"MSFT", ""}));
        QCOMPARE(QPoint(grid()->col(), grid()->row()), QPoint(3, 1));
        tick("chkVolume"); // an unticked criterion's boxes are never read
        click("butDS");
        QCOMPARE(grid()->rows(), 5);
        QCOMPARE(m_prompter->messages.size(), 1);
    }

    // Every column's width (twips), text colour and weight after a fill, written
    // out by hand: -1 is the grid's default text colour.
    void columnLook()
    {
        click("butListall");
        const int twips[] = {500, 900, 900, 900, 900, 900, 900, 1100, 1100, 900, 900};
        const qint64 rowOne[] = {0xFFFFFF, -1, 0x000096, 0x323232, 0x009600, 0x323232,
                                 0x323232, 0xC89600, 0x323232, 0x009600, 0x323232};
        const double dpi = view()->logicalDpiX();
        QCOMPARE(view()->verticalHeader()->width(), qRound(twips[0] * dpi / 1440.0));
        auto colour = [](const QVariant &v) { return v.isValid() ? qint64(v.toUInt()) : qint64(-1); };
        for (int col = 1; col <= 10; ++col) {
            QCOMPARE(view()->horizontalHeader()->sectionSize(col - 1), qRound(twips[col] * dpi / 1440.0));
            QCOMPARE(colour(grid()->headerData(col - 1, Qt::Horizontal, ResultGrid::ColorRole)), 0xFFFFFF);
            QVERIFY(grid()->headerData(col - 1, Qt::Horizontal, ResultGrid::BoldRole).toBool());
            const QModelIndex cell = grid()->index(0, col - 1);
            QCOMPARE(colour(cell.data(ResultGrid::ColorRole)), rowOne[col]);
            QCOMPARE(cell.data(ResultGrid::BoldRole).toBool(), col == 1); // only SYMBOL
        }
        QCOMPARE(colour(grid()->headerData(0, Qt::Vertical, ResultGrid::ColorRole)), rowOne[0]);
        QCOMPARE(colour(grid()->index(1, 3).data(ResultGrid::ColorRole)), 0xBE0000); // row 2: CHANGE below zero
    }

    // Fixed cells cannot be selected; a click makes a cell current, the
    // program's moves show in the view.
    void gridView()
    {
        click("butListall");
        const QPoint header(view()->horizontalHeader()->sectionViewportPosition(2) + 5, 5);
        QTest::mouseClick(view()->horizontalHeader()->viewport(), Qt::LeftButton, {}, header);
        QTest::mouseClick(view()->verticalHeader()->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(QPoint(grid()->col(), grid()->row()), QPoint(10, 5));
        QTest::mouseClick(view()->viewport(), Qt::LeftButton, {}, view()->visualRect(grid()->index(0, 2)).center());
        QCOMPARE(QPoint(grid()->col(), grid()->row()), QPoint(3, 1));
        grid()->setCurrentCell(2, 1);
        QCOMPARE(view()->currentIndex(), grid()->index(1, 0));
        // A long fill shows its last row.
        MarketDatabase db;
        db.Stocks = QList<StockRecord>(5001, stock("S", 1, 1));
        QList<int> all(5000);
        for (int i = 0; i < 5000; ++i)
            all[i] = i;
        addResultRows(*grid(), db, all, {500.0f, 10.99f});
        QVERIFY(view()->verticalScrollBar()->value() > 0);
        QVERIFY(view()->viewport()->rect().intersects(view()->visualRect(grid()->index(5004, 9))));
    }

    void sortByHeader_data()
    {
        QTest::addColumn<int>("col");
        QTest::addColumn<int>("clicks"); // 1 ascending, 2 descending
        QTest::addColumn<QList<int>>("expected"); // fill order, top to bottom
        // Ties (MSFT and msft, equal prices, volumes and shares) keep the
        // fill's order; empty VOLUME and SHARES cells sort last both ways.
        QTest::newRow("SYMBOL up") << 1 << 1 << QList<int>{2, 5, 1, 4, 3, 7, 6};
        QTest::newRow("VOLUME up") << 8 << 1 << QList<int>{4, 3, 5, 7, 1, 2, 6};
        QTest::newRow("SHARES down") << 10 << 2 << QList<int>{1, 2, 3, 4, 5, 6, 7};
    }

    // Sorted by clicks on the header as it is shown; the rows are numbered
    // again, the marker row stays last, the last row's SHARES is current and
    // the heading keeps its text and gains a mark pointing the sort's way.
    void sortByHeader()
    {
        QFETCH(int, col);
        QFETCH(int, clicks);
        QFETCH(QList<int>, expected);
        // ZERO: no volume, fewer shares; TINY: a low too small for a share count.
        StockRecord zero = stock("ZERO", 0.25f, 0);
        zero.Low = 4;
        zero.High = 5;
        StockRecord tiny = stock("TINY", 0.10f, 60000, -0.25f);
        tiny.Low = 1e-9f;
        tiny.High = 1;
        QList<StockRecord> &stocks = m_window->market().database().Stocks;
        stocks.insert(stocks.size() - 1, zero);
        stocks.insert(stocks.size() - 1, tiny);
        click("butListall");
        QCOMPARE(grid()->text(6, 8) + grid()->text(7, 10), QString());
        const QStringList symbols = column(grid(), 1);
        const QList<int> unmarked = headerWhite(col);
        for (int i = 0; i < clicks; ++i)
            clickHeader(col);
        QCOMPARE(fillOrders(), expected);
        QStringList moved;
        for (int order : expected)
            moved << symbols[order - 1];
        QCOMPARE(column(grid(), 1), moved + QStringList{""});
        QCOMPARE(column(grid(), 0), (QStringList{"1", "2", "3", "4", "5", "6", "7", "*"}));
        QCOMPARE(view()->currentIndex(), grid()->index(6, 9));
        QCOMPARE(grid()->text(0, col), QString::fromLatin1(kGridColumns[size_t(col)].header));
        // The mark: white pixels the plain heading lacks, widest at the bottom going up.
        const QList<int> marked = headerWhite(col);
        QList<int> mark;
        for (qsizetype y = 0; y < marked.size(); ++y) {
            if (marked[y] > unmarked[y])
                mark << marked[y] - unmarked[y];
        }
        QVERIFY(mark.size() >= 2);
        if (clicks == 1)
            QVERIFY(mark.last() > mark.first());
        else
            QVERIFY(mark.first() > mark.last());
        QVERIFY(m_prompter->messages.isEmpty());
    }

    // "#" brings back the fill's order and takes the mark away; every new fill
    // shows its own order.
    void numberHeaderAndNewFillsUnsort()
    {
        click("butListall");
        const QList<int> plain = headerWhite(2);
        clickHeader(1);
        clickHeader(1);
        QCOMPARE(column(grid(), 1), (QStringList{"MSFTX", "MSFT", "MSFT", "IBM", "AAPL", ""}));
        QTest::mouseClick(view()->viewport(), Qt::LeftButton, {}, view()->visualRect(grid()->index(0, 3)).center());
        clickHeader(0);
        QCOMPARE(fillOrders(), (QList<int>{1, 2, 3, 4, 5}));
        QCOMPARE(column(grid(), 0), (QStringList{"1", "2", "3", "4", "5", "*"}));
        QCOMPARE(view()->currentIndex(), grid()->index(4, 9));
        QCOMPARE(grid()->sortColumn(), -1);
        clickHeader(2);
        QVERIFY(headerWhite(2) != plain);
        click("butListall");
        QCOMPARE(fillOrders(), (QList<int>{1, 2, 3, 4, 5}));
        QCOMPARE(headerWhite(2), plain);
        clickHeader(2);
        m_window->box("txtQSSymbol")->setText(QStringLiteral("MSFT"));
        click("butQS");
        QCOMPARE(grid()->sortColumn(), -1);
        QCOMPARE(column(grid(), 2), (QStringList{"0,1", "0,25", ""}));
        clickHeader(2);
        clickHeader(2);
        QCOMPARE(column(grid(), 2), (QStringList{"0,25", "0,1", ""}));
        tick("chkLast");
        click("butDS");
        QCOMPARE(grid()->sortColumn(), -1);
        QCOMPARE(column(grid(), 1), (QStringList{"MSFT", "AAPL", "MSFT", ""}));
    }
};

QTEST_MAIN(TestScreeningWindow)
#include "tst_screeningwindow.moc"
