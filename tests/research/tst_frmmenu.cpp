// The Symbol Menu: its tree, the pages of the link catalogue, "Remove", the two
// symbol buttons and the grid's mouse gestures, on a grid filled by "List All".
#include "common/MainWindowTest.h"
#include "research/ResearchBrowser.h"
#include "research/frmMenu.h"
#include "widgets/GridView.h"
#include "screen/ResultGrid.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QMenu>
#include <QPushButton>

namespace {

const auto latin = [](const char *text) { return QString::fromLatin1(text); };

// Stands in for the browser library and records every page asked for.
struct RecordingBrowser : ResearchBrowser
{
    QList<QUrl> opened;
    void open(ResearchHost *, const QUrl &url) override { opened.append(url); }
    QWidget *window() const override { return nullptr; }
    void discard() override {}
};

} // namespace

class TestFrmMenu : public MainWindowTest
{
    Q_OBJECT

    RecordingBrowser m_browser;

    ResultGrid *grid() { return m_window->grid(); }
    frmMenu *menu() { return m_window->symbolMenu(); }
    QAction *item(const char *name) { return menu()->findChild<QAction *>(latin(name)); }
    QPoint cell(int row, int col) { return m_window->gridView()->visualRect(grid()->index(row - 1, col - 1)).center(); }
    QWidget *viewport() { return m_window->gridView()->viewport(); }
    void press(Qt::MouseButton b, int row, int col) { QTest::mouseClick(viewport(), b, {}, cell(row, col)); }

    // Where the pointer is over the fixed cells: the header row above column
    // col, the "#" cell of row, or the "#" header in the corner.
    enum Fixed { Ordinary, HeaderRow, NumberColumn, Corner };
    QWidget *fixedWidget(Fixed where)
    {
        GridView *view = m_window->gridView();
        if (where == HeaderRow)
            return view->horizontalHeader()->viewport();
        if (where == NumberColumn)
            return view->verticalHeader()->viewport();
        return view->findChild<QAbstractButton *>(QString(), Qt::FindDirectChildrenOnly);
    }
    QPoint fixedPoint(Fixed where, int row, int col)
    {
        GridView *view = m_window->gridView();
        if (where == HeaderRow)
            return {view->horizontalHeader()->sectionViewportPosition(col - 1) + 4, 4};
        if (where == NumberColumn)
            return {4, view->verticalHeader()->sectionViewportPosition(row - 1) + 4};
        return {4, 4};
    }
    bool popped(QMenu *m) { return menu()->lastPopup() == m && QTest::qWaitForWindowExposed(m); }
    bool nothingPopped() { return !menu()->lastPopup() && !QApplication::activePopupWidget(); }

    // A second Symbol Menu, built over a links.ini beside the settings file;
    // it goes with the main window.
    frmMenu *menuOverLinks(const char *text)
    {
        const QDir folder = QFileInfo(store().fileName()).dir();
        folder.mkpath(QStringLiteral("."));
        m_linksPath = folder.filePath(QStringLiteral("links.ini"));
        QFile links(m_linksPath);
        if (!links.open(QIODevice::WriteOnly) || links.write(text) < 0)
            return nullptr;
        links.close();
        auto *own = new frmMenu(m_window.get(), *grid(), *m_prompter, [](const QString &) {});
        own->setResearchBrowser(&m_browser);
        return own;
    }
    QString m_linksPath;

    // Opens NASDAQ, then lists its four stocks (MSFT stored as "msft") with the real "List All".
    void listAll()
    {
        trigger("mnuOpen_Nasdaq");
        click("butListall");
        QCOMPARE(grid()->row(), 4);
        QTRY_VERIFY(viewport()->isVisible() && viewport()->rect().contains(cell(5, 6)));
    }

private slots:
    void init()
    {
        MarketDatabase db;
        for (const char *symbol : {"msft", "AAPL", "INTC", "IBM"}) {
            StockRecord &r = db.Stocks.last();
            r.Symbol = latin(symbol);
            r.Last = r.Open = r.High = r.Low = 10.25f * float(db.Stocks.size());
            r.Volume = 1000;
            db.Stocks.append(StockRecord{});
        }
        QVERIFY(setUpMarket(db));
        QVERIFY(showWindow(false));
        m_browser.opened.clear();
        menu()->setResearchBrowser(&m_browser);
    }

