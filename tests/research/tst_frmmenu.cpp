// The Symbol Menu: its tree, its page items, "Remove", the two symbol
// buttons and the grid's mouse gestures, on a grid filled by "List All".
#include "app/frmMain.h"
#include "common/ScriptedPrompter.h"
#include "common/TestSettings.h"
#include "market/MarketStore.h"
#include "research/LinkCatalogue.h"
#include "research/ResearchBrowser.h"
#include "research/frmMenu.h"
#include "screen/GridView.h"
#include "screen/ResultGrid.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

namespace {

QString latin(const char *text)
{
    return QString::fromLatin1(text);
}

// Stands in for the browser library and records every page asked for.
class RecordingBrowser : public ResearchBrowser
{
public:
    QList<QUrl> opened;
    ResearchHost *host = nullptr;

    void open(ResearchHost *h, const QUrl &url) override
    {
        host = h;
        opened.append(url);
    }
    QWidget *window() const override { return nullptr; }
    void discard() override {}
};

struct Listed
{
    const char *symbol;
    float last;
};

// Four stocks; MSFT is stored in lower case and shows in upper case.
const Listed kListed[] = {{"msft", 27.5f}, {"AAPL", 14.25f}, {"INTC", 21.75f}, {"IBM", 88.5f}};

MarketDatabase sampleMarket()
{
    MarketDatabase db;
    for (const Listed &l : kListed) {
        StockRecord &r = db.Stocks.last();
        r.Symbol = latin(l.symbol);
        r.Last = l.last;
        r.Open = l.last;
        r.High = l.last + 1;
        r.Low = l.last - 1;
        r.Volume = 1000;
        db.Stocks.append(StockRecord{});
    }
    return db;
}

// What a menu entry shows: "&&" stands for one "&".
QString shown(const QAction *a)
{
    return a->text().replace(QStringLiteral("&&"), QStringLiteral("&"));
}

QUrl expectedUrl(QStringView control, const QString &symbol)
{
    if (const ChartPeriod *p = LinkCatalogue::findChartPeriod(control))
        return LinkCatalogue::chartUrl(p->templateIndex, symbol, latin(p->time), latin(p->extra));
    const ResearchLink *l = LinkCatalogue::findResearchLink(control);
    return l ? LinkCatalogue::researchUrl(latin(l->host), latin(l->prefix), symbol, latin(l->suffix)) : QUrl();
}

void closePopups()
{
    while (QWidget *popup = QApplication::activePopupWidget())
        popup->close();
}

} // namespace

class TestFrmMenu : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestSettings> m_settings;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ScriptedPrompter> m_prompter;
    std::unique_ptr<RecordingBrowser> m_browser;
    std::unique_ptr<frmMain> m_main;

    ResultGrid *grid() { return m_main->grid(); }
    frmMenu *menu() { return m_main->symbolMenu(); }
    QAction *item(const char *name) { return menu()->findChild<QAction *>(latin(name)); }
    QPushButton *button(const char *name) { return m_main->findChild<QPushButton *>(latin(name)); }

    // Opens NASDAQ, then lists every stock with the real "List All".
    void listAll()
    {
        m_main->findChild<QAction *>(QStringLiteral("mnuOpen_Nasdaq"))->trigger();
        QTest::mouseClick(button("butListall"), Qt::LeftButton);
        QCOMPARE(grid()->rows(), 2 + int(std::size(kListed)));
        QCOMPARE(grid()->row(), int(std::size(kListed)));
        // The grid has come into view with room for every row.
        QWidget *viewport = m_main->gridView()->viewport();
        QTRY_VERIFY(viewport->isVisible() && viewport->rect().contains(cell(grid()->rows() - 1, 6)));
    }

    QPoint cell(int row, int col)
    {
        const QRect r = m_main->gridView()->visualRect(grid()->index(row - 1, col - 1));
        return r.center();
    }

    void press(Qt::MouseButton button, int row, int col)
    {
        QTest::mouseClick(m_main->gridView()->viewport(), button, {}, cell(row, col));
    }

    bool symbolMenuShown()
    {
        return menu()->lastPopup() == menu()->mnuSymb() && QTest::qWaitFor([&] { return menu()->mnuSymb()->isVisible(); });
    }

    bool nothingPopped() const
    {
        return !m_main->findChild<frmMenu *>() || !m_main->findChild<frmMenu *>()->lastPopup();
    }

    // Picks "Charts" > "Yahoo!" > "1 Day" and returns the symbol the page got.
    QString symbolOfChart()
    {
        const qsizetype before = m_browser->opened.size();
        item("mnuYahoo_1D")->trigger();
        if (m_browser->opened.size() != before + 1)
            return QStringLiteral("<no page>");
        return m_browser->opened.last().query().section(u'&', 0, 0).mid(2);
    }

