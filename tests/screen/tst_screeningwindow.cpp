#include "app/frmMain.h"
#include "common/ScriptedPrompter.h"
#include "common/TestSettings.h"
#include "market/MarketStore.h"
#include "screen/GridView.h"
#include "screen/ResultGrid.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

namespace {

StockRecord stock(const char *symbol, float last, double volume, float high, float low, float change = 0)
{
    StockRecord s;
    s.Symbol = QString::fromLatin1(symbol);
    s.Last = last;
    s.Open = last;
    s.Volume = volume;
    s.High = high;
    s.Low = low;
    s.Spread = high - low;
    s.Change = change;
    return s;
}

// Index order is the order of the rows.
MarketDatabase testMarket()
{
    MarketDatabase db;
    db.Stocks = {
        stock("msft", 0.10f, 1000000, 2.5f, 2.0f, 1.5f),  // 0: Last on the start bound, top volume
        stock("AAPL", 0.50f, 1000001, 0.3f, 0.2f, -0.25f), // 1: Last on the end bound, volume one over
        stock("MSFTX", 0.51f, 50000, 0.4f, 0.3f),          // 2: Last just over
        stock("MSFT", 0.25f, 49999, 0.0f, 0.2f),           // 3: inside; no high
        stock("IBM", 0.09f, 60000, 0.5f, 0.1f),            // 4: Last just under
        StockRecord{},
    };
    return db;
}

QStringList column(const ResultGrid *g, int col)
{
    QStringList texts;
    for (int r = 1; r < g->rows(); ++r)
        texts << g->text(r, col);
    return texts;
}

} // namespace

class TestScreeningWindow : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestSettings> m_settings;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ScriptedPrompter> m_prompter;
    std::unique_ptr<frmMain> m_w;

    QPushButton *button(const char *name) { return m_w->findChild<QPushButton *>(QString::fromLatin1(name)); }
    QCheckBox *check(const char *name) { return m_w->findChild<QCheckBox *>(QString::fromLatin1(name)); }
    ResultGrid *grid() { return m_w->grid(); }

    void click(const char *name) { QTest::mouseClick(button(name), Qt::LeftButton); }

    void type(const char *box, const QString &text)
    {
        QLineEdit *b = m_w->box(box);
        b->selectAll();
        b->setFocus();
        if (text.isEmpty())
            QTest::keyClick(b, Qt::Key_Delete);
        else
            QTest::keyClicks(b, text);
        QCOMPARE(b->text(), text);
    }

    void tick(const char *name, bool on = true)
    {
        QCheckBox *c = check(name);
        if (c->isChecked() != on)
            QTest::mouseClick(c, Qt::LeftButton, {}, c->rect().center());
        QCOMPARE(c->isChecked(), on);
    }

