// What the user keeps of the results: "Export Results...", saved screens and
// the main window's place on the screen, through the real main window.
#include "app/frmMain.h"
#include "common/ScriptedPrompter.h"
#include "common/TestSettings.h"
#include "market/MarketStore.h"
#include "screen/GridView.h"
#include "screen/ResultGrid.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

const auto latin = [](const char *text) { return QString::fromLatin1(text); };

StockRecord stock(const char *symbol, float last, double volume, float change)
{
    StockRecord s;
    s.Symbol = latin(symbol);
    s.Last = s.Open = last;
    s.Low = 2.0f;
    s.High = 2.5f;
    s.Spread = 0.5f;
    s.Volume = volume;
    s.Change = change;
    return s;
}

QSettings store()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, latin("Tarnvale"), latin("Tarnvale"));
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestResults : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestSettings> m_settings;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ScriptedPrompter> m_prompter;
    std::unique_ptr<frmMain> m_w;

    QAction *action(const char *name) { return m_w->findChild<QAction *>(latin(name)); }
    QCheckBox *check(const char *name) { return m_w->findChild<QCheckBox *>(latin(name)); }
    void click(const char *name) { QTest::mouseClick(m_w->findChild<QPushButton *>(latin(name)), Qt::LeftButton); }

    // A main window as the program starts it, shown, with NASDAQ opened.
    void start(bool open = true)
    {
        m_prompter = std::make_unique<ScriptedPrompter>();
        m_w = std::make_unique<frmMain>(m_dir->path(), m_prompter.get());
        m_w->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_w.get()));
        if (open)
            action("mnuOpen_Nasdaq")->trigger();
    }

    // Exit, as the user ends the program.
    void exit()
    {
        action("mnuMenu_Exit")->trigger();
        m_w.reset();
    }

    QStringList screenItems()
    {
        QStringList names;
        for (QAction *a : m_w->findChild<QMenu *>(latin("mnuScreens"))->actions()) {
            if (a->objectName() == latin("mnuScreens_Item"))
                names << a->text();
        }
        return names;
    }

    void chooseScreen(const QString &name)
    {
        for (QAction *a : m_w->findChild<QMenu *>(latin("mnuScreens"))->actions()) {
            if (a->objectName() == latin("mnuScreens_Item") && a->data().toString() == name)
                return a->trigger();
        }
        QFAIL("no such screen in the menu");
    }

    QStringList symbols()
    {
        QStringList texts;
        for (int r = 1; r + 1 < m_w->grid()->rows(); ++r)
            texts << m_w->grid()->text(r, 1);
        return texts;
    }