    void cleanup() { m_window.reset(); }

    // Every page of the menu against a table written out by hand: its place in
    // the tree, its caption and the address it opens.
    void everyPageOfTheMenu_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("url");
        QFile golden(QStringLiteral(TARNVALE_TEST_DATA "/symbol-menu-pages.txt"));
        QVERIFY(golden.open(QIODevice::ReadOnly | QIODevice::Text));
        while (!golden.atEnd()) {
            const QString line = QString::fromUtf8(golden.readLine()).chopped(1);
            if (line.startsWith(u'#'))
                continue;
            const QStringList f = line.split(u'|');
            QTest::newRow(qPrintable(f[0])) << f[0] << f[1] << f[2] << f[3];
        }
    }

    void everyPageOfTheMenu()
    {
        QFETCH(QString, control);
        QFETCH(QString, path);
        QFETCH(QString, caption);
        QFETCH(QString, url);
        listAll();
        grid()->setCurrentCell(1, 1);
        grid()->setText(QStringLiteral("MSFT"));
        QAction *page = item(qPrintable(control));
        QVERIFY(page);
        QCOMPARE(page->text(), caption);
        QStringList titles;
        for (QObject *m = page->parent(); m && m != menu()->mnuSymb(); m = m->parent()) {
            if (auto *submenu = qobject_cast<QMenu *>(m))
                titles.prepend(submenu->title().replace(QStringLiteral("&&"), QStringLiteral("&"))); // as shown
        }
        QCOMPARE(titles.join(QStringLiteral(" > ")), path);
        page->trigger();
        QCOMPARE(m_browser.opened.size(), 1);
        QCOMPARE(m_browser.opened.value(0).toString(QUrl::FullyEncoded), url);
    }

    void pageUrls_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("symbol");
        QTest::addColumn<QString>("url");
        auto row = [](const char *control, const char *url, const char *symbol) {
            QTest::addRow("%s %s", control, symbol) << latin(control) << latin(symbol) << latin(url);
        };
        // The placeholders are replaced in order, each in the result of the one before.
        row("mnuYahoo_6M", "http://chart.finance.yahoo.com/z?s=6m&t=6m&q=&l=off&z=l&p=s", "[TIME]");
        // The cell's text goes in as it stands and cannot leave the query.
        row("mnuCE_Yahoo", "http://finance.yahoo.com/q/ce?s=msft", "msft");
        row("mnuCE_Yahoo", "http://finance.yahoo.com/q/ce?s=AT&T", "AT&T");
        row("mnuCE_Yahoo", "http://finance.yahoo.com/q/ce?s=A%23B/@evil%20", "A#B/@evil ");
    }

    void pageUrls()
    {
        QFETCH(QString, control);
        QFETCH(QString, symbol);
        listAll();
        grid()->setCurrentCell(1, 1);
        grid()->setText(symbol);
        item(qPrintable(control))->trigger();
        QTEST(m_browser.opened.value(0).toString(QUrl::FullyEncoded), "url");
    }

    void linksFileChangesTheMenu()
    {
        frmMenu *own =
            menuOverLinks("[mnuBC_YTD]\nUrl=https://finance.yahoo.com/chart/[SYMBOL]\n"
                          "[mnuE_Edgar]\nHidden=true\n[Add]\nEarnings/Q & A=http://h.example/e?s=[SYMBOL]\n");
        QVERIFY(own);
        listAll();
        grid()->setCurrentCell(2, 1);
        own->findChild<QAction *>(QStringLiteral("mnuBC_YTD"))->trigger();
        QAction *added = own->findChild<QMenu *>(QStringLiteral("mnuResearch_E"))->actions().constLast();
        QCOMPARE(added->text(), QStringLiteral("Q && A"));
        added->trigger();
        QCOMPARE(m_browser.opened, (QList<QUrl>{QUrl(QStringLiteral("https://finance.yahoo.com/chart/AAPL")),
                                                QUrl(QStringLiteral("http://h.example/e?s=AAPL"))}));
        QVERIFY(!own->findChild<QAction *>(QStringLiteral("mnuE_Edgar"))->isVisible());
        QVERIFY(own->findChild<QAction *>(QStringLiteral("mnuSEC_EdgarOnline"))->isVisible());
        QVERIFY(m_prompter->messages.isEmpty());
    }

    void brokenLinksFileIsReportedAndIgnored()
    {
        frmMenu *own = menuOverLinks("[mnuBC_YTD]\nUrl=https://h.example/[SYMBOL]\n[mnuE_Edgar]\nHidden=maybe\n");
        QVERIFY(own);
        QCOMPARE(m_prompter->messages.size(), 1);
        QVERIFY2(m_prompter->lastText().startsWith(QDir::toNativeSeparators(m_linksPath) + QStringLiteral(", line 4:")),
                 qPrintable(m_prompter->lastText()));
        QCOMPARE(m_prompter->messages.value(0).icon, Prompter::Icon::Exclamation);
        listAll();
        grid()->setCurrentCell(2, 1);
        own->findChild<QAction *>(QStringLiteral("mnuBC_YTD"))->trigger();
        QCOMPARE(m_browser.opened.value(0).host(), QStringLiteral("bigcharts.marketwatch.com"));
        QVERIFY(own->findChild<QAction *>(QStringLiteral("mnuE_Edgar"))->isVisible());
        QCOMPARE(m_prompter->messages.size(), 1);
    }

    void gesturePopsForTheRowsSymbol_data()
    {
        QTest::addColumn<Qt::MouseButton>("button"); // Qt::LeftButton: a double-click
        QTest::addColumn<int>("picked");             // the row of the price cell left-clicked first; 0: none
        QTest::addColumn<int>("where");              // Fixed: over an ordinary cell or a fixed one
        QTest::addColumn<int>("at");                 // the row a right or middle press points at
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("symbol");
        const auto row = [](const char *tag, Qt::MouseButton b, int picked, Fixed where, int row, const char *symbol,
                            int at = 0) {
            QTest::newRow(tag) << b << picked << int(where) << (at ? at : row) << row << QString::fromLatin1(symbol);
        };
        const Qt::MouseButton left = Qt::LeftButton, right = Qt::RightButton;
        row("right after List All", right, 0, Ordinary, 4, "IBM");
        // A press on a listed row makes it current: the other row is kept.
        row("right on row 3, row 1 current", right, 1, Ordinary, 3, "INTC");
        row("middle on row 1, row 4 current", Qt::MiddleButton, 4, Ordinary, 1, "MSFT"); // stored "msft"
        row("right on the \"*\" row", right, 5, Ordinary, 5, "");
        row("right on the \"*\" row, row 2 current", right, 2, Ordinary, 2, "AAPL", 5);
        row("double-click on row 2", left, 2, Ordinary, 2, "AAPL");
        // Over the fixed cells the gestures act on the current row just the same.
        row("right on the header row", right, 3, HeaderRow, 3, "INTC");
        row("right on another row's #", right, 2, NumberColumn, 2, "AAPL");
        row("double-click on the # column", left, 1, NumberColumn, 1, "MSFT");
        // The first click of a double-click on a header cell sorts (LAST, up)
        // or brings back the fill's order, ending on the first row.
        row("double-click on the header row", left, 2, HeaderRow, 1, "MSFT");
        row("double-click on the # header", left, 3, Corner, 1, "MSFT");
    }

    void gesturePopsForTheRowsSymbol()
    {
        QFETCH(Qt::MouseButton, button);
        QFETCH(int, picked);
        QFETCH(int, where);
        QFETCH(int, at);
        QFETCH(int, row);
        QFETCH(QString, symbol);
        listAll();
        if (picked)
            press(Qt::LeftButton, picked, 2);
        const Fixed fixed = Fixed(where);
        // The row under the pointer does not matter: over the "#" column it is
        // another row than the one picked.
        if (fixed != Ordinary) {
            const int other = picked == 4 ? 1 : 4;
            if (button == Qt::LeftButton) {
                // As the system delivers it: a click, then a press reported as a double-click.
                QWidget *w = fixedWidget(fixed);
                const QPoint at = fixedPoint(fixed, other, 2);
                QTest::mouseClick(w, button, {}, at);
                QTest::mousePress(w, button, {}, at);
                QTest::mouseDClick(w, button, {}, at);
                QTest::mouseRelease(w, button, {}, at);
            } else
                QTest::mouseClick(fixedWidget(fixed), button, {}, fixedPoint(fixed, other, 2));
        } else if (button == Qt::LeftButton) {
            QTest::mouseDClick(viewport(), button, {}, cell(picked, 2));
        } else {
            press(button, at, 2);
        }
        QCOMPARE(grid()->row(), row);
        QCOMPARE(grid()->col(), 1);
        QVERIFY(popped(menu()->mnuSymb()));
        menu()->mnuSymb()->close();
        // A page and "Remove" act on that symbol; the "*" row's empty cell names none.
        item("mnuYahoo_1D")->trigger();
        item("mnuSymb_Remove")->trigger();
        QCOMPARE(m_browser.opened.size(), symbol.isEmpty() ? 0 : 1);
        QCOMPARE(m_browser.opened.value(0).query().section(u'&', 0, 0).mid(2), symbol);
        QCOMPARE(m_prompter->lastText(),
                 symbol.isEmpty() ? QString() : u'"' + symbol + QStringLiteral("\" has been removed!"));
        QCOMPARE(m_window->market().database().listedCount(), symbol.isEmpty() ? 4 : 3);
    }

    void menuKeysPopForTheCurrentRow_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::newRow("Menu key") << int(Qt::Key_Menu) << Qt::KeyboardModifiers();
        QTest::newRow("Shift+F10") << int(Qt::Key_F10) << Qt::KeyboardModifiers(Qt::ShiftModifier);
    }

    // The menu pops below the SYMBOL cell; Escape closes it again.
    void menuKeysPopForTheCurrentRow()
    {
        QFETCH(int, key);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        listAll();
        GridView *view = m_window->gridView();
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        view->setFocus();
        press(Qt::LeftButton, 2, 4);
        QTest::keyClick(view, Qt::Key(key), modifiers);
        QCOMPARE(QPoint(grid()->col(), grid()->row()), QPoint(1, 2));
        QVERIFY(popped(menu()->mnuSymb()));
        QVERIFY(menu()->mnuSymb()->geometry().contains(view->viewport()->mapToGlobal(cell(3, 1))));
        QTest::keyClick(menu()->mnuSymb(), Qt::Key_Escape);
        QTRY_VERIFY(!menu()->mnuSymb()->isVisible());
    }

    // The program's own chart closes the menu, after the links and "Remove".
    void chartComesLastAfterASeparator()
    {
        const QList<QAction *> items = menu()->mnuSymb()->actions();
        QCOMPARE(items.size(), 6);
        QVERIFY(items[4]->isSeparator());
        QCOMPARE(items[3]->objectName(), QStringLiteral("mnuSymb_Remove"));
        QCOMPARE(items[5]->objectName(), QStringLiteral("mnuSymb_Chart"));
        QCOMPARE(items[5]->text(), QStringLiteral("Chart"));
    }

    void leftReleaseAndHeaderRowPopNothing()
    {
        // A market opened and nothing listed yet: the header row is current.
        trigger("mnuOpen_Nasdaq");
        press(Qt::RightButton, 1, 1);
        press(Qt::MiddleButton, 1, 1);
        for (Fixed fixed : {HeaderRow, NumberColumn, Corner})
            QTest::mouseClick(fixedWidget(fixed), Qt::RightButton, {}, fixedPoint(fixed, 1, 2));
        QVERIFY(nothingPopped());
        QCOMPARE(grid()->row(), 0);
        for (const char *name : {"mnuBC_YTD", "mnuTT_StockCharts", "mnuDS_BigCharts", "mnuSymb_Remove"})
            item(name)->trigger(); // no page opens, nothing is removed or said
        QVERIFY(m_browser.opened.isEmpty());
        QVERIFY(m_prompter->messages.isEmpty());
        listAll();
        for (int row = 1; row <= 5; ++row)
            press(Qt::LeftButton, row, 4);
        QVERIFY(nothingPopped());
        // The two symbol buttons pop their submenus, the current cell staying.
        click("butSymbCharts");
        QVERIFY(popped(menu()->mnuSymb_Charts()));
        menu()->mnuSymb_Charts()->close();
        click("butSymbResearch");
        QVERIFY(popped(menu()->mnuSymb_Research()));
        QCOMPARE(grid()->row(), 5);
        QCOMPARE(grid()->col(), 4);
    }
};

QTEST_MAIN(TestFrmMenu)
#include "tst_frmmenu.moc"
