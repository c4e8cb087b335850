#include "base/SettingsTable.h"
#include "common/MainWindowTest.h"
#include "common/TestFiles.h"
#include "screen/ResultGrid.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>

class TestFrmMain : public MainWindowTest
{
    Q_OBJECT

    QString label() const { return find<QLabel>("lblDBInfo")->text(); }
    bool shown(const char *panel) const { return find<QWidget>(panel)->isVisible(); }
    static QString settingsPath() { return store().fileName(); }

private slots:
    void init()
    {
        QVERIFY(setUpMarket(marketOf({"MSFT", "AAPL", "INTC"})));
        QVERIFY(writeMarketFile(marketPath("nyse.bin"), marketOf({"IBM"}, dateToMarketDate(QDate(2004, 6, 4)))));
    }

    void cleanup() { m_window.reset(); }

    void firstStartShowsDefaultsAndHidesPanels()
    {
        QVERIFY(showWindow(false));
        QCOMPARE(m_window->windowTitle(), QStringLiteral("Tarnvale"));
        const QStringList defaults{"500.00", "10.99", "0.10", "0.50",  "0.10",    "0.50", "0.01",  "10.00", "0.10",
                                   "0.50",   "0.10",  "0.50", "50000", "1000000", "0.01", "10.00", ""};
        const char *const boxes[] = {"txtCapital", "txtComm",    "txtLastS",   "txtLastE",   "txtOpenS",   "txtOpenE",
                                     "txtChangeS", "txtChangeE", "txtHighS",   "txtHighE",   "txtLowS",    "txtLowE",
                                     "txtVolumeS", "txtVolumeE", "txtSpreadS", "txtSpreadE", "txtQSSymbol"};
        for (int i = 0; i < defaults.size(); ++i)
            QVERIFY2(m_window->box(boxes[i])->text() == defaults[i], boxes[i]);
        QCOMPARE(label(), QStringLiteral("Open a market: Market > Open Market")); // until one is opened
        QVERIFY(!shown("frmPersonal") && !shown("frmQS") && !shown("frmADVS") && shown("frmDBInfo"));
        QVERIFY(!find("mnuMenu_Market")->isEnabled());
        QVERIFY(find("mnuMenu")->isEnabled() && find("mnuTools")->isEnabled() && find("mnuHelp")->isEnabled());
        QVERIFY(m_prompter->messages.isEmpty());
    }

    void boxesAreAnnouncedByTheirLabels()
    {
        QVERIFY(showWindow(false));
        QMap<QWidget *, QString> labelOf;
        for (QLabel *l : m_window->findChildren<QLabel *>())
            labelOf[l->buddy()] = l->text();
        QCOMPARE(labelOf.value(m_window->box("txtCapital")), QStringLiteral("Capital: $"));
        QCOMPARE(labelOf.value(m_window->box("txtLastE")), QStringLiteral("  End: $"));
        QCOMPARE(labelOf.value(m_window->box("txtVolumeS")), QStringLiteral("Start:"));
        for (const SettingKey &k : kSettingKeys)
            QVERIFY2(labelOf.contains(m_window->box(k.box)) && !m_window->box(k.box)->accessibleName().isEmpty(),
                     k.box);
    }

    void openingMarketsShowsTheirCaptions()
    {
        QVERIFY(showWindow());
        QCOMPARE(label(), QStringLiteral("Database: Nasdaq (3 listed)\nLast update: ")
                              + QLocale().toString(QTime(0, 0), QLocale::ShortFormat));
        for (const char *panel : {"frmPersonal", "frmQS", "frmADVS"})
            QVERIFY(shown(panel) && find<QWidget>(panel)->isEnabled());
        QVERIFY(find("mnuMenu_Market")->isEnabled());
        trigger("mnuOpen_NYSE");
        QCOMPARE(label(), QStringLiteral("Database: NYSE (1 listed)\nLast update: ")
                              + QLocale().toString(QDate(2004, 6, 4), QLocale::ShortFormat));
        QCOMPARE(m_window->grid()->rows(), 2);
        QCOMPARE(m_window->market().database().Stocks.first().Symbol, QStringLiteral("IBM"));
        QVERIFY(m_prompter->messages.isEmpty());
    }

    void damagedMarketIsRefusedAndLeavesNothingOpen()
    {
        QVERIFY(writeFile(marketPath("nyse.bin"), QByteArray(20, '\x01')));
        QVERIFY(showWindow());
        trigger("mnuOpen_NYSE");
        QCOMPARE(m_prompter->messages.size(), 1);
        QCOMPARE(m_prompter->messages[0].icon, Prompter::Icon::Exclamation);
        QVERIFY(m_prompter->lastText().contains(QStringLiteral("nyse.bin")));
        QVERIFY(m_prompter->lastText().contains(QStringLiteral("damaged")));
        QVERIFY(label().contains(QStringLiteral("NYSE could not be opened")));
        QVERIFY(!find("mnuMenu_Market")->isEnabled() && !shown("frmADVS"));
    }