private slots:
    // A comma locale: the grid shows commas and points as groups, the file does not.
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); }

    void init()
    {
        m_settings = std::make_unique<TestSettings>();
        m_dir = std::make_unique<QTemporaryDir>();
        MarketDatabase db;
        db.Stocks = {stock("msft", 0.25f, 1234567, 1.5f), stock("A,\"B\"", 0.1f, 0, -0.25f),
                     stock("IBM", 0.5f, 60000, 0), StockRecord{}};
        QVERIFY(writeMarketFile(m_dir->filePath(latin("nasdaq.bin")), db));
    }

    void cleanup() { m_w.reset(); }

    // The rows as shown, sorted by LAST descending, under a German locale.
    void exportWritesTheShownRows()
    {
        start(false);
        QCOMPARE(action("mnuMenu_Export")->shortcut(), QKeySequence(latin("Ctrl+E")));
        const QList<QAction *> market = m_w->findChild<QMenu *>(latin("mnuMenu"))->actions();
        QCOMPARE(market.indexOf(action("mnuMenu_Export")) + 1, market.indexOf(action("mnuMenu_Exit")) - 1);
        QVERIFY(market[market.indexOf(action("mnuMenu_Exit")) - 1]->isSeparator());
        QVERIFY(!action("mnuMenu_Export")->isEnabled()); // no market open
        QTest::keyClick(m_w.get(), Qt::Key_E, Qt::ControlModifier);
        QVERIFY(m_prompter->fileQuestions.isEmpty());

        action("mnuOpen_Nasdaq")->trigger();
        QVERIFY(action("mnuMenu_Export")->isEnabled());
        click("butListall");
        QHeaderView *header = m_w->gridView()->horizontalHeader();
        const QPoint last(header->sectionViewportPosition(1) + 5, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, last);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, last);
        QCOMPARE(m_w->grid()->text(2, 8), latin("1.234.567"));

        const QString path = m_dir->filePath(latin("results.csv"));
        m_prompter->saveFileAnswers = {path};
        QTest::keyClick(m_w.get(), Qt::Key_E, Qt::ControlModifier);
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

        // Cancel writes nothing; an empty grid writes the header line alone.
        QTest::keyClick(m_w.get(), Qt::Key_E, Qt::ControlModifier);
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files).size(), 2);
        action("mnuOpen_Nasdaq")->trigger();
        m_prompter->saveFileAnswers = {path};
        action("mnuMenu_Export")->trigger();
        QCOMPARE(fileBytes(path), QByteArray("#,SYMBOL,LAST,OPEN,CHANGE,LOW,HIGH,SPREAD,VOLUME,PROFIT,SHARES\r\n"));
        QVERIFY(m_prompter->messages.isEmpty());
    }

    // A folder marked read-only is refused even for root: one message naming
    // the file and the reason, and no file, whole or partial, left in it.
    void exportFailureLeavesNothing()
    {
        start();
        click("butListall");
        const QString locked = m_dir->filePath(latin("locked"));
        QVERIFY(QDir().mkdir(locked));
        QVERIFY(QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        const QString path = locked + latin("/results.csv");
        m_prompter->saveFileAnswers = {path};
        action("mnuMenu_Export")->trigger();
        QCOMPARE(m_prompter->messages.size(), 1);
        QCOMPARE(m_prompter->messages[0].icon, Prompter::Icon::Exclamation);
        QCOMPARE(m_prompter->lastText(), QStringLiteral("The results could not be exported to \"%1\". "
                                                        "The folder is read-only.")
                                             .arg(QDir::toNativeSeparators(path)));
        QVERIFY(QDir(locked).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
        QVERIFY(
            QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    }

    // Saved, found again after a restart, replaced only when the user says
    // so, deleted; the [Settings] keys are never touched on the way.
    void screensAreKeptUnderTheirNames()
    {
        start();
        QVERIFY(screenItems().isEmpty());
        QVERIFY(!action("mnuScreens_Delete")->isEnabled());
        const QList<QAction *> bar = m_w->menuBar()->actions();
        QCOMPARE(bar.indexOf(action("mnuScreens")), bar.indexOf(action("mnuTools")) + 1);
        {
            QSettings s = store();
            s.setValue(latin("Settings/LastS"), latin("7.77"));
        }
        check("chkLast")->setChecked(true);
        m_w->box("txtLastS")->setText(latin("0.20"));
        m_w->box("txtLastE")->setText(latin("0.40"));
        check("chkVolume")->setChecked(true);
        m_w->box("txtVolumeS")->setText(latin("50000"));
        m_w->box("txtVolumeE")->setText(latin("2000000"));
        m_prompter->inputAnswers = {latin("  Cheap & busy  ")};
        action("mnuScreens_Save")->trigger();
        QCOMPARE(m_prompter->inputTitles.last(), latin("Save Screen As"));
        QCOMPARE(screenItems(), QStringList{latin("Cheap && busy")});
        QVERIFY(action("mnuScreens_Delete")->isEnabled());
        QCOMPARE(store().value(latin("Settings/LastS")).toString(), latin("7.77"));
        QCOMPARE(store().value(latin("Screens/Cheap & busy/LastS")).toString(), latin("0.20"));
        exit();

        start();
        QCOMPARE(screenItems(), QStringList{latin("Cheap && busy")});
        store().setValue(latin("Settings/LastS"), latin("7.77")); // Exit wrote the boxes there
        check("chkLast")->setChecked(false);
        m_w->box("txtVolumeE")->setText(latin("1"));
        chooseScreen(latin("Cheap & busy"));
        QVERIFY(check("chkLast")->isChecked() && check("chkVolume")->isChecked() && !check("chkOpen")->isChecked());
        QCOMPARE(m_w->box("txtLastS")->text() + u' ' + m_w->box("txtVolumeE")->text(), latin("0.20 2000000"));
        QCOMPARE(symbols(), QStringList{latin("MSFT")}); // "Match Stocks" ran
        QVERIFY(m_prompter->messages.isEmpty());

        // The same name in other letters: No keeps the old screen, Yes replaces it.
        m_w->box("txtLastS")->setText(latin("0.30"));
        m_prompter->inputAnswers = {latin("CHEAP & BUSY"), latin("cheap & busy")};
        m_prompter->yesNoAnswers = {false, true};
        action("mnuScreens_Save")->trigger();
        QCOMPARE(m_prompter->lastText(),
                 latin("A screen named \"Cheap & busy\" already exists. Do you want to replace it?"));
        QCOMPARE(store().value(latin("Screens/Cheap & busy/LastS")).toString(), latin("0.20"));
        action("mnuScreens_Save")->trigger();
        QCOMPARE(screenItems(), QStringList{latin("cheap && busy")});
        QCOMPARE(store().value(latin("Screens/cheap & busy/LastS")).toString(), latin("0.30"));

        // Names: at most 40 characters, no group separators; Cancel saves nothing.
        m_prompter->messages.clear();
        m_prompter->inputAnswers = {QString(41, u'x'), latin("a/b"), QString(), QString(40, u'x')};
        for (int i = 0; i < 4; ++i)
            action("mnuScreens_Save")->trigger();
        QCOMPARE(m_prompter->messages.size(), 2);
        QVERIFY(m_prompter->messages[0].text.contains(latin("40")));
        QCOMPARE(screenItems(), (QStringList{latin("cheap && busy"), QString(40, u'x')}));

        m_prompter->chooseAnswers = {latin("cheap & busy")};
        action("mnuScreens_Delete")->trigger();
        QCOMPARE(m_prompter->choiceLists.last(), (QStringList{latin("cheap & busy"), QString(40, u'x')}));
        QCOMPARE(screenItems(), QStringList{QString(40, u'x')});
        action("mnuScreens_Delete")->trigger(); // cancelled
        QCOMPARE(screenItems(), QStringList{QString(40, u'x')});
        QVERIFY(!store().childGroups().contains(latin("cheap & busy")));
        QCOMPARE(store().value(latin("Settings/LastS")).toString(), latin("7.77"));
    }

    // A bound that is no number comes back as stored (through the boxes'
    // filter), and "Match Stocks" names its frame; the grid stays as it was.
    void screenWithABadBound()
    {
        {
            QSettings s = store();
            s.setValue(latin("Screens/Odd/VolumeTicked"), true);
            s.setValue(latin("Screens/Odd/VolumeS"), latin("1.2.3"));
            s.setValue(latin("Screens/Odd/VolumeE"), latin("5"));
            s.setValue(latin("Screens/Letters/LowTicked"), true);
            s.setValue(latin("Screens/Letters/LowS"), latin("abc"));
            s.setValue(latin("Screens/Letters/LowE"), latin("1"));
        }
        start(false);
        chooseScreen(latin("Odd")); // no market open: the panel is not in use
        QVERIFY(!check("chkVolume")->isChecked());
        action("mnuOpen_Nasdaq")->trigger();
        click("butListall");
        chooseScreen(latin("Odd"));
        QCOMPARE(m_w->box("txtVolumeS")->text(), latin("1.2.3"));
        QCOMPARE(m_prompter->lastText(), latin("\"Volume\" needs a number in both its Start and End boxes."));
        QCOMPARE(symbols().size(), 3);
        chooseScreen(latin("Letters"));
        QCOMPARE(m_w->box("txtLowS")->text(), QString());
        QCOMPARE(m_prompter->lastText(), latin("\"Low\" needs a number in both its Start and End boxes."));
        QCOMPARE(m_prompter->messages.size(), 2);
    }

    // First start: the size the window has always had. Afterwards: where the
    // user left it, and never off the screen.
    void windowComesBackWhereItWas()
    {
        start(false);
        const QSize first = m_w->size();
        const double scale = m_w->logicalDpiX() / 96.0;
        QCOMPARE(first.width(), qRound(712 * scale));
        QVERIFY(!store().contains(latin("Window/Geometry")));
        m_w->setGeometry(QRect(QPoint(40, 50), QSize(620, 410)));
        const QRect placed = m_w->geometry();
        exit();
        QVERIFY(store().contains(latin("Window/Geometry")));

        start(false);
        QCOMPARE(m_w->geometry(), placed);
        // A screen that is gone: the window comes back onto the one there is.
        m_w->move(m_w->screen()->geometry().bottomRight() + QPoint(500, 500));
        exit();
        start(false);
        QVERIFY(m_w->screen()->availableGeometry().intersects(m_w->frameGeometry()));
        QCOMPARE(m_w->size(), placed.size());
    }
};

QTEST_MAIN(TestResults)
#include "tst_results.moc"
