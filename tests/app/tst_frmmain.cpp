#include "base/SettingsTable.h"
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

class TestFrmMain : public MainWindowTest
{
    Q_OBJECT

    QString label() const { return find<QLabel>("lblDBInfo")->text(); }
    bool shown(const char *panel) const { return find<QWidget>(panel)->isVisible(); }
    static QSettings store()
    {
        return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Tarnvale"),
                         QStringLiteral("Tarnvale"));
    }
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
        const QStringList defaults{"500.00", "10.99", "0.10", "0.50", "0.10",  "0.50", "0.01", "10.00", "0.10",
                                   "0.50",   "0.10",  "0.50", "50000", "1000000", "0.01", "10.00", ""};
        const char *const boxes[] = {"txtCapital", "txtComm", "txtLastS",   "txtLastE",   "txtOpenS",  "txtOpenE",
                                     "txtChangeS", "txtChangeE", "txtHighS", "txtHighE",  "txtLowS",   "txtLowE",
                                     "txtVolumeS", "txtVolumeE", "txtSpreadS", "txtSpreadE", "txtQSSymbol"};
        for (int i = 0; i < defaults.size(); ++i)
            QVERIFY2(m_window->box(boxes[i])->text() == defaults[i], boxes[i]);
        QVERIFY(label().isEmpty());
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
            QVERIFY2(labelOf.contains(m_window->box(k.box)) && !m_window->box(k.box)->accessibleName().isEmpty(), k.box);
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
        QFile f(marketPath("nyse.bin"));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(QByteArray(20, '\x01')) == 20);
        f.close();
        QVERIFY(showWindow());
        trigger("mnuOpen_NYSE");
        QCOMPARE(m_prompter->messages.size(), 1);
        QCOMPARE(m_prompter->messages[0].icon, Prompter::Icon::Exclamation);
        QVERIFY(m_prompter->lastText().contains(QStringLiteral("nyse.bin")));
        QVERIFY(m_prompter->lastText().contains(QStringLiteral("damaged")));
        QVERIFY(label().contains(QStringLiteral("NYSE could not be opened")));
        QVERIFY(!find("mnuMenu_Market")->isEnabled() && !shown("frmADVS"));
        QVERIFY(!m_window->market().isOpen());
        QCOMPARE(m_window->market().database().listedCount(), 0);
        // A save now writes nothing into the NYSE file.
        QVERIFY(!m_window->SaveDatabase());
        QCOMPARE(QFileInfo(marketPath("nyse.bin")).size(), 20);
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
        QSettings store = TestFrmMain::store();
        store.beginGroup(QStringLiteral("Settings"));
        QCOMPARE(store.childKeys().size(), 17);
        QCOMPARE(store.value(QStringLiteral("Capital")).toString(), QStringLiteral("2500"));
        QCOMPARE(store.value(QStringLiteral("Commission")).toString(), QString());
        QCOMPARE(store.value(QStringLiteral("QSSymbol")).toString(), QStringLiteral("MSFT"));
        QCOMPARE(store.value(QStringLiteral("VolumeE")).toString(), QStringLiteral("1000000"));
        store.setValue(QStringLiteral("LastS"), QStringLiteral("1,000.50"));
        store.setValue(QStringLiteral("QSSymbol"), QStringLiteral("ibm"));
        store.sync();

        QVERIFY(showWindow(false));
        QCOMPARE(m_window->box("txtCapital")->text(), QStringLiteral("2500"));
        QCOMPARE(m_window->box("txtComm")->text(), QString()); // empty stays empty, not the default
        QCOMPARE(m_window->box("txtLastS")->text(), QStringLiteral("1000.50"));
        QCOMPARE(m_window->box("txtQSSymbol")->text(), QStringLiteral("IBM")); // stored in lower case
    }

    // Exit takes every other window with it: both calculators and the about box.
    void exitClosesEveryOtherWindow()
    {
        QVERIFY(showWindow(false));
        QList<QPointer<QWidget>> others;
        for (const char *item : {"mnuCalcs_Shares", "mnuCalcs_Profit", "mnuHelp_About"}) {
            trigger(item);
            for (QWidget *window : QApplication::topLevelWidgets()) {
                if (window != m_window.get() && window->isVisible() && !others.contains(window))
                    others << window;
            }
        }
        QCOMPARE(others.size(), 3);
        QVERIFY(!m_window->isEnabled());
        trigger("mnuMenu_Exit");
        QVERIFY(!m_window->isVisible());
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
        QTest::newRow("two commas") << QByteArray("VolumeE=1,000,000") << "txtVolumeE" << "1000000";
        QTest::newRow("symbol keeps its comma") << QByteArray("QSSymbol=brk,a") << "txtQSSymbol" << "BRK,A";
    }

    void handEditedSettingsFile()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, box);
        QFETCH(QString, expected);
        QVERIFY(QDir().mkpath(QFileInfo(settingsPath()).path()));
        QFile file(settingsPath());
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("[Settings]\n" + line + "\n") > 0);
        file.close();
        QVERIFY(showWindow(false));
        QCOMPARE(m_window->box(box.toLatin1().constData())->text(), expected);
        QCOMPARE(m_window->box("txtComm")->text(), QStringLiteral("10.99")); // the others keep their defaults
    }

    // Typed, pasted or set by the program: amount boxes keep digits and
    // points only, the symbol box turns to upper case; the caret follows.
    void boxFilters_data()
    {
        QTest::addColumn<QByteArray>("box");
        QTest::addColumn<QString>("start");
        QTest::addColumn<char>("how"); // 't' typed after the first character, 'p' pasted, 's' set
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("letter dropped") << QByteArray("txtCapital") << "" << 't' << "12a3" << "123";
        QTest::newRow("comma dropped") << QByteArray("txtCapital") << "" << 't' << "1,000" << "1000";
        QTest::newRow("points stay") << QByteArray("txtCapital") << "" << 't' << "1.2.3" << "1.2.3";
        QTest::newRow("lone point") << QByteArray("txtCapital") << "" << 't' << "." << ".";
        QTest::newRow("digit in front") << QByteArray("txtCapital") << "50" << 't' << "1" << "150";
        QTest::newRow("sign pasted") << QByteArray("txtVolumeE") << "" << 'p' << "-5.5" << "5.5";
        QTest::newRow("set by the program") << QByteArray("txtVolumeE") << "" << 's' << "x7" << "7";
        QTest::newRow("symbol typed") << QByteArray("txtQSSymbol") << "" << 't' << "msft" << "MSFT";
    }

    void boxFilters()
    {
        QFETCH(QByteArray, box);
        QFETCH(QString, start);
        QFETCH(char, how);
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QVERIFY(showWindow());
        QLineEdit *edit = m_window->box(box.constData());
        edit->setText(start);
        edit->setCursorPosition(0);
        edit->setFocus();
        int changes = 0;
        connect(edit, &QLineEdit::textChanged, this, [&changes] { ++changes; });
        if (how == 't')
            QTest::keyClicks(edit, text);
        else if (how == 'p') {
            QApplication::clipboard()->setText(text);
            edit->paste();
        } else {
            edit->setText(text);
            QCOMPARE(changes, 2); // the rewrite fires once more, and stops there
        }
        QCOMPARE(edit->text(), expected);
        if (how != 's')
            QCOMPARE(edit->cursorPosition(), int(expected.size()));
    }
};

QTEST_MAIN(TestFrmMain)
#include "tst_frmmain.moc"
