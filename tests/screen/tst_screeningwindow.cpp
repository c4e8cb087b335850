#include "common/LoopbackServer.h"
#include "common/MainWindowTest.h"
#include "screen/ResultsExport.h"
#include "screen/Contrast.h"
#include "screen/GridFill.h"
#include "widgets/GridView.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>

namespace {

StockRecord stock(const char *symbol, float last, double volume, float change = 0)
{
    return {{}, QString::fromLatin1(symbol), last, 0, volume, 2.5f, 2.0f, change, last};
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
                                 ->grab(QRect(header->sectionViewportPosition(col - 1), 0, header->sectionSize(col - 1),
                                              header->height()))
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

    void technicalRange_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QStringList>("symbols");
        QTest::addColumn<QString>("message");
        QByteArray table = "Symbol,Date,Close,SMA20,SMA50,SMA200,High52,Low52,RSI14,ATR14,AvgVolume20,RelVolume,"
                           "Perf1W,Perf1M,Perf3M,Perf6M,Perf1Y,PerfYTD,Sessions\n";
        for (const char *line : {"MSFT,2026-12-04,10,,,,,,,,,,-3", "AAPL,2026-12-04,10,,,,,,,,,,1",
                                 "IBM,2026-12-04,10,,,,,,,,,,-8", "MSFTX,2026-12-04,10,,,,,,,,,,"})
            table += QByteArray(line) + ",,,,,,300\n";
        QTest::newRow("served") << LoopbackServer::http(200, "text/csv", table) << QStringList{"MSFT", "MSFT", ""}
                                << QString();
        const QByteArray why = "The price history is still being built.";
        QTest::newRow("refused") << LoopbackServer::http(503, "text/plain", why) << QStringList{""}
                                 << QString::fromLatin1(why);
    }

    // Only "Perf 1W %" ticked, typed -5 to 0: the stocks (in both cases of
    // "msft") down by up to 5% in a week, from one fetch for two screens.
    void technicalRange()
    {
        QFETCH(QByteArray, answer);
        LoopbackServer server([&](QTcpSocket *socket, const QByteArray &) { LoopbackServer::send(socket, {answer}); });
        pointQuotesAt(server.port());
        find<QCheckBox>("chkPerf1W")->setChecked(true);
        m_window->box("txtPerf1WS")->clear();
        QTest::keyClicks(m_window->box("txtPerf1WS"), QStringLiteral("-5-"));
        m_window->box("txtPerf1WE")->setText(QStringLiteral("0"));
        for (int run = 0; run < 2; ++run) {
            click("butDS");
            QTRY_VERIFY(find<QPushButton>("butDS")->isEnabled());
        }
        QCOMPARE(m_window->box("txtPerf1WS")->text(), QStringLiteral("-5"));
        QTEST(column(1), "symbols");
        QFETCH(QString, message);
        QCOMPARE(server.asked("GET /technicals.csv"), message.isEmpty() ? 1 : 2);
        QCOMPARE(m_prompter->lastText().section(u'\n', -1), message);
    }

    // A column chosen under "View" > "Columns..." is kept, filled and exported.
    void technicalColumnIsExported()
    {
        LoopbackServer server([](QTcpSocket *socket, const QByteArray &) {
            LoopbackServer::send(socket, {LoopbackServer::http(200, "text/csv",
                                                               "Symbol,Date,Close,SMA20,SMA50,SMA200,High52,Low52,"
                                                               "RSI14,ATR14,AvgVolume20,RelVolume,Perf1W,Perf1M,Perf3M,"
                                                               "Perf6M,Perf1Y,PerfYTD,Sessions\nIBM,2026-12-04,90,,,,"
                                                               "120,,,,,,,,,,,,300\n")});
        });
        pointQuotesAt(server.port());
        trigger("mnuView_Columns");
        auto *dialog = m_window->findChild<QDialog *>(QStringLiteral("frmColumns"));
        dialog->findChild<QCheckBox *>(QStringLiteral("chkColumnFromHigh52"))->setChecked(true);
        dialog->accept();
        QCOMPARE(store().value(QStringLiteral("View/TechnicalColumns")).toStringList(), QStringList{"FromHigh52"});
        click("butListall");
        QTRY_COMPARE(column(11), (QStringList{"", "", "", "", "-25", ""}));
        const QList<QByteArray> lines = ResultsExport::csv(*grid()).split('\n');
        QVERIFY(lines[0].endsWith(",SHARES,FROM HIGH %\r"));
        QVERIFY(lines[5].startsWith("5,IBM,") && lines[5].endsWith(",-25\r"));
    }