    void closingWritesTheSettingsAndTheyComeBack()
    {
        QVERIFY(showWindow(false));
        m_window->box("txtCapital")->setText(QStringLiteral("2500"));
        m_window->box("txtComm")->clear();
        m_window->box("txtQSSymbol")->setText(QStringLiteral("msft"));
        trigger("mnuMenu_Exit");
        QVERIFY(!m_window->isVisible());
        m_window.reset();
        QSettings store = MainWindowTest::store();
        store.beginGroup(QStringLiteral("Settings"));
        QCOMPARE(store.childKeys().size(), 17);
        QCOMPARE(store.value(QStringLiteral("Capital")).toString(), QStringLiteral("2500"));
        QCOMPARE(store.value(QStringLiteral("Commission")).toString(), QString());
        QCOMPARE(store.value(QStringLiteral("QSSymbol")).toString(), QStringLiteral("MSFT"));
        QCOMPARE(store.value(QStringLiteral("VolumeE")).toString(), QStringLiteral("1000000"));

        QVERIFY(showWindow(false));
        QCOMPARE(m_window->box("txtCapital")->text(), QStringLiteral("2500"));
        QCOMPARE(m_window->box("txtComm")->text(), QString()); // empty stays empty, not the default
        QCOMPARE(m_window->box("txtQSSymbol")->text(), QStringLiteral("MSFT"));
    }

    // Values written by hand into the settings file: a comma without quotes
    // makes the store read a list, which comes back as the text typed and
    // then passes the box's filter.
    void handEditedSettingsFile_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("expected");
        QTest::newRow("capital with a comma") << QByteArray("Capital=1,000.50") << "txtCapital"
                                              << "1000.50";
        QTest::newRow("symbol keeps its comma") << QByteArray("QSSymbol=brk,a") << "txtQSSymbol"
                                                << "BRK,A";
    }

    void handEditedSettingsFile()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, box);
        QFETCH(QString, expected);
        QVERIFY(QDir().mkpath(QFileInfo(settingsPath()).path()));
        QVERIFY(writeFile(settingsPath(), "[Settings]\n" + line + "\n"));
        QVERIFY(showWindow(false));
        QCOMPARE(m_window->box(box.toLatin1().constData())->text(), expected);
        QCOMPARE(m_window->box("txtComm")->text(), QStringLiteral("10.99")); // the others keep their defaults
    }

    // What is typed in an amount box goes through the filter, and the caret
    // follows; a text the program sets is rewritten once, and that is all.
    void amountBoxesFilterTheirText()
    {
        QVERIFY(showWindow());
        QLineEdit *edit = m_window->box("txtCapital");
        edit->setText(QStringLiteral("50"));
        edit->setCursorPosition(0);
        edit->setFocus();
        QTest::keyClicks(edit, QStringLiteral("1,a"));
        QCOMPARE(edit->text(), QStringLiteral("150"));
        QCOMPARE(edit->cursorPosition(), 3);
        int changes = 0;
        connect(edit, &QLineEdit::textChanged, this, [&changes] { ++changes; });
        edit->setText(QStringLiteral("x7"));
        QCOMPARE(edit->text(), QStringLiteral("7"));
        QCOMPARE(changes, 2);
    }

    // "Add Symbol" and "Remove Symbol": the input box, then the store's
    // message with an icon that says whether the list changed.
    void commands_data()
    {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("changed"); // Information, and the list on screen is the one saved
        QTest::newRow("added") << QByteArray("mnuMarket_AddSymbol") << "ibm"
                               << "Add symbol" << true;
        QTest::newRow("already listed") << QByteArray("mnuMarket_AddSymbol") << "msft"
                                        << "Add symbol" << false;
        QTest::newRow("removed") << QByteArray("mnuMarket_RemoveSymbol") << "msft"
                                 << "Remove symbol" << true;
        QTest::newRow("not listed") << QByteArray("mnuMarket_RemoveSymbol") << "ibm"
                                    << "Remove symbol" << false;
    }

    void commands()
    {
        QFETCH(QByteArray, command);
        QFETCH(QString, typed);
        QFETCH(QString, title);
        QFETCH(bool, changed);
        QVERIFY(showWindow());
        const QString caption = label();
        m_prompter->inputAnswers = {typed};
        trigger(command.constData());
        QCOMPARE(m_prompter->inputPrompts, QStringList{QStringLiteral("Enter stock symbol")});
        QCOMPARE(m_prompter->inputTitles, QStringList{title});
        QCOMPARE(m_prompter->messages.size(), 1);
        QVERIFY(m_prompter->lastText().contains(typed, Qt::CaseInsensitive));
        QCOMPARE(m_prompter->messages[0].icon, changed ? Prompter::Icon::Information : Prompter::Icon::Exclamation);
        QCOMPARE(onDisk().listedCount(), changed ? (command.contains("Add") ? 4 : 2) : 3);
        QCOMPARE(m_window->market().database(), onDisk());
        QCOMPARE(label(), caption); // the count waits for the next load
    }

    void blankOrCancelledSymbolDoesNothing()
    {
        QVERIFY(showWindow());
        const QByteArray before = fileBytes(marketPath());
        m_prompter->inputAnswers = {QStringLiteral("   "), QString(), QStringLiteral("  ")};
        trigger("mnuMarket_AddSymbol");
        trigger("mnuMarket_AddSymbol");
        trigger("mnuMarket_RemoveSymbol");
        QVERIFY(m_prompter->messages.isEmpty());
        QCOMPARE(fileBytes(marketPath()), before);
    }
};

QTEST_MAIN(TestFrmMain)
#include "tst_frmmain.moc"
