// The program as a screen reader meets it: every window is announced as a
// window or dialog with its title, every control by what it shows, and the
// status caption is heard as it changes, the update's progress included, and
// every sort of the result grid is heard with its column and direction.
#include "about/HelpWindow.h"
#include "common/MainWindowTest.h"
#include "common/OpenedWindow.h"
#include "common/QuoteAnswers.h"
#include "widgets/GridView.h"

#include <QAccessible>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>

namespace {

// Names announced for the status caption and descriptions announced for the
// grid, in order, while the handler is installed.
QStringList g_captionNames;
QStringList g_gridDescriptions;

void recordCaption(QAccessibleEvent *event)
{
    if (!event->object())
        return;
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(event->object());
    if (event->type() == QAccessible::NameChanged && event->object()->objectName() == QLatin1String("lblDBInfo"))
        g_captionNames << iface->text(QAccessible::Name);
    if (event->type() == QAccessible::DescriptionChanged && event->child() < 0
        && event->object()->objectName() == QLatin1String("Grid"))
        g_gridDescriptions << iface->text(QAccessible::Description);
}

QString shown(QObject *object)
{
    if (auto *label = qobject_cast<QLabel *>(object))
        return label->text();
    if (auto *button = qobject_cast<QAbstractButton *>(object))
        return QString(button->text()).remove(u'&');
    if (auto *frame = qobject_cast<QGroupBox *>(object))
        return frame->title();
    return {};
}

// Every control below iface whose announced name leaves out the text it shows.
void collectHidden(QAccessibleInterface *iface, QStringList *hidden)
{
    const QString text = shown(iface->object()).simplified();
    const QString name = iface->text(QAccessible::Name).simplified();
    if (!text.isEmpty() && !name.contains(text))
        *hidden << iface->object()->objectName() + QStringLiteral(" shows \"") + text + QStringLiteral("\" as \"")
                       + name + u'"';
    for (int i = 0; i < iface->childCount(); ++i) {
        if (QAccessibleInterface *child = iface->child(i))
            collectHidden(child, hidden);
    }
}

QString announced(QWidget *window)
{
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(window);
    const QAccessible::Role role = iface->role();
    const QString kind = role == QAccessible::Window   ? QStringLiteral("window")
                         : role == QAccessible::Dialog ? QStringLiteral("dialog")
                                                       : QStringLiteral("role %1").arg(int(role));
    return kind + u' ' + iface->text(QAccessible::Name);
}

} // namespace

