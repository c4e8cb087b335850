// What the user keeps of the results: "Export Results...", saved screens and
// the main window's place on the screen, through the real main window.
#include "common/MainWindowTest.h"
#include "common/TestFiles.h"
#include "widgets/GridView.h"
#include "screen/ResultGrid.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>

namespace {

const auto latin = [](const char *text) { return QString::fromLatin1(text); };

StockRecord stock(const char *symbol, float last, double volume, float change)
{
    return {{}, latin(symbol), last, 0.5f, volume, 2.5f, 2.0f, change, last};
}

} // namespace

class TestResults : public MainWindowTest
{
    Q_OBJECT

    QCheckBox *check(const char *name) { return find<QCheckBox>(name); }
    QLineEdit *box(const char *name) { return m_window->box(name); }

    // Exit, as the user ends the program.
    void exit()
    {
        trigger("mnuMenu_Exit");
        m_window.reset();
    }

    QStringList screenItems()
    {
        QStringList names;
        for (QAction *a : m_window->findChild<QMenu *>(latin("mnuScreens"))->actions()) {
            if (a->objectName() == latin("mnuScreens_Item"))
                names << a->text();
        }
        return names;
    }

    void chooseScreen(const QString &name)
    {
        for (QAction *a : m_window->findChild<QMenu *>(latin("mnuScreens"))->actions()) {
            if (a->objectName() == latin("mnuScreens_Item") && a->data().toString() == name)
                return a->trigger();
        }
        QFAIL("no such screen in the menu");
    }

private slots:
    // A comma locale: the grid shows commas and points as groups, the file does not.
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); }

    void init()
    {
        MarketDatabase db;
        db.Stocks = {stock("msft", 0.25f, 1234567, 1.5f), stock("A,\"B\"", 0.1f, 0, -0.25f),
                     stock("IBM", 0.5f, 60000, 0), StockRecord{}};
        QVERIFY(setUpMarket(db));
    }

    void cleanup() { m_window.reset(); }

    // The rows as shown, sorted by LAST descending, under a German locale.
    void exportWritesTheShownRows()
    {
        QVERIFY(showWindow(false));
        QVERIFY(!find("mnuMenu_Export")->isEnabled()); // no market open
        QTest::keyClick(m_window.get(), Qt::Key_E, Qt::ControlModifier);
        QVERIFY(m_prompter->fileQuestions.isEmpty());

        trigger("mnuOpen_Nasdaq");
        QVERIFY(find("mnuMenu_Export")->isEnabled());
        click("butListall");
        QHeaderView *header = m_window->gridView()->horizontalHeader();
        const QPoint last(header->sectionViewportPosition(1) + 5, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, last);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, last);

        const QString path = m_dir->filePath(latin("results.csv"));
        m_prompter->saveFileAnswers = {path};
        QTest::keyClick(m_window.get(), Qt::Key_E, Qt::ControlModifier);
        QCOMPARE(m_prompter->fileQuestions.size(), 1);
        const ScriptedPrompter::FileQuestion asked = m_prompter->fileQuestions[0];
        QCOMPARE(asked.caption, latin("Export Results"));
        QCOMPARE(asked.filter, latin("CSV files (*.csv)"));
        QCOMPARE(asked.defaultPath,
                 QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
                     .filePath(QStringLiteral("Nasdaq-%1.csv").arg(QDate::currentDate().toString(Qt::ISODate))));
        QCOMPARE(fileBytes(path), QByteArray("#,SYMBOL,LAST,OPEN,CHANGE,LOW,HIGH,SPREAD,VOLUME,PROFIT,SHARES\r\n"
                                             "1,IBM,0.5,0.5,0,2,2.5,0.5,60000,100.52,245\r\n"
                                             "2,MSFT,0.25,0.25,1.5,2,2.5,0.5,1234567,100.52,245\r\n"
                                             "3,\"A,\"\"B\"\"\",0.1,0.1,-0.25,2,2.5,0.5,,100.52,245\r\n"));
        QVERIFY(m_prompter->messages.isEmpty());

        // Cancel writes nothing.
        QTest::keyClick(m_window.get(), Qt::Key_E, Qt::ControlModifier);
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files).size(), 2);

        // A refused file: one message naming it, then the reason.
        const QString missing = m_dir->filePath(latin("missing/results.csv"));
        m_prompter->saveFileAnswers = {missing};
        trigger("mnuMenu_Export");
        QCOMPARE(m_prompter->messages.size(), 1);
        QCOMPARE(m_prompter->messages[0].icon, Prompter::Icon::Exclamation);
        QVERIFY(m_prompter->lastText().startsWith(
            QStringLiteral("The results could not be exported to \"%1\". ").arg(QDir::toNativeSeparators(missing))));
    }

    // Saved, chosen (the store's own test and the bad-bound case show a start
    // reading them back), replaced only when the user says so, deleted.
    void screensAreKeptUnderTheirNames()
    {
        QVERIFY(showWindow());
        QVERIFY(screenItems().isEmpty());
        QVERIFY(!find("mnuScreens_Delete")->isEnabled());
        QVERIFY(!find("mnuScreens_Notify")->isEnabled()); // no screen is current
        check("chkLast")->setChecked(true);
        box("txtLastS")->setText(latin("0.20"));
        box("txtLastE")->setText(latin("0.40"));
        check("chkVolume")->setChecked(true);
        box("txtVolumeS")->setText(latin("50000"));
        box("txtVolumeE")->setText(latin("2000000"));
        m_prompter->inputAnswers = {latin("  Cheap & busy  ")};
        trigger("mnuScreens_Save");
        QCOMPARE(m_prompter->inputTitles.last(), latin("Save Screen As"));
        QCOMPARE(screenItems(), QStringList{latin("Cheap && busy")});
        QVERIFY(find("mnuScreens_Delete")->isEnabled());
        check("chkLast")->setChecked(false);
        box("txtVolumeE")->setText(latin("1"));
        chooseScreen(latin("Cheap & busy"));
        QVERIFY(check("chkLast")->isChecked() && check("chkVolume")->isChecked() && !check("chkOpen")->isChecked());
        QCOMPARE(box("txtLastS")->text() + u' ' + box("txtVolumeE")->text(), latin("0.20 2000000"));
        QCOMPARE(column(1), (QStringList{latin("MSFT"), QString()})); // "Match Stocks" ran
        QVERIFY(m_prompter->messages.isEmpty());
        trigger("mnuScreens_Notify"); // the chosen screen is marked for the timer's runs
        QVERIFY(find("mnuScreens_Notify")->isChecked());
        QCOMPARE(store().value(latin("Screens/Notify")).toStringList(), QStringList{latin("Cheap & busy")});

        // The same name in other letters: No keeps the old screen, Yes replaces it.
        box("txtLastS")->setText(latin("0.30"));
        m_prompter->inputAnswers = {latin("CHEAP & BUSY"), latin("cheap & busy")};
        m_prompter->yesNoAnswers = {false, true};
        trigger("mnuScreens_Save");
        QCOMPARE(m_prompter->lastText(),
                 latin("A screen named \"Cheap & busy\" already exists. Do you want to replace it?"));
        QCOMPARE(store().value(latin("Screens/Cheap & busy/LastS")).toString(), latin("0.20"));
        trigger("mnuScreens_Save");
        QCOMPARE(screenItems(), QStringList{latin("cheap && busy")});

        // A name the store refuses is said so; Cancel saves nothing.
        m_prompter->messages.clear();
        m_prompter->inputAnswers = {latin("a/b"), QString(), latin("x")};
        for (int i = 0; i < 3; ++i)
            trigger("mnuScreens_Save");
        QCOMPARE(m_prompter->messages.size(), 1);
        QCOMPARE(screenItems(), (QStringList{latin("cheap && busy"), latin("x")}));

        m_prompter->chooseAnswers = {latin("cheap & busy")};
        trigger("mnuScreens_Delete");
        QCOMPARE(m_prompter->choiceLists.last(), (QStringList{latin("cheap & busy"), latin("x")}));
        QCOMPARE(screenItems(), QStringList{latin("x")});
        QVERIFY(store().value(latin("Screens/Notify")).toStringList().join(QString()).isEmpty());
        QVERIFY(find("mnuScreens_Notify")->isEnabled() && !find("mnuScreens_Notify")->isChecked()); // "x", saved last
        trigger("mnuScreens_Delete");                                                               // cancelled
        QCOMPARE(screenItems(), QStringList{latin("x")});
    }

    // A bound that is no number comes back as stored (through the boxes'
    // filter), and "Match Stocks" names its frame; the grid stays as it was.
    void screenWithABadBound()
    {
        {
            QSettings s = store();
            s.setValue(latin("Screens/Letters/LowTicked"), true);
            s.setValue(latin("Screens/Letters/LowS"), latin("abc"));
            s.setValue(latin("Screens/Letters/LowE"), latin("1"));
        }
        QVERIFY(showWindow(false));
        chooseScreen(latin("Letters")); // no market open: the panel is not in use
        QVERIFY(!check("chkLow")->isChecked());
        trigger("mnuOpen_Nasdaq");
        click("butListall");
        chooseScreen(latin("Letters"));
        QCOMPARE(box("txtLowS")->text(), QString());
        QCOMPARE(m_prompter->messages.size(), 1);
        QCOMPARE(m_prompter->lastText(), latin("\"Low\" needs a number in both its Start and End boxes."));
        QCOMPARE(column(1).size(), 4);
    }

    // Many stored screens: the menu lists 25, the rest are chosen from a
    // list; a name the save rules refuse (a hand edit) is passed over.
    void manyScreens()
    {
        {
            QSettings s = store();
            for (int i = 1; i <= 27; ++i)
                s.setValue(latin("Screens/S%1/LowTicked").arg(i, 2, 10, QLatin1Char('0')), true);
            s.setValue(latin("Screens/") + QString(41, u'x') + latin("/LowTicked"), true);
        }
        QVERIFY(showWindow());
        QCOMPARE(screenItems().size(), 25);
        QCOMPARE(screenItems().last(), latin("S25"));
        m_prompter->chooseAnswers << latin("S27");
        trigger("mnuScreens_More");
        QCOMPARE(m_prompter->choiceLists.last().size(), 27);
        QVERIFY(check("chkLow")->isChecked()); // S27 was run
    }

    // First start: the size the window has always had. Afterwards: where the
    // user left it, and never off the screen.
    void windowComesBackWhereItWas()
    {
        QVERIFY(showWindow(false));
        const QSize first = m_window->size();
        const double scale = m_window->logicalDpiX() / 96.0;
        QCOMPARE(first.width(), qRound(712 * scale));
        QVERIFY(!store().contains(latin("Window/Geometry")));
        m_window->setGeometry(QRect(QPoint(40, 50), QSize(620, 410)));
        const QRect placed = m_window->geometry();
        exit();
        QVERIFY(store().contains(latin("Window/Geometry")));

        QVERIFY(showWindow(false));
        QCOMPARE(m_window->geometry(), placed);
        // A screen that is gone: the window comes back onto the one there is.
        m_window->move(m_window->screen()->geometry().bottomRight() + QPoint(500, 500));
        exit();
        QVERIFY(showWindow(false));
        QVERIFY(m_window->screen()->availableGeometry().intersects(m_window->frameGeometry()));
        QCOMPARE(m_window->size(), placed.size());
        // A size the screen cannot hold, or a damaged value: the first
        // start's size, on the screen.
        QWidget big;
        big.setGeometry(0, 0, 32767, 32767);
        for (const QByteArray &bad :
             {big.saveGeometry(), store().value(latin("Window/Geometry")).toByteArray().left(30)}) {
            exit();
            store().setValue(latin("Window/Geometry"), bad);
            QVERIFY(showWindow(false));
            QCOMPARE(m_window->size(), first);
            QVERIFY(m_window->screen()->availableGeometry().intersects(m_window->frameGeometry()));
        }
    }
};

QTEST_MAIN(TestResults)
#include "tst_results.moc"
