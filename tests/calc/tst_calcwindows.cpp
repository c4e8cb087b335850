#include "app/frmMain.h"
#include "calc/frmProfitCalc.h"
#include "calc/frmShareCalc.h"
#include "common/ScriptedPrompter.h"
#include "common/TestSettings.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString latin(const char *text)
{
    return QString::fromLatin1(text);
}

// The calculator window that is open now, found as the user sees it: a
// visible top-level window.
QWidget *openWindow(const char *name)
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget *w : windows) {
        if (w->objectName() == latin(name) && w->isVisible())
            return w;
    }
    return nullptr;
}

QWidget *choose(frmMain &w, const char *menuItem, const char *window)
{
    QAction *action = w.findChild<QAction *>(latin(menuItem));
    if (!action)
        return nullptr;
    action->trigger();
    return openWindow(window);
}

QLineEdit *box(QWidget *window, const char *name)
{
    return window->findChild<QLineEdit *>(latin(name));
}

QString boxText(QWidget *window, const char *name)
{
    QLineEdit *b = box(window, name);
    return b ? b->text() : QStringLiteral("<missing>");
}

void type(QWidget *window, const char *name, const char *text)
{
    QLineEdit *b = box(window, name);
    QVERIFY2(b, name);
    b->clear();
    QTest::keyClicks(b, latin(text));
}

QString calc(QWidget *window, const char *resultLabel)
{
    auto *button = window->findChild<QPushButton *>(QStringLiteral("butDS"));
    if (!button)
        return QStringLiteral("<no butDS>");
    QTest::mouseClick(button, Qt::LeftButton);
    auto *label = window->findChild<QLabel *>(latin(resultLabel));
    return label ? label->text() : QStringLiteral("<no label>");
}

QStringList captions(QWidget *window)
{
    QStringList out;
    const QList<QLabel *> labels = window->findChildren<QLabel *>(QStringLiteral("lblLabel"));
    for (QLabel *l : labels)
        out << l->text();
    return out;
}

} // namespace

