#include "app/SettingsTable.h"
#include "common/MainWindowTest.h"
#include "screen/ResultGrid.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QTest>

namespace {

QAction *action(QWidget *w, const char *name)
{
    return w->findChild<QAction *>(QString::fromLatin1(name));
}

} // namespace

class TestFrmMain : public MainWindowTest
{
    Q_OBJECT

private:

    QString label(frmMain &w) { return w.findChild<QLabel *>(QStringLiteral("lblDBInfo"))->text(); }

    bool panelsShown(frmMain &w)
    {
        bool shown = true;
        for (const char *name : {"frmPersonal", "frmQS", "frmADVS"}) {
            QWidget *panel = w.findChild<QWidget *>(QString::fromLatin1(name));
            shown = shown && panel->isVisible() && panel->isEnabled();
        }
        return shown;
    }

private slots:
    void init()
    {
        QVERIFY(setUpMarket(marketOf({"MSFT", "AAPL", "INTC"})));
        QVERIFY(writeMarketFile(marketPath("nyse.bin"), marketOf({"IBM"}, dateToMarketDate(QDate(2004, 6, 4)))));
    }

    void firstStartShowsDefaultsAndHidesPanels()
    {
        ScriptedPrompter prompter;
        frmMain w(m_dir->path(), &prompter);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.windowTitle(), QStringLiteral("Tarnvale"));
        const QStringList defaults{"500.00", "10.99", "0.10", "0.50", "0.10",  "0.50", "0.01", "10.00", "0.10",
                                   "0.50",   "0.10",  "0.50", "50000", "1000000", "0.01", "10.00", ""};
        const char *const boxes[] = {"txtCapital", "txtComm", "txtLastS",   "txtLastE",   "txtOpenS",  "txtOpenE",
                                     "txtChangeS", "txtChangeE", "txtHighS", "txtHighE",  "txtLowS",   "txtLowE",
                                     "txtVolumeS", "txtVolumeE", "txtSpreadS", "txtSpreadE", "txtQSSymbol"};
        for (int i = 0; i < defaults.size(); ++i)
            QVERIFY2(w.box(boxes[i])->text() == defaults[i], boxes[i]);
        QVERIFY(label(w).isEmpty());
        for (const char *name : {"frmPersonal", "frmQS", "frmADVS"})
            QVERIFY(!w.findChild<QWidget *>(QString::fromLatin1(name))->isVisible());
        QVERIFY(!action(&w, "mnuMenu_Market")->isEnabled());
        for (const char *name : {"mnuMenu", "mnuTools", "mnuHelp"})
            QVERIFY(action(&w, name)->isEnabled());
        QVERIFY(w.findChild<QWidget *>(QStringLiteral("frmDBInfo"))->isVisible());
        QVERIFY(prompter.messages.isEmpty());
    }

    void boxesAreAnnouncedByTheirLabels()
    {
        ScriptedPrompter prompter;
        frmMain w(m_dir->path(), &prompter);
        QMap<QWidget *, QString> labelOf;
        for (QLabel *l : w.findChildren<QLabel *>())
            labelOf[l->buddy()] = l->text();
        QCOMPARE(labelOf.value(w.box("txtCapital")), QStringLiteral("Capital: $"));
        QCOMPARE(labelOf.value(w.box("txtLastE")), QStringLiteral("  End: $"));
        QCOMPARE(labelOf.value(w.box("txtVolumeS")), QStringLiteral("Start:"));
        QCOMPARE(labelOf.value(w.box("txtQSSymbol")), QStringLiteral("Symbol:"));
        for (const SettingKey &k : kSettingKeys)
            QVERIFY2(labelOf.contains(w.box(k.box)) && !w.box(k.box)->accessibleName().isEmpty(), k.box);
    }

    void openingMarketsShowsTheirCaptions()
    {
        ScriptedPrompter prompter;
        frmMain w(m_dir->path(), &prompter);
        w.show();
        action(&w, "mnuOpen_Nasdaq")->trigger();
        QVERIFY(label(w).startsWith(QStringLiteral("Database: Nasdaq (3 listed)\nLast update: ")));
        QCOMPARE(label(w).section(u'\n', 1),
                 QStringLiteral("Last update: ") + QLocale().toString(QTime(0, 0), QLocale::ShortFormat));
        QVERIFY(panelsShown(w));
        QVERIFY(action(&w, "mnuMenu_Market")->isEnabled());
        QCOMPARE(w.market().MarketFileName, QStringLiteral("nasdaq.bin"));

        action(&w, "mnuOpen_NYSE")->trigger();
        QCOMPARE(label(w), QStringLiteral("Database: NYSE (1 listed)\nLast update: ")
                               + QLocale().toString(QDate(2004, 6, 4), QLocale::ShortFormat));
        QCOMPARE(w.grid()->rows(), 2);
        QCOMPARE(w.market().database().Stocks.first().Symbol, QStringLiteral("IBM"));
        QVERIFY(prompter.messages.isEmpty());
    }

    void damagedMarketIsRefusedAndLeavesNothingOpen()
    {
        QFile f(m_dir->filePath(QStringLiteral("nyse.bin")));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(QByteArray(20, '\x01'));
        f.close();
        ScriptedPrompter prompter;
        frmMain w(m_dir->path(), &prompter);
        w.show();
        action(&w, "mnuOpen_Nasdaq")->trigger();
        action(&w, "mnuOpen_NYSE")->trigger();
        QCOMPARE(prompter.messages.size(), 1);
        QCOMPARE(prompter.messages[0].icon, Prompter::Icon::Exclamation);
        QVERIFY(prompter.lastText().contains(QStringLiteral("nyse.bin")));
        QVERIFY(prompter.lastText().contains(QStringLiteral("damaged")));
        QVERIFY(label(w).contains(QStringLiteral("NYSE could not be opened")));
        QVERIFY(!action(&w, "mnuMenu_Market")->isEnabled());
        QVERIFY(!w.findChild<QWidget *>(QStringLiteral("frmADVS"))->isVisible());
        QVERIFY(!w.market().isOpen());
        QCOMPARE(w.market().database().listedCount(), 0);
        // A save now writes nothing into the NYSE file.
        QVERIFY(!w.SaveDatabase());
        QCOMPARE(QFileInfo(m_dir->filePath(QStringLiteral("nyse.bin"))).size(), 20);
    }

    void closingWritesTheSettingsAndTheyComeBack()
    {
        {
            ScriptedPrompter prompter;
            frmMain w(m_dir->path(), &prompter);
            w.show();
            w.box("txtCapital")->setText(QStringLiteral("2500"));
            w.box("txtComm")->clear();
            w.box("txtQSSymbol")->setText(QStringLiteral("msft"));
            action(&w, "mnuMenu_Exit")->trigger();
            QVERIFY(!w.isVisible());
        }
        QSettings store(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Tarnvale"),
                        QStringLiteral("Tarnvale"));
        store.beginGroup(QStringLiteral("Settings"));
        QCOMPARE(store.childKeys().size(), 17);
        QCOMPARE(store.value(QStringLiteral("Capital")).toString(), QStringLiteral("2500"));
        QCOMPARE(store.value(QStringLiteral("Commission")).toString(), QString());
        QCOMPARE(store.value(QStringLiteral("QSSymbol")).toString(), QStringLiteral("MSFT"));
        QCOMPARE(store.value(QStringLiteral("VolumeE")).toString(), QStringLiteral("1000000"));
        store.setValue(QStringLiteral("LastS"), QStringLiteral("1,000.50"));
        store.setValue(QStringLiteral("QSSymbol"), QStringLiteral("ibm"));
        store.sync();

        ScriptedPrompter prompter;
        frmMain again(m_dir->path(), &prompter);
        QCOMPARE(again.box("txtCapital")->text(), QStringLiteral("2500"));
        QCOMPARE(again.box("txtComm")->text(), QString()); // empty stays empty, not the default
        QCOMPARE(again.box("txtLastS")->text(), QStringLiteral("1000.50"));
        QCOMPARE(again.box("txtQSSymbol")->text(), QStringLiteral("IBM")); // stored in lower case
    }

    // Exit takes every other window with it: both calculators and the about box.
    void exitClosesEveryOtherWindow()
    {
        ScriptedPrompter prompter;
        frmMain w(m_dir->path(), &prompter);
        w.show();
        QList<QPointer<QWidget>> others;
        for (const char *item : {"mnuCalcs_Shares", "mnuCalcs_Profit", "mnuHelp_About"}) {
            action(&w, item)->trigger();
            for (QWidget *window : QApplication::topLevelWidgets()) {
                if (window != &w && window->isVisible() && !others.contains(window))
                    others << window;
            }
        }
        QCOMPARE(others.size(), 3);
        QVERIFY(!w.isEnabled());
        action(&w, "mnuMenu_Exit")->trigger();
        QVERIFY(!w.isVisible());
        for (const QPointer<QWidget> &window : others)
            QTRY_VERIFY(!window || !window->isVisible());
    }

    // Values written by hand into the settings file: a comma without quotes
    // makes the store read a list, which comes back as the text typed and
    // then passes the box's filter.
    void handEditedSettingsFile_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("expected");
        QTest::newRow("capital with a comma") << QByteArray("Capital=1,000.50") << "txtCapital" << "1000.50";
        QTest::newRow("quoted") << QByteArray("Capital=\"1,000.50\"") << "txtCapital" << "1000.50";
        QTest::newRow("two commas") << QByteArray("VolumeE=1,000,000") << "txtVolumeE" << "1000000";
        QTest::newRow("symbol keeps its comma") << QByteArray("QSSymbol=brk,a") << "txtQSSymbol" << "BRK,A";
    }

    void handEditedSettingsFile()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, box);
        QFETCH(QString, expected);
        const QString path = QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Tarnvale"),
                                       QStringLiteral("Tarnvale"))
                                 .fileName();
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[Settings]\n" + line + "\n");
        file.close();
        ScriptedPrompter prompter;
        frmMain w(m_dir->path(), &prompter);
        QCOMPARE(w.box(box.toLatin1().constData())->text(), expected);
        QCOMPARE(w.box("txtComm")->text(), QStringLiteral("10.99")); // the others keep their defaults
    }

    void amountBoxesKeepDigitsAndPoints_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<int>("caret");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("expected");
        QTest::newRow("letter dropped") << QString() << 0 << QStringLiteral("12a3") << QStringLiteral("123");
        QTest::newRow("comma dropped") << QString() << 0 << QStringLiteral("1,000") << QStringLiteral("1000");
        QTest::newRow("points stay") << QString() << 0 << QStringLiteral("1.2.3") << QStringLiteral("1.2.3");
        QTest::newRow("lone point") << QString() << 0 << QStringLiteral(".") << QStringLiteral(".");
        QTest::newRow("digit in front") << QStringLiteral("50") << 0 << QStringLiteral("1") << QStringLiteral("150");
    }

    void amountBoxesKeepDigitsAndPoints()
    {
        QFETCH(QString, start);
        QFETCH(int, caret);
        QFETCH(QString, typed);
        QFETCH(QString, expected);
        ScriptedPrompter prompter;
        frmMain w(m_dir->path(), &prompter);
        w.show();
        action(&w, "mnuOpen_Nasdaq")->trigger();
        QLineEdit *capital = w.box("txtCapital");
        capital->setText(start);
        capital->setCursorPosition(caret);
        capital->setFocus();
        QTest::keyClicks(capital, typed);
        QCOMPARE(capital->text(), expected);
        QCOMPARE(capital->cursorPosition(), int(expected.size()));
    }

    void pastedAndClearedTexts()
    {
        ScriptedPrompter prompter;
        frmMain w(m_dir->path(), &prompter);
        w.show();
        action(&w, "mnuOpen_Nasdaq")->trigger();
        QLineEdit *end = w.box("txtVolumeE");
        end->clear();
        QCOMPARE(end->text(), QString());
        QApplication::clipboard()->setText(QStringLiteral("-5.5"));
        end->setFocus();
        end->paste();
        QCOMPARE(end->text(), QStringLiteral("5.5"));
        QCOMPARE(end->cursorPosition(), 3);

        int changes = 0;
        connect(end, &QLineEdit::textChanged, this, [&changes] { ++changes; });
        end->setText(QStringLiteral("x7"));
        QCOMPARE(end->text(), QStringLiteral("7"));
        QCOMPARE(changes, 2); // the rewrite fires once more, and stops there

        QLineEdit *symbol = w.box("txtQSSymbol");
        symbol->clear();
        symbol->setFocus();
        QTest::keyClicks(symbol, QStringLiteral("msft"));
        QCOMPARE(symbol->text(), QStringLiteral("MSFT"));
        QCOMPARE(symbol->cursorPosition(), 4);
    }
};

QTEST_MAIN(TestFrmMain)
#include "tst_frmmain.moc"