    // Every column's width (twips), text colour and weight after a fill, written
    // out by hand: -1 is the grid's default text colour.
    void columnLook()
    {
        click("butListall");
        const int twips[] = {500, 900, 900, 900, 900, 900, 900, 1100, 1100, 900, 900};
        const qint64 rowOne[] = {0xFFFFFF, -1,       0x000096, 0x323232, 0x009600, 0x323232,
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
        QCOMPARE(QPoint(grid()->col(), grid()->row()), QPoint(3, 1)); // where the header's sort left it
        QTest::mouseClick(view()->viewport(), Qt::LeftButton, {}, view()->visualRect(grid()->index(0, 2)).center());
        QCOMPARE(QPoint(grid()->col(), grid()->row()), QPoint(3, 1));
        grid()->setCurrentCell(2, 1);
        QCOMPARE(view()->currentIndex(), grid()->index(1, 0));
        // A long fill shows its last row; a sort of it shows its first, current.
        MarketDatabase db;
        db.Stocks = QList<StockRecord>(5001, stock("S", 1, 1));
        QList<int> all(5000);
        for (int i = 0; i < 5000; ++i)
            all[i] = i;
        addResultRows(*grid(), db, all, {500.0f, 10.99f});
        QVERIFY(view()->verticalScrollBar()->value() > 0);
        QVERIFY(view()->viewport()->rect().intersects(view()->visualRect(grid()->index(5004, 9))));
        clickHeader(2);
        QCOMPARE(view()->verticalScrollBar()->value(), 0);
        QCOMPARE(view()->currentIndex(), grid()->index(0, 1));
    }

    // Arrows move within the grid; Tab and Shift+Tab leave it, each its own way.
    void tabLeavesTheGrid()
    {
        click("butListall");
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        view()->setFocus();
        grid()->setCurrentCell(2, 3);
        QTest::keyClick(view(), Qt::Key_Down);
        QTest::keyClick(view(), Qt::Key_Right);
        QCOMPARE(QPoint(grid()->col(), grid()->row()), QPoint(4, 3));
        QTest::keyClick(view(), Qt::Key_Tab);
        QWidget *next = QApplication::focusWidget();
        QVERIFY(next && next != view());
        view()->setFocus();
        QTest::keyClick(view(), Qt::Key_Backtab, Qt::ShiftModifier);
        QVERIFY(QApplication::focusWidget() != view() && QApplication::focusWidget() != next);
        QCOMPARE(QPoint(grid()->col(), grid()->row()), QPoint(4, 3));
    }

    void enterRunsTheBoxesCommand_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QStringList>("symbols");
        const QStringList matched{"AAPL", "MSFTX", "MSFT", ""};
        QTest::newRow("LAST start: Match Stocks") << "txtLastS" << matched;
        QTest::newRow("VOLUME end: Match Stocks") << "txtVolumeE" << matched;
        QTest::newRow("quick search: Search") << "txtQSSymbol" << QStringList{"MSFT", "MSFT", ""};
    }

    // LAST between 0.2 and 0.6 is ticked and "msft" typed for the quick search.
    void enterRunsTheBoxesCommand()
    {
        QFETCH(QString, box);
        QFETCH(QStringList, symbols);
        find<QCheckBox>("chkLast")->setChecked(true);
        m_window->box("txtLastS")->setText(QStringLiteral("0.2"));
        m_window->box("txtLastE")->setText(QStringLiteral("0.6"));
        m_window->box("txtQSSymbol")->setText(QStringLiteral("msft"));
        QTest::keyClick(m_window->box(qPrintable(box)), Qt::Key_Return);
        QCOMPARE(column(1), symbols);
    }