private slots:
    void init()
    {
        m_settings = std::make_unique<TestSettings>();
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(writeMarketFile(m_dir->filePath(QStringLiteral("nasdaq.bin")), sampleMarket()));
        m_prompter = std::make_unique<ScriptedPrompter>();
        m_browser = std::make_unique<RecordingBrowser>();
        m_main = std::make_unique<frmMain>(m_dir->path(), m_prompter.get());
        m_main->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_main.get()));
    }

    void cleanup()
    {
        closePopups();
        m_main.reset();
        m_browser.reset();
        m_prompter.reset();
    }

    void menuHostIsMadeOnFirstUseAndNeverShown()
    {
        QVERIFY(!m_main->findChild<frmMenu *>());
        listAll();
        QVERIFY(!m_main->findChild<frmMenu *>());
        QTest::mouseClick(button("butSymbCharts"), Qt::LeftButton);
        frmMenu *host = m_main->findChild<frmMenu *>();
        QVERIFY(host);
        QCOMPARE(host, menu());
        QVERIFY(!host->isVisible());
        QCOMPARE(host->objectName(), QStringLiteral("frmMenu"));
    }

    void symbolMenuTree()
    {
        QMenu *root = menu()->mnuSymb();
        QCOMPARE(root->objectName(), QStringLiteral("mnuSymb"));
        QCOMPARE(root->title(), QStringLiteral("Symbol Menu"));
        QStringList names, captions;
        for (QAction *a : root->actions()) {
            names << a->objectName();
            captions << (a->isSeparator() ? QStringLiteral("-") : shown(a));
        }
        QCOMPARE(names, (QStringList{"mnuSymb_Charts", "mnuSymb_Research", "Brk1", "mnuSymb_Remove"}));
        QCOMPARE(captions, (QStringList{"Charts", "Research", "-", "Remove"}));
        QCOMPARE(root->actions()[0]->menu(), menu()->mnuSymb_Charts());
        QCOMPARE(root->actions()[1]->menu(), menu()->mnuSymb_Research());

        names.clear();
        captions.clear();
        for (QAction *a : menu()->mnuSymb_Charts()->actions()) {
            names << a->objectName();
            captions << shown(a);
            QVERIFY(a->menu());
            QCOMPARE(a->menu()->objectName(), a->objectName());
        }
        QCOMPARE(names, (QStringList{"mnuCharts_Yahoo", "mnuCharts_BigCharts"}));
        QCOMPARE(captions, (QStringList{"Yahoo!", "Big Charts"}));

        names.clear();
        captions.clear();
        for (QAction *a : menu()->mnuSymb_Research()->actions()) {
            names << a->objectName();
            captions << (a->isSeparator() ? QStringLiteral("-") : shown(a));
        }
        QCOMPARE(names, (QStringList{"mnuResearch_E", "mnuResearch_F", "mnuResearch_SI", "mnuResearch_TT",
                                     "mnuResearch_IT", "mnuResearch_IH", "Brk2", "mnuResearch_NewsArticles",
                                     "mnuResearch_PressReleases", "mnuResearch_CorporateEvents",
                                     "mnuResearch_SECFilings", "mnuResearch_DividendsSplits"}));
        QCOMPARE(captions, (QStringList{"Earnings", "Financials", "Short Interest", "Technical Tools",
                                        "Insider Trading", "Institutional Holdings", "-", "News Articles",
                                        "Press Releases", "Corporate Events", "SEC Filings", "Dividends & Splits"}));
    }

    void periodItems_data()
    {
        QTest::addColumn<QString>("submenu");
        QTest::addColumn<QStringList>("captions");
        QTest::newRow("Yahoo!") << QStringLiteral("mnuCharts_Yahoo")
                                << QStringList{"1 Day", "5 Day", "3 Month", "6 Month", "1 Year", "2 Year", "5 Year"};
        QTest::newRow("Big Charts") << QStringLiteral("mnuCharts_BigCharts")
                                    << QStringList{"1 Day",   "2 Day",  "5 Day",  "10 Day", "1 Month",
                                                   "2 Month", "3 Month", "6 Month", "YTD",    "1 Year",
                                                   "2 Year",  "3 Year", "4 Year", "5 Year", "1 Decade"};
    }

    void periodItems()
    {
        QFETCH(QString, submenu);
        QFETCH(QStringList, captions);
        QMenu *m = menu()->findChild<QMenu *>(submenu);
        QVERIFY(m);
        QStringList got;
        for (QAction *a : m->actions())
            got << shown(a);
        QCOMPARE(got, captions);
    }

    void researchCaptionsKeepTheirBlanks_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("group");
        QTest::addColumn<QString>("caption");
        QTest::newRow("Financials") << QStringLiteral("mnuF_YahooFinance") << QStringLiteral("mnuResearch_F") << QStringLiteral("Yahoo Finance ");
        QTest::newRow("Technical Tools") << QStringLiteral("mnuTT_ClearStation") << QStringLiteral("mnuResearch_TT") << QStringLiteral("Clear Station ");
        QTest::newRow("Institutional MSN") << QStringLiteral("mnuIH_MSN") << QStringLiteral("mnuResearch_IH") << QStringLiteral("MSN Money ");
        QTest::newRow("Institutional Quote") << QStringLiteral("mnuIH_Quote") << QStringLiteral("mnuResearch_IH") << QStringLiteral("Quote.com ");
        QTest::newRow("Dividends") << QStringLiteral("mnuDS_BigCharts") << QStringLiteral("mnuResearch_DividendsSplits") << QStringLiteral("Big Charts ");
        QTest::newRow("Insider Yahoo") << QStringLiteral("mnuIT_YahooFinance") << QStringLiteral("mnuResearch_IT") << QStringLiteral("Yahoo Finance");
        QTest::newRow("Insider Quote") << QStringLiteral("mnuIT_Quote") << QStringLiteral("mnuResearch_IT") << QStringLiteral("Quote.com");
        QTest::newRow("Barchart") << QStringLiteral("mnuSI_Barchart") << QStringLiteral("mnuResearch_SI") << QStringLiteral("Barchart.com");
        QTest::newRow("Edgar") << QStringLiteral("mnuE_Edgar") << QStringLiteral("mnuResearch_E") << QStringLiteral("Edgar");
        QTest::newRow("Edgar Online") << QStringLiteral("mnuSEC_EdgarOnline") << QStringLiteral("mnuResearch_SECFilings") << QStringLiteral("Edgar Online");
    }

    void researchCaptionsKeepTheirBlanks()
    {
        QFETCH(QString, control);
        QFETCH(QString, group);
        QFETCH(QString, caption);
        QAction *a = menu()->findChild<QAction *>(control);
        QVERIFY(a);
        QCOMPARE(shown(a), caption);
        QVERIFY(a->associatedObjects().contains(menu()->findChild<QMenu *>(group)));
    }

    void researchGroupsHoldTheirItemsInOrder()
    {
        int total = 0;
        for (const ResearchGroup &g : kResearchGroups) {
            QMenu *m = menu()->findChild<QMenu *>(latin(g.control));
            QVERIFY2(m, g.control);
            QStringList expected, got;
            for (const ResearchLink &l : kResearchLinks) {
                if (qstrcmp(l.group, g.control) == 0)
                    expected << latin(l.control);
            }
            for (QAction *a : m->actions())
                got << a->objectName();
            QCOMPARE(got, expected);
            total += int(got.size());
        }
        QCOMPARE(total, 37);
    }

    void everyPageItemReachesItsHandler()
    {
        menu()->setResearchBrowser(m_browser.get());
        listAll();
        grid()->setCurrentCell(2, 1); // AAPL
        QStringList controls;
        for (const ChartPeriod &p : kChartPeriods)
            controls << latin(p.control);
        for (const ResearchLink &l : kResearchLinks)
            controls << latin(l.control);
        QCOMPARE(controls.size(), 22 + 37);
        for (const QString &control : controls) {
            QAction *a = menu()->findChild<QAction *>(control);
            QVERIFY2(a, qPrintable(control));
            const QUrl expected = expectedUrl(control, QStringLiteral("AAPL"));
            a->trigger();
            QCOMPARE(m_browser->opened.size(), 1);
            QCOMPARE(m_browser->opened.takeLast(), expected);
            // The handler named after the item opens the same page.
            const QByteArray handler = (control + QStringLiteral("_Click")).toLatin1();
            QVERIFY2(QMetaObject::invokeMethod(menu(), handler.constData()), handler.constData());
            QCOMPARE(m_browser->opened.size(), 1);
            QCOMPARE(m_browser->opened.takeLast(), expected);
        }
        QCOMPARE(m_browser->host, static_cast<ResearchHost *>(menu()));
        QVERIFY(m_prompter->messages.isEmpty());
    }

    void examplePagesForMsftInRow3()
    {
        menu()->setResearchBrowser(m_browser.get());
        listAll();
        grid()->setCurrentCell(3, 1);
        grid()->setText(QStringLiteral("MSFT"));
        item("mnuBC_YTD")->trigger();
        item("mnuIT_YahooFinance")->trigger();
        QCOMPARE(m_browser->opened.size(), 2);
        QCOMPARE(m_browser->opened[0].host(), QStringLiteral("bigcharts.marketwatch.com"));
        QCOMPARE(m_browser->opened[0].query(),
                 QStringLiteral("state=8&mocktick=1&size=3&nosettings=1&symb=MSFT&time=19&freq=1&style=340"));
        QCOMPARE(m_browser->opened[1].host(), QStringLiteral("finance.yahoo.com"));
        QCOMPARE(m_browser->opened[1].path() + u'?' + m_browser->opened[1].query(), QStringLiteral("/q/it?s=MSFT"));
    }

    void noPageWithoutAUsableSymbol_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("col");
        QTest::newRow("header row") << 0 << 1;
        QTest::newRow("header row, SHARES") << 0 << 10;
        QTest::newRow("empty marker row") << 5 << 1;
        QTest::newRow("empty cell of a data row") << 2 << 3;
    }

    void noPageWithoutAUsableSymbol()
    {
        QFETCH(int, row);
        QFETCH(int, col);
        menu()->setResearchBrowser(m_browser.get());
        listAll();
        grid()->setCurrentCell(row, col);
        if (row > 0)
            grid()->setText(QString());
        QCOMPARE(grid()->text(row, col).isEmpty(), row > 0);
        for (const char *name : {"mnuYahoo_5Y", "mnuBC_1DE", "mnuTT_StockCharts", "mnuDS_BigCharts"})
            item(name)->trigger();
        menu()->OpenChart(1, QStringLiteral("19"), QStringLiteral("1"));
        menu()->OpenResearchPage(QStringLiteral("finance.yahoo.com"), QStringLiteral("/q/it?s="), QString());
        QVERIFY(m_browser->opened.isEmpty());
        QVERIFY(m_prompter->messages.isEmpty());
    }

    void anyCurrentCellIsTakenAsTheSymbol()
    {
        // A price cell current: its text goes where the symbol would.
        menu()->setResearchBrowser(m_browser.get());
        listAll();
        grid()->setCurrentCell(2, 2);
        QCOMPARE(symbolOfChart(), grid()->text(2, 2));
        QVERIFY(!grid()->text(2, 2).isEmpty());
        QCOMPARE(grid()->row(), 2);
        QCOMPARE(grid()->col(), 2);
    }

    void missingBrowserLibraryIsReported()
    {
        QTemporaryDir empty;
        menu()->setBrowserDirectory(empty.path());
        listAll();
        grid()->setCurrentCell(0, 10);
        item("mnuBC_YTD")->trigger();
        QVERIFY(m_prompter->messages.isEmpty()); // nothing to open, nothing to say
        grid()->setCurrentCell(1, 1);
        item("mnuBC_YTD")->trigger();
        QCOMPARE(m_prompter->messages.size(), 1);
        QCOMPARE(m_prompter->messages[0].icon, Prompter::Icon::Exclamation);
        QVERIFY(m_prompter->lastText().startsWith(QStringLiteral("The research window could not be opened.")));
    }

    void symbolButtonsPopTheirSubmenus()
    {
        listAll();
        grid()->setCurrentCell(3, 4);
        QTest::mouseClick(button("butSymbCharts"), Qt::LeftButton);
        QCOMPARE(menu()->lastPopup(), menu()->mnuSymb_Charts());
        QTRY_VERIFY(menu()->mnuSymb_Charts()->isVisible());
        closePopups();
        QTest::mouseClick(button("butSymbResearch"), Qt::LeftButton);
        QCOMPARE(menu()->lastPopup(), menu()->mnuSymb_Research());
        QTRY_VERIFY(menu()->mnuSymb_Research()->isVisible());
        closePopups();
        // Whatever cell was current stays current.
        QCOMPARE(grid()->row(), 3);
        QCOMPARE(grid()->col(), 4);
    }

    void rightClickAfterListAllActsOnTheLastRow()
    {
        menu()->setResearchBrowser(m_browser.get());
        listAll();
        press(Qt::RightButton, 1, 3); // the row under the pointer does not matter
        QCOMPARE(grid()->row(), 4);
        QCOMPARE(grid()->col(), 1);
        QVERIFY(symbolMenuShown());
        closePopups();
        QCOMPARE(symbolOfChart(), QStringLiteral("IBM"));
    }

    void rightReleaseMovesToTheSymbolOfThePickedRow_data()
    {
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::newRow("right") << Qt::RightButton;
        QTest::newRow("middle") << Qt::MiddleButton;
    }

    void rightReleaseMovesToTheSymbolOfThePickedRow()
    {
        QFETCH(Qt::MouseButton, button);
        menu()->setResearchBrowser(m_browser.get());
        listAll();
        press(Qt::LeftButton, 3, 2); // the LAST price of INTC
        QCOMPARE(grid()->row(), 3);
        QCOMPARE(grid()->col(), 2);
        QVERIFY(nothingPopped());
        press(button, 3, 2);
        QCOMPARE(grid()->row(), 3);
        QCOMPARE(grid()->col(), 1);
        QCOMPARE(grid()->text(), QStringLiteral("INTC"));
        QVERIFY(m_main->gridView()->currentIndex() == grid()->index(2, 0));
        QVERIFY(symbolMenuShown());
        closePopups();
        QCOMPARE(symbolOfChart(), QStringLiteral("INTC"));
    }

    void leftReleaseNeverPops()
    {
        listAll();
        for (int row = 1; row <= 5; ++row)
            press(Qt::LeftButton, row, row == 5 ? 1 : 4);
        QVERIFY(nothingPopped());
        QVERIFY(!QApplication::activePopupWidget());
        QCOMPARE(grid()->row(), 5);
    }

    void headerRowCurrentMeansNoMenu_data()
    {
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::newRow("right") << Qt::RightButton;
        QTest::newRow("middle") << Qt::MiddleButton;
    }

    void headerRowCurrentMeansNoMenu()
    {
        QFETCH(Qt::MouseButton, button);
        // A market opened and nothing listed yet: the header row is current.
        m_main->findChild<QAction *>(QStringLiteral("mnuOpen_Nasdaq"))->trigger();
        QCOMPARE(grid()->row(), 0);
        press(button, 1, 1);
        QVERIFY(nothingPopped());
        QVERIFY(!QApplication::activePopupWidget());
        QCOMPARE(grid()->row(), 0);
        QCOMPARE(grid()->col(), 10);
    }

    void emptyRowStillPopsButOpensNothing()
    {
        menu()->setResearchBrowser(m_browser.get());
        listAll();
        press(Qt::LeftButton, 5, 3); // the "*" row
        press(Qt::RightButton, 5, 3);
        QCOMPARE(grid()->row(), 5);
        QCOMPARE(grid()->col(), 1);
        QVERIFY(symbolMenuShown());
        closePopups();
        QCOMPARE(symbolOfChart(), QStringLiteral("<no page>"));
    }

    void doubleClickPicksTheRowsSymbol()
    {
        menu()->setResearchBrowser(m_browser.get());
        listAll();
        QTest::mouseDClick(m_main->gridView()->viewport(), Qt::LeftButton, {}, cell(2, 6)); // AAPL's HIGH
        QCOMPARE(grid()->row(), 2);
        QCOMPARE(grid()->col(), 1);
        QVERIFY(symbolMenuShown());
        closePopups();
        QCOMPARE(symbolOfChart(), QStringLiteral("AAPL"));
    }

    void removeActsOnTheCurrentRowsSymbol()
    {
        listAll();
        press(Qt::LeftButton, 1, 5);
        press(Qt::RightButton, 1, 5);
        QCOMPARE(grid()->text(), QStringLiteral("MSFT")); // stored as "msft"
        closePopups();
        item("mnuSymb_Remove")->trigger();
        QCOMPARE(m_prompter->messages.size(), 1);
        QCOMPARE(m_prompter->messages[0].text, QStringLiteral("\"MSFT\" has been removed!"));
        QCOMPARE(m_prompter->messages[0].icon, Prompter::Icon::Information);
        MarketDatabase onDisk;
        QVERIFY(readMarketFile(m_dir->filePath(QStringLiteral("nasdaq.bin")), &onDisk));
        QCOMPARE(onDisk.listedCount(), 3);
        QCOMPARE(onDisk.Stocks[0].Symbol, QStringLiteral("AAPL"));
        // The row stays until the grid is filled again; removing it twice says so.
        QCOMPARE(grid()->text(1, 1), QStringLiteral("MSFT"));
        item("mnuSymb_Remove")->trigger();
        QCOMPARE(m_prompter->messages.size(), 2);
        QCOMPARE(m_prompter->messages[1].text, QStringLiteral("\"MSFT\" is not listed!"));
        QCOMPARE(m_prompter->messages[1].icon, Prompter::Icon::Exclamation);
        // The message names the symbol in upper case whatever the cell holds.
        grid()->setCurrentCell(2, 1);
        grid()->setText(QStringLiteral("aapl"));
        item("mnuSymb_Remove")->trigger();
        QCOMPARE(m_prompter->lastText(), QStringLiteral("\"AAPL\" has been removed!"));
    }

    void removeNeedsAStock_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("col");
        QTest::newRow("header row") << 0 << 10;
        QTest::newRow("the \"*\" row") << 5 << 1;
    }

    void removeNeedsAStock()
    {
        QFETCH(int, row);
        QFETCH(int, col);
        listAll();
        grid()->setCurrentCell(row, col);
        item("mnuSymb_Remove")->trigger();
        QVERIFY(m_prompter->messages.isEmpty());
        QCOMPARE(m_main->market().database().listedCount(), qsizetype(std::size(kListed)));
    }
};

QTEST_MAIN(TestFrmMenu)
#include "tst_frmmenu.moc"