class TestAccessibility : public MainWindowTest
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(setUpMarket(marketOf({"MSFT", "AAPL"})));
        QVERIFY(showWindow());
    }

    void cleanup()
    {
        m_window.reset();
        QAccessible::installUpdateHandler(nullptr);
    }

    void everyWindowIsAnnouncedWithItsTitleAndEveryControlByWhatItShows_data()
    {
        QTest::addColumn<QString>("menuItem"); // empty: the main window itself
        QTest::addColumn<QString>("expected");
        QTest::newRow("main window") << QString() << QStringLiteral("window Tarnvale");
        QTest::newRow("Buy Power") << QStringLiteral("mnuCalcs_Shares") << QStringLiteral("window Buy Power");
        QTest::newRow("Possible Profit") << QStringLiteral("mnuCalcs_Profit")
                                         << QStringLiteral("window Possible Profit");
        QTest::newRow("About") << QStringLiteral("mnuHelp_About") << QStringLiteral("window About");
        QTest::newRow("Columns") << QStringLiteral("mnuView_Columns") << QStringLiteral("dialog Columns");
    }

    void everyWindowIsAnnouncedWithItsTitleAndEveryControlByWhatItShows()
    {
        QFETCH(QString, menuItem);
        QFETCH(QString, expected);
        QWidget *window = menuItem.isEmpty() ? m_window.get() : choose(*m_window, menuItem);
        QVERIFY(window);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QCOMPARE(announced(window), expected);
        QStringList hidden;
        collectHidden(QAccessible::queryAccessibleInterface(window), &hidden);
        QVERIFY2(hidden.isEmpty(), qPrintable(hidden.join(QStringLiteral("; "))));
        if (window != m_window.get())
            window->close();
    }

    void helpProgramIsAWindow()
    {
        HelpWindow help(QUrl(QStringLiteral("data:text/html,<p>Guide</p>")));
        help.show();
        QVERIFY(QTest::qWaitForWindowExposed(&help));
        QCOMPARE(announced(&help), QStringLiteral("window Tarnvale Help"));
    }

    // The caption is announced as itself, and every change of it is heard:
    // each step of the update, and the reloaded market at the end.
    void statusCaptionIsHeardAsItChanges()
    {
        QTRY_VERIFY_WITH_TIMEOUT(QAccessible::isActive(), 5000);
        QAccessible::installUpdateHandler(recordCaption);
        g_captionNames.clear();
        LoopbackServer server(ServiceAnswer::lineForEach);
        pointQuotesAt(server.port());
        auto *caption = find<QLabel>("lblDBInfo");
        QCOMPARE(QAccessible::queryAccessibleInterface(caption)->text(QAccessible::Name), caption->text());
        QVERIFY(caption->text().startsWith(QStringLiteral("Database: Nasdaq (2 listed)")));

        trigger("mnuMarket_Update");
        QTRY_COMPARE(m_prompter->messages.size(), 1);
        QCOMPARE(g_captionNames.mid(0, 2), (QStringList{QStringLiteral("Updating: 50%\r\nUpdating: MSFT"),
                                                        QStringLiteral("Updating: 100%\r\nUpdating: AAPL")}));
        QCOMPARE(g_captionNames.last(), caption->text());
    }

    // Every menu opens from the keyboard by its access key, and every menu and
    // item is announced by its caption without the key's mark.
    void menusHaveAccessKeysAndAreNamedByTheirCaptions()
    {
        QMenuBar *bar = m_window->menuBar();
        QStringList unnamed;
        QSet<QChar> keys;
        for (const char *name :
             {"mnuMenu", "mnuMenu_Open", "mnuMenu_Market", "mnuView", "mnuTools", "mnuTools_Calcs", "mnuHelp"}) {
            auto *menu = find<QMenu>(name);
            QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(menu);
            for (int i = 0; i < iface->childCount(); ++i) {
                QAccessibleInterface *item = iface->child(i);
                if (item->role() == QAccessible::Separator)
                    continue;
                const QString name = item->text(QAccessible::Name);
                if (name.contains(u'&') || !menu->actions().value(i)->text().contains(u'&'))
                    unnamed << name;
            }
        }
        QAccessibleInterface *barIface = QAccessible::queryAccessibleInterface(bar);
        for (int i = 0; i < barIface->childCount(); ++i) {
            const QString caption = bar->actions().value(i)->text();
            QCOMPARE(barIface->child(i)->text(QAccessible::Name), QString(caption).remove(u'&'));
            if (caption.contains(u'&'))
                keys << caption.at(caption.indexOf(u'&') + 1).toLower();
        }
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QStringLiteral(", "))));
        QCOMPARE(keys, (QSet<QChar>{u'm', u'd', u'v', u't', u's', u'h'}));
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        QTest::keyClick(m_window.get(), Qt::Key_M, Qt::AltModifier);
        QTRY_COMPARE(QApplication::activePopupWidget(), find<QMenu>("mnuMenu"));
        find<QMenu>("mnuMenu")->close();
    }

    // Sorted from the keyboard by the current cell's column, then the other
    // way round; the "#" heading brings back the listed order.
    void sortIsHeard()
    {
        QTRY_VERIFY_WITH_TIMEOUT(QAccessible::isActive(), 5000);
        QAccessible::installUpdateHandler(recordCaption);
        g_gridDescriptions.clear();
        click("butListall");
        QWidget *grid = m_window->gridView();
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        m_window->grid()->setCurrentCell(1, 1);
        grid->setFocus();
        QTest::keyClick(grid, Qt::Key_T, Qt::ControlModifier);
        QCOMPARE(column(1), (QStringList{"AAPL", "MSFT", ""}));
        QTest::keyClick(grid, Qt::Key_T, Qt::ControlModifier);
        QTest::mouseClick(grid->findChild<QAbstractButton *>(QString(), Qt::FindDirectChildrenOnly), Qt::LeftButton);
        QCOMPARE(g_gridDescriptions, (QStringList{"Sorted by SYMBOL, ascending", "Sorted by SYMBOL, descending",
                                                  "Sorted in the order listed"}));
        QCOMPARE(QAccessible::queryAccessibleInterface(grid)->text(QAccessible::Description),
                 g_gridDescriptions.last());
    }
};

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