    void cellsReadInEveryPalette_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::newRow("system palette") << false;
        QTest::newRow("dark palette") << true;
    }

    // As drawn: the current cell (SPREAD, amber) and an ordinary one (LAST,
    // dark blue) keep 4.5:1 between their text and background, and the empty
    // area stays light.
    void cellsReadInEveryPalette()
    {
        QFETCH(bool, dark);
        const QPalette system = QApplication::palette();
        if (dark) {
            QPalette palette = system;
            for (const auto role : {QPalette::Base, QPalette::Window, QPalette::Button})
                palette.setColor(role, QColor(0x24, 0x24, 0x24));
            for (const auto role : {QPalette::Text, QPalette::WindowText, QPalette::HighlightedText})
                palette.setColor(role, Qt::white);
            QApplication::setPalette(palette);
            m_window.reset(); // a window that starts under it
            QVERIFY(showWindow());
        }
        click("butListall");
        grid()->setCurrentCell(1, 7);
        const QImage image = view()->viewport()->grab().toImage();
        QApplication::setPalette(system);
        for (int col : {2, 7}) {
            const QRect cell = view()->visualRect(grid()->index(0, col - 1)).adjusted(1, 1, -2, -2);
            const QRgb background = image.pixel(cell.right() - 1, cell.center().y());
            double best = 1;
            for (int y = cell.top(); y <= cell.bottom(); ++y) {
                for (int x = cell.left(); x <= cell.right(); ++x)
                    best = qMax(best, contrastRatio(background & 0xFFFFFF, image.pixel(x, y) & 0xFFFFFF));
            }
            QVERIFY2(best >= kReadableContrast, qPrintable(QString::number(best)));
        }
        QVERIFY(image.pixelColor(image.width() - 2, image.height() - 2).lightness() >= 192);
    }

    void sortByHeader_data()
    {
        QTest::addColumn<int>("col");
        QTest::addColumn<int>("clicks"); // 1 ascending, 2 descending
        QTest::addColumn<QStringList>("symbols");
        QTest::newRow("LAST up") << 2 << 1 << QStringList{"IBM", "MSFT", "MSFT", "AAPL", "MSFTX"};
        QTest::newRow("VOLUME down") << 8 << 2 << QStringList{"AAPL", "MSFT", "IBM", "MSFTX", "MSFT"};
    }

    // Sorted by clicks on the header as it is shown; the rows are numbered
    // again, the marker row stays last, the first row is current and shown, and
    // the heading keeps its text and gains a mark pointing the sort's way.
    void sortByHeader()
    {
        QFETCH(int, col);
        QFETCH(int, clicks);
        QFETCH(QStringList, symbols);
        click("butListall");
        const QList<int> unmarked = headerWhite(col);
        for (int i = 0; i < clicks; ++i)
            clickHeader(col);
        QCOMPARE(column(1), symbols + QStringList{""});
        QCOMPARE(column(0), (QStringList{"1", "2", "3", "4", "5", "*"}));
        QCOMPARE(view()->currentIndex(), grid()->index(0, col - 1));
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
        clickHeader(2);
        QVERIFY(headerWhite(2) != plain);
        clickHeader(0);
        QCOMPARE(fillOrders(), (QList<int>{1, 2, 3, 4, 5}));
        QCOMPARE(headerWhite(2), plain);
        clickHeader(2);
        click("butListall"); // as "Match Stocks" and the quick search do
        QCOMPARE(fillOrders(), (QList<int>{1, 2, 3, 4, 5}));
        QCOMPARE(headerWhite(2), plain);
    }
};

QTEST_MAIN(TestScreeningWindow)
#include "tst_screeningwindow.moc"