class TestCalcWindows : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestSettings> m_settings;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ScriptedPrompter> m_prompter;

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void init()
    {
        m_settings = std::make_unique<TestSettings>();
        m_dir = std::make_unique<QTemporaryDir>();
        m_prompter = std::make_unique<ScriptedPrompter>();
    }

    void cleanup()
    {
        // No calculator may outlive its main window.
        QVERIFY(!openWindow("frmShareCalc"));
        QVERIFY(!openWindow("frmProfitCalc"));
        QVERIFY(m_prompter->messages.isEmpty());
    }

    void windowsCarryTheirControls_data()
    {
        QTest::addColumn<QString>("menuItem");
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QStringList>("captions");
        QTest::addColumn<QStringList>("boxes");       // in tab order
        QTest::addColumn<QStringList>("initialTexts"); // with the main window at its defaults
        QTest::addColumn<QString>("resultLabel");
        QTest::newRow("Buy Power") << "mnuCalcs_Shares" << "frmShareCalc" << "Buy Power"
                                   << QStringList{"Capital: $", "Price per share: $", "Commission: $"}
                                   << QStringList{"txtCapital", "txtPrice", "txtComm"}
                                   << QStringList{"500", "1.00", "10.99"} << "lblShares";
        QTest::newRow("Possible Profit")
            << "mnuCalcs_Profit" << "frmProfitCalc" << "Possible Profit"
            << QStringList{"Capital: $", "Buy Price: $", "Sell Price: $", "Commission: $"}
            << QStringList{"txtCapital", "txtBuy", "txtSell", "txtComm"} << QStringList{"500", "1.00", "2.00", "10.99"}
            << "lblProfit";
    }

    void windowsCarryTheirControls()
    {
        QFETCH(QString, menuItem);
        QFETCH(QString, window);
        QFETCH(QString, title);
        QFETCH(QStringList, captions);
        QFETCH(QStringList, boxes);
        QFETCH(QStringList, initialTexts);
        QFETCH(QString, resultLabel);

        frmMain w(m_dir->path(), m_prompter.get());
        w.show();
        QWidget *calcWindow = choose(w, menuItem.toLatin1().constData(), window.toLatin1().constData());
        QVERIFY(calcWindow);
        QCOMPARE(calcWindow->windowTitle(), title);
        QCOMPARE(::captions(calcWindow), captions);
        for (qsizetype i = 0; i < boxes.size(); ++i)
            QCOMPARE(boxText(calcWindow, boxes[i].toLatin1().constData()), initialTexts[i]);
        auto *button = calcWindow->findChild<QPushButton *>(QStringLiteral("butDS"));
        QVERIFY(button);
        QCOMPARE(button->text(), QStringLiteral("Calc"));
        auto *result = calcWindow->findChild<QLabel *>(resultLabel);
        QVERIFY(result);
        QVERIFY(result->text().isEmpty());

        // Looks: light grey window, dark grey captions, dark red result.
        QCOMPARE(calcWindow->palette().color(QPalette::Window), QColor(224, 224, 224));
        for (QLabel *l : calcWindow->findChildren<QLabel *>(QStringLiteral("lblLabel"))) {
            QCOMPARE(l->font().family(), QStringLiteral("Arial"));
            QCOMPARE(l->font().pointSizeF(), 8.25);
            QVERIFY(l->font().bold());
            QCOMPARE(l->palette().color(QPalette::WindowText), QColor(64, 64, 64));
        }
        QCOMPARE(result->font().family(), QStringLiteral("Arial"));
        QCOMPARE(result->font().pointSizeF(), 9.0);
        QVERIFY(result->font().bold());
        QCOMPARE(result->palette().color(QPalette::WindowText), QColor(128, 0, 0));

        // Tab goes down the rows, then to "Calc".
        calcWindow->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(calcWindow));
        QWidget *first = box(calcWindow, boxes.first().toLatin1().constData());
        first->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), first);
        QList<QWidget *> order{first};
        for (qsizetype i = 0; i < boxes.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            order << QApplication::focusWidget();
        }
        QList<QWidget *> expected;
        for (const QString &name : boxes)
            expected << box(calcWindow, name.toLatin1().constData());
        expected << button;
        QCOMPARE(order, expected);

        calcWindow->close();
    }

    void everyBoxKeepsOnlyDigitsAndPoints_data()
    {
        QTest::addColumn<QString>("menuItem");
        QTest::addColumn<QString>("window");
        QTest::addColumn<QStringList>("boxes");
        QTest::newRow("Buy Power") << "mnuCalcs_Shares" << "frmShareCalc"
                                   << QStringList{"txtCapital", "txtPrice", "txtComm"};
        QTest::newRow("Possible Profit") << "mnuCalcs_Profit" << "frmProfitCalc"
                                         << QStringList{"txtCapital", "txtBuy", "txtSell", "txtComm"};
    }

    void everyBoxKeepsOnlyDigitsAndPoints()
    {
        QFETCH(QString, menuItem);
        QFETCH(QString, window);
        QFETCH(QStringList, boxes);
        frmMain w(m_dir->path(), m_prompter.get());
        QWidget *calcWindow = choose(w, menuItem.toLatin1().constData(), window.toLatin1().constData());
        QVERIFY(calcWindow);
        for (const QString &name : boxes) {
            type(calcWindow, name.toLatin1().constData(), "1,2a3.-5");
            QCOMPARE(boxText(calcWindow, name.toLatin1().constData()), QStringLiteral("123.5"));
        }
        calcWindow->close();
    }

    void loadCopiesCapitalAndCommissionAsPlainNumbers_data()
    {
        QTest::addColumn<QString>("capital");
        QTest::addColumn<QString>("commission");
        QTest::addColumn<QString>("shownCapital");
        QTest::addColumn<QString>("shownCommission");
        QTest::newRow("defaults") << "500.00" << "10.99" << "500" << "10.99";
        QTest::newRow("trailing zeros") << "1234.50" << "7.00" << "1234.5" << "7";
        QTest::newRow("leading point") << ".5" << "0" << "0.5" << "0";
        QTest::newRow("no number is kept as it is") << "" << "1.2.3" << "" << "1.2.3";
    }

    void loadCopiesCapitalAndCommissionAsPlainNumbers()
    {
        QFETCH(QString, capital);
        QFETCH(QString, commission);
        QFETCH(QString, shownCapital);
        QFETCH(QString, shownCommission);
        frmMain w(m_dir->path(), m_prompter.get());
        w.box("txtCapital")->setText(capital);
        w.box("txtComm")->setText(commission);
        const QList<std::pair<const char *, const char *>> calculators{{"mnuCalcs_Shares", "frmShareCalc"},
                                                                        {"mnuCalcs_Profit", "frmProfitCalc"}};
        for (const auto &[menuItem, window] : calculators) {
            QWidget *calcWindow = choose(w, menuItem, window);
            QVERIFY2(calcWindow, window);
            QCOMPARE(boxText(calcWindow, "txtCapital"), shownCapital);
            QCOMPARE(boxText(calcWindow, "txtComm"), shownCommission);
            calcWindow->close();
        }
        // Nothing is written back to the main window.
        QCOMPARE(w.box("txtCapital")->text(), capital);
        QCOMPARE(w.box("txtComm")->text(), commission);
    }

    void mainWindowIsDisabledWhileACalculatorIsOpen_data()
    {
        QTest::addColumn<QString>("menuItem");
        QTest::addColumn<QString>("window");
        QTest::newRow("Buy Power") << "mnuCalcs_Shares" << "frmShareCalc";
        QTest::newRow("Possible Profit") << "mnuCalcs_Profit" << "frmProfitCalc";
    }

    void mainWindowIsDisabledWhileACalculatorIsOpen()
    {
        QFETCH(QString, menuItem);
        QFETCH(QString, window);
        frmMain w(m_dir->path(), m_prompter.get());
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(w.isEnabled());

        QPointer<QWidget> first = choose(w, menuItem.toLatin1().constData(), window.toLatin1().constData());
        QVERIFY(first);
        QVERIFY(!w.isEnabled());
        QVERIFY(first->isEnabled());
        // The main window's own controls ignore the user meanwhile.
        QVERIFY(!w.box("txtCapital")->isEnabled());
        type(first, "txtCapital", "9999");

        // The close box unloads the window and gives the main window back.
        QVERIFY(first->close());
        QVERIFY(w.isEnabled());
        QTRY_VERIFY(first.isNull());

        // Reopening starts afresh from what the main window holds now.
        w.box("txtCapital")->setText(QStringLiteral("2000.00"));
        w.box("txtComm")->setText(QStringLiteral("4.95"));
        QPointer<QWidget> second = choose(w, menuItem.toLatin1().constData(), window.toLatin1().constData());
        QVERIFY(second);
        QVERIFY(!w.isEnabled());
        QCOMPARE(boxText(second, "txtCapital"), QStringLiteral("2000"));
        QCOMPARE(boxText(second, "txtComm"), QStringLiteral("4.95"));
        QVERIFY(second->close());
        QVERIFY(w.isEnabled());
    }

    void reopeningRightAfterClosingGivesAFreshWindow()
    {
        frmMain w(m_dir->path(), m_prompter.get());
        QPointer<QWidget> first = choose(w, "mnuCalcs_Shares", "frmShareCalc");
        QVERIFY(first);
        type(first, "txtPrice", "7");
        first->close();
        // The closed window is still waiting to be deleted.
        QPointer<QWidget> second = choose(w, "mnuCalcs_Shares", "frmShareCalc");
        QVERIFY(second);
        QVERIFY(second != first);
        QCOMPARE(boxText(second, "txtPrice"), QStringLiteral("1.00"));
        QVERIFY(!w.isEnabled());
        QTRY_VERIFY(first.isNull());
        QVERIFY(second);
        QVERIFY(!w.isEnabled());
        second->close();
        QVERIFY(w.isEnabled());
    }

    void calculatorGoesWithTheMainWindow()
    {
        QPointer<QWidget> shares;
        {
            frmMain w(m_dir->path(), m_prompter.get());
            shares = choose(w, "mnuCalcs_Shares", "frmShareCalc");
            QVERIFY(shares);
        }
        QVERIFY(shares.isNull());
    }

    void buyPowerCalc_data()
    {
        QTest::addColumn<QString>("capital");
        QTest::addColumn<QString>("price");
        QTest::addColumn<QString>("commission");
        QTest::addColumn<QString>("expected");
        QTest::newRow("initial texts") << QString() << QString() << QString() << "Shares:   489";
        QTest::newRow("thousands") << "100000" << "3" << "0" << "Shares:   33,333";
        QTest::newRow("half away from zero") << "5" << "2" << "0" << "Shares:   3";
        QTest::newRow("quotient 1234567.4") << "1234567.4" << "1" << "0" << "Shares:   1,234,567";
        QTest::newRow("capital equal to commission") << "10.99" << "1" << "10.99" << "Shares:   ";
        QTest::newRow("price of 0") << "500" << "0" << "10.99" << "The price per share must be above 0";
        QTest::newRow("two points") << "5.0.0" << "1" << "0" << "The capital is not a number";
        QTest::newRow("emptied box") << "" << "" << "" << "Enter the capital";
    }

    void buyPowerCalc()
    {
        QFETCH(QString, capital);
        QFETCH(QString, price);
        QFETCH(QString, commission);
        QFETCH(QString, expected);
        frmMain w(m_dir->path(), m_prompter.get());
        QWidget *window = choose(w, "mnuCalcs_Shares", "frmShareCalc");
        QVERIFY(window);
        if (QByteArray(QTest::currentDataTag()) != "initial texts") {
            type(window, "txtCapital", capital.toLatin1().constData());
            type(window, "txtPrice", price.toLatin1().constData());
            type(window, "txtComm", commission.toLatin1().constData());
        }
        QCOMPARE(calc(window, "lblShares"), expected);
        window->close();
    }

    void possibleProfitCalc_data()
    {
        QTest::addColumn<QString>("capital");
        QTest::addColumn<QString>("buy");
        QTest::addColumn<QString>("sell");
        QTest::addColumn<QString>("commission");
        QTest::addColumn<QString>("expected");
        QTest::newRow("initial texts") << QString() << QString() << QString() << QString()
                                       << "Profit:     $467.02\r\nShares:   489";
        QTest::newRow("sell equal to buy") << "500" << "1" << "1" << "10.99" << "Profit:     $-21.98\r\nShares:   489";
        QTest::newRow("a million at a dollar")
            << "1000000" << "1" << "2" << "0" << "Profit:     $1000000\r\nShares:   1000000";
        QTest::newRow("beyond 32 bits") << "5000000000" << "1" << "2" << "0" << "Share count out of range";
        QTest::newRow("buy price of 0") << "500" << "0" << "2" << "10.99" << "The buy price must be above 0";
        QTest::newRow("lone point") << "500" << "1" << "." << "10.99" << "The sell price is not a number";
    }

    void possibleProfitCalc()
    {
        QFETCH(QString, capital);
        QFETCH(QString, buy);
        QFETCH(QString, sell);
        QFETCH(QString, commission);
        QFETCH(QString, expected);
        frmMain w(m_dir->path(), m_prompter.get());
        QWidget *window = choose(w, "mnuCalcs_Profit", "frmProfitCalc");
        QVERIFY(window);
        if (QByteArray(QTest::currentDataTag()) != "initial texts") {
            type(window, "txtCapital", capital.toLatin1().constData());
            type(window, "txtBuy", buy.toLatin1().constData());
            type(window, "txtSell", sell.toLatin1().constData());
            type(window, "txtComm", commission.toLatin1().constData());
        }
        QCOMPARE(calc(window, "lblProfit"), expected);
        window->close();
    }

    void resultsWaitForCalc()
    {
        frmMain w(m_dir->path(), m_prompter.get());
        QWidget *window = choose(w, "mnuCalcs_Profit", "frmProfitCalc");
        QVERIFY(window);
        QCOMPARE(calc(window, "lblProfit"), QStringLiteral("Profit:     $467.02\r\nShares:   489"));
        type(window, "txtSell", "1");
        // Typing changes nothing until "Calc" is pressed again.
        QCOMPARE(window->findChild<QLabel *>(QStringLiteral("lblProfit"))->text(),
                 QStringLiteral("Profit:     $467.02\r\nShares:   489"));
        QCOMPARE(calc(window, "lblProfit"), QStringLiteral("Profit:     $-21.98\r\nShares:   489"));
        window->close();
    }
};

QTEST_MAIN(TestCalcWindows)
#include "tst_calcwindows.moc"