private slots:
    void init()
    {
        m_settings = std::make_unique<TestSettings>();
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(writeMarketFile(m_dir->filePath(QStringLiteral("nasdaq.bin")), testMarket()));
        MarketDatabase empty;
        QVERIFY(writeMarketFile(m_dir->filePath(QStringLiteral("nyse.bin")), empty));
        m_prompter = std::make_unique<ScriptedPrompter>();
        m_w = std::make_unique<frmMain>(m_dir->path(), m_prompter.get());
        m_w->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_w.get()));
        m_w->findChild<QAction *>(QStringLiteral("mnuOpen_Nasdaq"))->trigger();
        QVERIFY(button("butListall")->isVisible());
    }

    void cleanup()
    {
        m_w.reset();
        m_prompter.reset();
        m_dir.reset();
        m_settings.reset();
    }

    void openingShowsTheEmptyLayout()
    {
        QCOMPARE(grid()->rows(), 2);
        QCOMPARE(grid()->text(0, 10), QStringLiteral("SHARES"));
        QCOMPARE(grid()->row(), 0);
    }

    void listAllShowsEveryStockInIndexOrder()
    {
        click("butListall");
        QCOMPARE(column(grid(), 0), (QStringList{"1", "2", "3", "4", "5", "*"}));
        QCOMPARE(column(grid(), 1), (QStringList{"MSFT", "AAPL", "MSFTX", "MSFT", "IBM", ""}));
        // The default capital 500.00 and commission 10.99 at low 2, high 2.5.
        QCOMPARE(grid()->text(1, 9), QStringLiteral("100.52"));
        QCOMPARE(grid()->text(1, 10), QStringLiteral("245"));
        QCOMPARE(grid()->text(1, 8), QStringLiteral("1,000,000"));
        QCOMPARE(grid()->text(1, 4), QStringLiteral("1.5"));
        QCOMPARE(grid()->text(2, 4), QStringLiteral("-0.25"));
        QCOMPARE(grid()->text(4, 9), QStringLiteral("0")); // no high
        QCOMPARE(grid()->text(4, 10), QStringLiteral("0"));
        // The current cell: last data row, SHARES; the view shows it.
        QCOMPARE(grid()->row(), 5);
        QCOMPARE(grid()->col(), 10);
        QCOMPARE(m_w->gridView()->currentIndex(), grid()->index(4, 9));
        QVERIFY(m_prompter->messages.isEmpty());

        // A second run starts from an empty grid, not below the first.
        click("butListall");
        QCOMPARE(grid()->rows(), 7);
    }

    void matchStocksKeepsWhatLiesInsideEveryTickedRange()
    {
        click("butDS"); // nothing ticked: nothing listed
        QCOMPARE(grid()->rows(), 2);
        QCOMPARE(grid()->row(), 0);

        tick("chkLast");
        type("txtLastS", QStringLiteral("0.10"));
        type("txtLastE", QStringLiteral("0.50"));
        click("butDS");
        QCOMPARE(column(grid(), 1), (QStringList{"MSFT", "AAPL", "MSFT", ""}));
        QCOMPARE(column(grid(), 0), (QStringList{"1", "2", "3", "*"}));

        // Two criteria: AAPL passes Last but not Volume.
        tick("chkVolume");
        type("txtVolumeS", QStringLiteral("50000"));
        type("txtVolumeE", QStringLiteral("1000000"));
        click("butDS");
        QCOMPARE(column(grid(), 1), (QStringList{"MSFT", ""}));
        QCOMPARE(grid()->text(1, 8), QStringLiteral("1,000,000"));

        // Volume alone.
        tick("chkLast", false);
        click("butDS");
        QCOMPARE(column(grid(), 1), (QStringList{"MSFT", "MSFTX", "IBM", ""}));

        // An inverted range lists nothing.
        type("txtVolumeS", QStringLiteral("5"));
        type("txtVolumeE", QStringLiteral("1"));
        click("butDS");
        QCOMPARE(grid()->rows(), 2);
        QVERIFY(m_prompter->messages.isEmpty());
    }

    void highAloneIgnoresVolume()
    {
        tick("chkHigh");
        type("txtHighS", QStringLiteral("0.10"));
        type("txtHighE", QStringLiteral("0.50"));
        click("butDS");
        QCOMPARE(column(grid(), 1), (QStringList{"AAPL", "MSFTX", "IBM", ""}));
    }

    void tickedBoxWithoutANumberRefusesTheScreen_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::newRow("empty") << QString() << QStringLiteral("0.50");
        QTest::newRow("lone point") << QStringLiteral(".") << QStringLiteral("0.50");
        QTest::newRow("two points") << QStringLiteral("0.10") << QStringLiteral("1.2.3");
        QTest::newRow("beyond single precision") << QStringLiteral("0") << QStringLiteral("9") + QString(39, u'9');
    }

    void tickedBoxWithoutANumberRefusesTheScreen()
    {
        QFETCH(QString, start);
        QFETCH(QString, end);
        click("butListall");
        grid()->setCurrentCell(2, 3);
        tick("chkLow");
        type("txtLowS", start);
        type("txtLowE", end);
        click("butDS");
        QCOMPARE(m_prompter->messages.size(), 1);
        QCOMPARE(m_prompter->messages[0].icon, Prompter::Icon::Exclamation);
        QVERIFY(m_prompter->lastText().contains(QStringLiteral("\"Low\"")));
        QVERIFY(m_prompter->lastText().contains(QStringLiteral("number")));
        // The grid keeps what it showed.
        QCOMPARE(grid()->rows(), 7);
        QCOMPARE(grid()->row(), 2);
        QCOMPARE(grid()->col(), 3);
        // An unticked criterion's boxes are never read.
        tick("chkLow", false);
        tick("chkLast");
        click("butDS");
        QCOMPARE(m_prompter->messages.size(), 1);
        QCOMPARE(column(grid(), 1), (QStringList{"MSFT", "AAPL", "MSFT", ""}));
    }

    void quickSearchUpperCasesAndMatchesWholeSymbols()
    {
        type("txtQSSymbol", QString());
        QTest::keyClicks(m_w->box("txtQSSymbol"), QStringLiteral("msft"));
        QCOMPARE(m_w->box("txtQSSymbol")->text(), QStringLiteral("MSFT"));
        QCOMPARE(m_w->box("txtQSSymbol")->cursorPosition(), 4);
        click("butQS");
        QCOMPARE(column(grid(), 1), (QStringList{"MSFT", "MSFT", ""}));
        QCOMPARE(column(grid(), 0), (QStringList{"1", "2", "*"}));
        QCOMPARE(grid()->row(), 2);

        QTest::keyClick(m_w->box("txtQSSymbol"), Qt::Key_Backspace); // MSF: no prefix match
        click("butQS");
        QCOMPARE(grid()->rows(), 2);

        type("txtQSSymbol", QString());
        click("butQS");
        QCOMPARE(grid()->rows(), 2);
        QVERIFY(m_prompter->messages.isEmpty());
    }

    void capitalWithoutANumberLeavesTheFiguresEmpty()
    {
        type("txtCapital", QStringLiteral("."));
        click("butListall");
        QCOMPARE(grid()->rows(), 7);
        QCOMPARE(column(grid(), 9), QStringList(6, QString()));
        QCOMPARE(column(grid(), 10), QStringList(6, QString()));
        QCOMPARE(grid()->text(5, 1), QStringLiteral("IBM"));
        type("txtCapital", QStringLiteral("25"));
        type("txtComm", QStringLiteral("0"));
        click("butListall");
        QCOMPARE(grid()->text(1, 10), QStringLiteral("12")); // 25 / 2 = 12.5, to even
        QVERIFY(m_prompter->messages.isEmpty());
    }

    void addResultRowAppendsOneListedStock()
    {
        m_w->Setup_Grid();
        m_w->AddResultRow(4);
        m_w->AddResultRow(-1);
        m_w->AddResultRow(5); // the spare record is not listed
        m_w->AddResultRow(0);
        QCOMPARE(column(grid(), 1), (QStringList{"IBM", "MSFT", ""}));
        QCOMPARE(grid()->row(), 2);
        QCOMPARE(grid()->col(), 10);
        QCOMPARE(m_w->gridView()->currentIndex(), grid()->index(1, 9));
    }

    void emptyMarketGivesTheEmptyLayout()
    {
        m_w->findChild<QAction *>(QStringLiteral("mnuOpen_NYSE"))->trigger();
        tick("chkLast");
        for (const char *b : {"butListall", "butDS", "butQS"}) {
            click(b);
            QCOMPARE(grid()->rows(), 2);
            QCOMPARE(grid()->text(1, 0), QString());
        }
    }

    // A comma locale shows commas, and still reads the boxes' points.
    void commaLocale()
    {
        const QLocale before;
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        tick("chkLast");
        click("butDS");
        const QStringList last = column(grid(), 2);
        const QString volume = grid()->text(1, 8);
        const QString profit = grid()->text(1, 9);
        QLocale::setDefault(before);
        QCOMPARE(last, (QStringList{"0,1", "0,5", "0,25", ""}));
        QCOMPARE(volume, QStringLiteral("1.000.000"));
        QCOMPARE(profit, QStringLiteral("100,52"));
    }
};

QTEST_MAIN(TestScreeningWindow)
#include "tst_screeningwindow.moc"
