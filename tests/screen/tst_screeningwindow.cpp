#include "app/frmMain.h"
#include "common/ScriptedPrompter.h"
#include "common/TestSettings.h"
#include "market/MarketStore.h"
#include "screen/GridFill.h"
#include "screen/GridView.h"

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
    StockRecord s;
    s.Symbol = QString::fromLatin1(symbol);
    s.Last = s.Open = last;
    s.Low = 2.0f;
    s.High = 2.5f;
    s.Volume = volume;
    s.Change = change;
    return s;
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
class TestScreeningWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestSettings> m_settings;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ScriptedPrompter> m_prompter;
    std::unique_ptr<frmMain> m_w;

    ResultGrid *grid() { return m_w->grid(); }
    GridView *view() { return m_w->gridView(); }
    void click(const char *name) { QTest::mouseClick(m_w->findChild<QPushButton *>(name), Qt::LeftButton); }

    void tick(const char *name)
    {
        QCheckBox *box = m_w->findChild<QCheckBox *>(name);
        QTest::mouseClick(box, Qt::LeftButton, {}, box->rect().center());
    }

    void type(const char *box, const QString &text)
    {
        m_w->box(box)->setFocus();
        m_w->box(box)->selectAll();
        QTest::keyClicks(m_w->box(box), text);
        QCOMPARE(m_w->box(box)->text(), text);
    }

private slots:
    // A comma locale throughout: the cells show commas, the boxes still read points.
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); }

    void init()
    {
        m_settings = std::make_unique<TestSettings>();
        m_dir = std::make_unique<QTemporaryDir>();
        MarketDatabase db;
        db.Stocks = {stock("msft", 0.10f, 1000000, 1.5f), stock("AAPL", 0.50f, 1000001, -0.25f),
                     stock("MSFTX", 0.51f, 50000),        stock("MSFT", 0.25f, 49999),
                     stock("IBM", 0.09f, 60000),          StockRecord{}};
        QVERIFY(writeMarketFile(m_dir->filePath(QStringLiteral("nasdaq.bin")), db));
        m_prompter = std::make_unique<ScriptedPrompter>();
        m_w = std::make_unique<frmMain>(m_dir->path(), m_prompter.get());
        m_w->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_w.get()));
        m_w->findChild<QAction *>(QStringLiteral("mnuOpen_Nasdaq"))->trigger();
        QCOMPARE(grid()->rows(), 2);
    }

    void cleanup() { m_w.reset(); }

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
        click("butDS"); // nothing ticked: nothing listed
        QCOMPARE(grid()->rows(), 2);
        tick("chkLast");
        type("txtLastS", QStringLiteral("0.10"));
        type("txtLastE", QStringLiteral("0.50"));
        click("butDS");
        QCOMPARE(column(grid(), 1), (QStringList{"MSFT", "AAPL", "MSFT", ""}));
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

    void quickSearch()
    {
        QLineEdit *symbol = m_w->box("txtQSSymbol");
        symbol->clear();
        QTest::keyClicks(symbol, QStringLiteral("msft"));
        QCOMPARE(symbol->text(), QStringLiteral("MSFT"));
        QCOMPARE(symbol->cursorPosition(), 4);
        click("butQS");
        QCOMPARE(column(grid(), 1), (QStringList{"MSFT", "MSFT", ""}));
        QTest::keyClick(symbol, Qt::Key_Backspace); // MSF: no prefix match
        click("butQS");
        QCOMPARE(grid()->rows(), 2);
    }

    void addResultRowAppendsOneListedStock()
    {
        m_w->Setup_Grid();
        for (int index : {4, -1, 5, 0}) // 5 is the spare record, not listed
            m_w->AddResultRow(index);
        QCOMPARE(column(grid(), 1), (QStringList{"IBM", "MSFT", ""}));
        QCOMPARE(QPoint(grid()->col(), grid()->row()), QPoint(10, 2));
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
    // program's moves show in the view; widths in twips scaled by the DPI.
    void gridView()
    {
        click("butListall");
        QCOMPARE(view()->horizontalHeader()->sectionSize(6), qRound(1100 * view()->logicalDpiX() / 1440.0));
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
};

QTEST_MAIN(TestScreeningWindow)
#include "tst_screeningwindow.moc"
