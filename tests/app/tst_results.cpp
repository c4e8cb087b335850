// What the user keeps of the results: "Export Results...", saved screens and
// the main window's place on the screen, through the real main window.
#include "common/MainWindowTest.h"
#include "widgets/GridView.h"
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
    return {{}, latin(symbol), last, 0.5f, volume, 2.5f, 2.0f, change, last};
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

    QStringList symbols()
    {
        QStringList texts;
        for (int r = 1; r + 1 < m_window->grid()->rows(); ++r)
            texts << m_window->grid()->text(r, 1);
        return texts;
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
        QCOMPARE(m_window->grid()->text(2, 8), latin("1.234.567"));

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

        // Cancel writes nothing; an empty grid writes the header line alone.
        QTest::keyClick(m_window.get(), Qt::Key_E, Qt::ControlModifier);
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files).size(), 2);
        trigger("mnuOpen_Nasdaq");
        m_prompter->saveFileAnswers = {path};
        trigger("mnuMenu_Export");
        QCOMPARE(fileBytes(path), QByteArray("#,SYMBOL,LAST,OPEN,CHANGE,LOW,HIGH,SPREAD,VOLUME,PROFIT,SHARES\r\n"));
        QVERIFY(m_prompter->messages.isEmpty());

        // A folder marked read-only is refused even for root: one message naming
        // the file and the reason, and no file, whole or partial, left in it.
        const QString locked = m_dir->filePath(latin("locked"));
        QVERIFY(QDir().mkdir(locked));
        QVERIFY(QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        m_prompter->saveFileAnswers = {locked + latin("/results.csv")};
        trigger("mnuMenu_Export");
        QCOMPARE(m_prompter->messages.size(), 1);
        QCOMPARE(m_prompter->messages[0].icon, Prompter::Icon::Exclamation);
        QCOMPARE(m_prompter->lastText(), QStringLiteral("The results could not be exported to \"%1\". "
                                                        "The folder is read-only.")
                                             .arg(QDir::toNativeSeparators(locked + latin("/results.csv"))));
        QVERIFY(QDir(locked).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
        QVERIFY(
            QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    }

    // Saved, found again after a restart, replaced only when the user says
    // so, deleted; the [Settings] keys are never touched on the way.
    void screensAreKeptUnderTheirNames()
    {
        QVERIFY(showWindow());
        QVERIFY(screenItems().isEmpty());
        QVERIFY(!find("mnuScreens_Delete")->isEnabled());
        {
            QSettings s = store();
            s.setValue(latin("Settings/LastS"), latin("7.77"));
        }
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
        QCOMPARE(store().value(latin("Settings/LastS")).toString(), latin("7.77"));
        QCOMPARE(store().value(latin("Screens/Cheap & busy/LastS")).toString(), latin("0.20"));
        exit();

        QVERIFY(showWindow());
        QCOMPARE(screenItems(), QStringList{latin("Cheap && busy")});
        store().setValue(latin("Settings/LastS"), latin("7.77")); // Exit wrote the boxes there
        check("chkLast")->setChecked(false);
        box("txtVolumeE")->setText(latin("1"));
        chooseScreen(latin("Cheap & busy"));
        QVERIFY(check("chkLast")->isChecked() && check("chkVolume")->isChecked() && !check("chkOpen")->isChecked());
        QCOMPARE(box("txtLastS")->text() + u' ' + box("txtVolumeE")->text(), latin("0.20 2000000"));
        QCOMPARE(symbols(), QStringList{latin("MSFT")}); // "Match Stocks" ran
        QVERIFY(m_prompter->messages.isEmpty());

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
        QCOMPARE(store().value(latin("Screens/cheap & busy/LastS")).toString(), latin("0.30"));

        // Names: at most 40 characters, no group separators; Cancel saves nothing.
        m_prompter->messages.clear();
        m_prompter->inputAnswers = {QString(41, u'x'), latin("a/b"), QString(), QString(40, u'x')};
        for (int i = 0; i < 4; ++i)
            trigger("mnuScreens_Save");
        QCOMPARE(m_prompter->messages.size(), 2);
        QVERIFY(m_prompter->messages[0].text.contains(latin("40")));
        QCOMPARE(screenItems(), (QStringList{latin("cheap && busy"), QString(40, u'x')}));

        m_prompter->chooseAnswers = {latin("cheap & busy")};
        trigger("mnuScreens_Delete");
        QCOMPARE(m_prompter->choiceLists.last(), (QStringList{latin("cheap & busy"), QString(40, u'x')}));
        QCOMPARE(screenItems(), QStringList{QString(40, u'x')});
        trigger("mnuScreens_Delete"); // cancelled
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
        QVERIFY(showWindow(false));
        chooseScreen(latin("Odd")); // no market open: the panel is not in use
        QVERIFY(!check("chkVolume")->isChecked());
        trigger("mnuOpen_Nasdaq");
        click("butListall");
        chooseScreen(latin("Odd"));
        QCOMPARE(box("txtVolumeS")->text(), latin("1.2.3"));
        QCOMPARE(m_prompter->lastText(), latin("\"Volume\" needs a number in both its Start and End boxes."));
        QCOMPARE(symbols().size(), 3);
        chooseScreen(latin("Letters"));
        QCOMPARE(box("txtLowS")->text(), QString());
        QCOMPARE(m_prompter->lastText(), latin("\"Low\" needs a number in both its Start and End boxes."));
        QCOMPARE(m_prompter->messages.size(), 2);
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
    }
};

QTEST_MAIN(TestResults)
#include "tst_results.moc"
