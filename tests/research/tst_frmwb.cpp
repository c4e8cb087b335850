// The research window with the real embedded browser, against pages served on
// loopback by the test. As in the program, the browser library is loaded, not linked.
#include "common/LoopbackServer.h"
#include "common/MainWindowTest.h"
#include "common/TestFiles.h"
#include "research/ResearchBrowser.h"
#include "research/WebPageUrl.h"
#include "research/frmMenu.h"
#include "screen/ResultGrid.h"

#include <QAccessible>
#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QHash>
#include <QMainWindow>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QLineEdit>
#include <QSignalSpy>
#include <QToolBar>
#include <QTcpServer>

#if defined(__SANITIZE_ADDRESS__)
// Chromium deletes some of its objects through a pointer of a smaller type, which
// AddressSanitizer cannot skip by library: this one check is off in this one program.
extern "C" const char *__asan_default_options()
{
    return "new_delete_type_mismatch=0";
}
#endif

namespace {

// A page titled after its path; with a link, the page "/start" whose whole
// client area is one link (with the given attributes) over a frame named
// "side" and a form aimed at it. A press anywhere turns the top page's title
// to "pressed", a click to "clicked".
QByteArray page(const QString &title, const QString &link = QString())
{
    QString body = title;
    if (!link.isEmpty())
        body = QStringLiteral(
                   "<iframe name=\"side\" src=\"/side\"></iframe>"
                   "<form action=\"/next\" method=\"get\" target=\"side\"></form><a %1 style=\"position:"
                   "fixed;left:0;top:0;width:100%;height:100%\">go</a><script>document.addEventListener("
                   "'mousedown',function(){top.document.title='pressed';},true);document.addEventListener('click',"
                   "function(){top.document.title='clicked';},true);</script>")
                   .arg(link);
    return QStringLiteral("<html><head><title>%1</title></head><body>%2</body></html>").arg(title, body).toUtf8();
}

// The page "/start" that is one frame named "inner" over the whole client
// area, holding "/inner" (the page with the link), beside the frame "side".
QByteArray framedPage()
{
    return QByteArrayLiteral("<html><head><title>start</title></head><body><iframe name=\"side\" src=\"/side\">"
                             "</iframe><iframe name=\"inner\" src=\"/inner\" style=\"position:fixed;left:0;top:0;"
                             "width:100%;height:100%;border:0\"></iframe></body></html>");
}

// Stand-ins for every program the desktop could hand a link to: each one only
// notes that it was started.
class DesktopOpeners
{
public:
    DesktopOpeners()
    {
        for (const char *name : {"xdg-open", "gio", "gvfs-open", "gnome-open", "kde-open", "kde-open5", "kfmclient",
                                 "exo-open", "x-www-browser", "www-browser", "sensible-browser", "firefox", "chromium",
                                 "google-chrome", "mozilla", "thunderbird", "xdg-email"}) {
            QFile script(m_dir.filePath(QLatin1String(name)));
            if (!script.open(QIODevice::WriteOnly))
                continue; // the check that the stand-ins work fails then
            script.write("#!/bin/sh\necho \"$0 $*\" >> '" + started().toLocal8Bit() + "'\n");
            script.close();
            script.setPermissions(script.permissions() | QFile::ExeOwner);
        }
        qputenv("PATH", m_dir.path().toLocal8Bit() + ':' + qgetenv("PATH"));
        qputenv("BROWSER", m_dir.filePath(QStringLiteral("x-www-browser")).toLocal8Bit());
        qputenv("DEFAULT_BROWSER", qgetenv("BROWSER"));
    }

    // What was started, one line each.
    QString started() const { return m_dir.filePath(QStringLiteral("started.log")); }
    QByteArray log() const { return fileBytes(started()); }
    void clear() { QFile::remove(started()); }

private:
    QTemporaryDir m_dir;
};

} // namespace

class TestFrmWB : public MainWindowTest
{
    Q_OBJECT

public:
    static void initMain()
    {
        // Chromium's sandbox cannot run as root or in the build containers; only the tests turn it off.
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
        if (!qEnvironmentVariableIsSet("QTWEBENGINE_CHROMIUM_FLAGS"))
            qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu --no-first-run --disable-background-networking "
                                                  "--disable-component-update --disable-sync");
        // Xvfb has no GPU: no OpenGL in the process, whose driver leaks beyond any suppression.
        qputenv("QT_XCB_GL_INTEGRATION", "none");
        qputenv("QT_QUICK_BACKEND", "software");
    }

private:
    std::unique_ptr<LoopbackServer> m_server;
    QHash<QString, QByteArray> m_pages; // by path; any other path is not found
    std::unique_ptr<DesktopOpeners> m_openers;

    // The web view inside the research window, and what it shows.
    static QWidget *webView(QWidget *w) { return w ? w->findChild<QWidget *>(QStringLiteral("WB")) : nullptr; }
    static QUrl shownUrl(QWidget *w) { return webView(w)->property("url").toUrl(); }
    static QString shownTitle(QWidget *w) { return webView(w)->property("title").toString(); }
    frmMenu *menu() { return m_window->symbolMenu(); }
    ResultGrid *grid() { return m_window->grid(); }
    ResearchBrowser *browser() { return menu()->researchBrowser(); }

    // Opens path in the research window and waits until it has loaded.
    QMainWindow *open(const QString &path)
    {
        browser()->open(menu(), m_server->url(path));
        QMainWindow *w = qobject_cast<QMainWindow *>(browser()->window());
        const bool loaded =
            webView(w) && QTest::qWaitForWindowExposed(w)
            && QTest::qWaitFor([&] { return shownUrl(w) == m_server->url(path) && shownTitle(w) == path.mid(1); },
                               30000);
        return loaded ? w : nullptr;
    }

    // Clicks the page, all one link, as a user would; again while the page, still settling,
    // has neither seen the press (its title turns to "pressed") nor moved on.
    static bool clickLink(QWidget *w)
    {
        const QUrl start = shownUrl(w);
        for (int attempt = 0; attempt < 10; ++attempt) {
            QWidget *surface = webView(w)->focusProxy();
            QTest::mouseClick(surface, Qt::LeftButton, {}, surface->rect().center());
            if (QTest::qWaitFor([&] { return shownTitle(w).endsWith(QLatin1String("ed")) || shownUrl(w) != start; },
                                3000))
                return true;
        }
        return false;
    }

private slots:
    void initTestCase()
    {
        m_openers = std::make_unique<DesktopOpeners>();
        // The stand-ins do catch a hand-off to the desktop.
        QVERIFY(QDesktopServices::openUrl(QUrl(QStringLiteral("mailto:someone@example.com"))));
        QTRY_VERIFY(m_openers->log().contains("someone@example.com"));
        m_openers->clear();
    }

    void cleanupTestCase()
    {
        // Whatever a click could have started has long had its turn by now.
        QCOMPARE(m_openers->log(), QByteArray());
    }

    void init()
    {
        QVERIFY(setUpMarket(marketOf({"MSFT", "IBM", "INTC"})));
        m_prompter = std::make_unique<ScriptedPrompter>();
        m_window = std::make_unique<frmMain>(m_dir->path(), m_prompter.get());
        menu()->setBrowserDirectory(QStringLiteral(TARNVALE_BIN_DIR));
        m_server = std::make_unique<LoopbackServer>([this](QTcpSocket *socket, const QByteArray &request) {
            const QString path = QString::fromLatin1(LoopbackServer::path(request));
            LoopbackServer::send(socket, {LoopbackServer::http(m_pages.contains(path) ? 200 : 404, "text/html",
                                                               m_pages.value(path, "not here"))});
        });
        m_pages.clear();
        for (const QString path : {"one", "two", "next", "side", "after", "inner"})
            m_pages.insert(u'/' + path, page(path));
        // Three rows of symbols, written as a fill writes them; row 1's SYMBOL cell current.
        for (const char *symbol : {"MSFT", "IBM", "INTC"}) {
            grid()->appendRow(QStringLiteral("*"));
            grid()->setCurrentCell(grid()->rows() - 2, 1);
            grid()->setText(QLatin1String(symbol));
        }
        grid()->setCurrentCell(1, 1);
    }

    void cleanup()
    {
        m_window.reset();
        QVERIFY(m_prompter->messages.isEmpty() || QTest::currentTestFailed());
    }

    void oneWindowMadeOnFirstUseAndReused()
    {
        auto webEngineInProcess = [] {
            QFile maps(QStringLiteral("/proc/self/maps"));
            return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libQt6WebEngineCore");
        };
        QVERIFY(!webEngineInProcess()); // a main window with a filled grid and its Symbol Menu
        QVERIFY(!browser()->window());
        QVERIFY(webEngineInProcess());
        QMainWindow *w = open(QStringLiteral("/one"));
        QVERIFY(w);
        QCOMPARE(w->windowTitle(), QStringLiteral("MSFT Research"));
        QVERIFY(!w->isModal());
        const double scale = w->logicalDpiX() / 96.0;
        QCOMPARE(webView(w)->size(), QSize(qRound(860 * scale), qRound(458 * scale)));
        const QPoint offCentre = w->frameGeometry().center() - w->screen()->availableGeometry().center();
        QVERIFY(offCentre.manhattanLength() <= 40);

        grid()->setCurrentCell(2, 1);
        QCOMPARE(open(QStringLiteral("/two")), w);
        QCOMPARE(w->windowTitle(), QStringLiteral("IBM Research"));

        grid()->setCurrentCell(2, 4); // an empty cell, then a resize
        w->resize(w->width() - 40, w->height() - 30);
        QTRY_COMPARE(w->windowTitle(), QStringLiteral(" Research"));
        QTRY_COMPARE(webView(w)->size(), w->centralWidget()->size());

        QPointer<QMainWindow> closed = w;
        w->close();
        QTRY_VERIFY(closed.isNull());
        QPointer<QMainWindow> again = open(QStringLiteral("/one"));
        QVERIFY(again);
        m_window.reset(); // and it goes with the main window
        QVERIFY(again.isNull());
    }

    void links_data()
    {
        QTest::addColumn<bool>("inFrame"); // the link sits in the frame "inner" rather than in the top page
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<QString>("heldBack"); // the path or URL the window reports as held back
        auto row = [](const char *name, bool inFrame, const char *link, const char *outcome,
                      const char *heldBack = "") {
            QTest::newRow(name) << inFrame << QString::fromLatin1(link) << QString::fromLatin1(outcome)
                                << QString::fromLatin1(heldBack);
        };
        row("plain", false, "href=\"/next\"", "navigated");
        row("_SELF", false, "href=\"/next\" target=\"_SELF\"", "navigated");
        row("_top in the top page", false, "href=\"/next\" target=\"_top\"", "navigated");
        row("_blank", false, "href=\"/next\" target=\"_blank\"", "refused");
        row("window.open", false, "href=\"#\" onclick=\"window.open('/next');return false;\"", "refused");
        row("named frame", false, "href=\"/next\" target=\"side\"", "held back", "/next");
        row("form into the frame", false, "href=\"#\" onclick=\"document.forms[0].submit();return false;\"",
            "held back", "/next");
        row("window.open into the frame", false, "href=\"#\" onclick=\"window.open('/next','side');return false;\"",
            "held back", "/next");
        row("frame: plain", true, "href=\"/next\"", "navigated");
        row("frame: its own name", true, "href=\"/next\" target=\"inner\"", "navigated");
        row("frame: _top", true, "href=\"/next\" target=\"_top\"", "held back", "/next");
        row("frame: named frame", true, "href=\"/next\" target=\"side\"", "held back", "/next");
        row("frame: base target", true,
            "href=\"/next\" onmousedown=\"document.head.appendChild(document.createElement('base')).target='side'\"",
            "held back", "/next");
        // Schemes the browser does not know go nowhere (it reports nothing); the
        // ones it knows, such as data:, are refused by the window.
        row("mailto", false, "href=\"mailto:someone@example.com\"", "ignored");
        row("frame: own scheme", true, "href=\"tarnvale-test:open\"", "ignored");
        row("frame: data", true, "href=\"data:text/html,next\"", "held back", "data:text/html,next");
    }

    void links()
    {
        QFETCH(bool, inFrame);
        QFETCH(QString, link);
        QFETCH(QString, outcome);
        QFETCH(QString, heldBack);
        const QString linkPage = inFrame ? QStringLiteral("/inner") : QStringLiteral("/start");
        m_pages.insert(linkPage, page(linkPage.mid(1), link));
        if (inFrame)
            m_pages.insert(QStringLiteral("/start"), framedPage());
        QMainWindow *w = open(QStringLiteral("/start"));
        QVERIFY(w);
        QTRY_VERIFY_WITH_TIMEOUT(m_server->asked("GET /side "), 30000);
        const qsizetype windows = QApplication::topLevelWidgets().size();
        QSignalSpy cancelled(w, SIGNAL(navigationCancelled(QUrl)));
        QSignalSpy refused(w, SIGNAL(newWindowRefused()));
        grid()->setCurrentCell(3, 1); // another cell picked in the main window: the caption waits for a navigation
        QCOMPARE(w->windowTitle(), QStringLiteral("MSFT Research"));
        QVERIFY(clickLink(w));
        if (outcome == QLatin1String("navigated")) {
            QTRY_VERIFY_WITH_TIMEOUT(m_server->asked("GET /next"), 30000);
            // The top page moves on, or stays while its frame does.
            QTRY_COMPARE_WITH_TIMEOUT(shownTitle(w), inFrame ? QStringLiteral("clicked") : QStringLiteral("next"),
                                      30000);
            QCOMPARE(shownUrl(w).path(), inFrame ? QStringLiteral("/start") : QStringLiteral("/next"));
        } else {
            if (outcome == QLatin1String("ignored")) // the click is done with
                QTRY_COMPARE_WITH_TIMEOUT(shownTitle(w), QStringLiteral("clicked"), 30000);
            else
                QTRY_VERIFY_WITH_TIMEOUT(!cancelled.isEmpty() || !refused.isEmpty(), 30000);
            // Nothing fetched "/next", and a later page loads in the same window.
            QCOMPARE(open(QStringLiteral("/after")), w);
            QCOMPARE(m_server->asked("GET /next"), 0);
        }
        QCOMPARE(refused.count(), outcome == QLatin1String("refused") ? 1 : 0);
        const QUrl reported = cancelled.value(0).value(0).toUrl();
        QCOMPARE(reported.scheme().startsWith(QLatin1String("http")) ? reported.path() : reported.toString(), heldBack);
        QCOMPARE(cancelled.count(), heldBack.isEmpty() ? 0 : 1);
        QCOMPARE(QApplication::topLevelWidgets().size(), windows);
        QCOMPARE(w->windowTitle(), QStringLiteral("INTC Research"));
        // No link was handed to another program.
        QCOMPARE(m_openers->log(), QByteArray());
    }

    // A site that does not answer: a loopback port where nothing listens.
    void unreachableSiteNamedInOwnWords()
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const QUrl gone(QStringLiteral("http://127.0.0.1:%1/gone").arg(probe.serverPort()));
        probe.close();
        QVERIFY(open(QStringLiteral("/one")));
        browser()->open(menu(), gone);
        QWidget *w = browser()->window();
        QTRY_COMPARE_WITH_TIMEOUT(shownTitle(w), QStringLiteral("127.0.0.1 does not answer"), 30000);
        QCOMPARE(shownUrl(w), gone);
        // Reload asks the site again rather than the page that stands in for it.
        QTcpServer site;
        QVERIFY(site.listen(QHostAddress::LocalHost, gone.port()));
        QSignalSpy asked(&site, &QTcpServer::newConnection);
        w->findChild<QAction *>(QStringLiteral("butReload"))->trigger();
        QVERIFY(asked.wait(30000));
    }

    // Back, Forward and Reload by their keys, under the one "Research Tools"
    // menu; each control announced by what it shows.
    void navigationBar()
    {
        QMainWindow *w = open(QStringLiteral("/one"));
        QVERIFY(w);
        QCOMPARE(open(QStringLiteral("/two")), w);
        auto *address = w->findChild<QLineEdit *>(QStringLiteral("txtAddress"));
        QVERIFY(address->isReadOnly());
        QCOMPARE(QAccessible::queryAccessibleInterface(address)->text(QAccessible::Name), QStringLiteral("Address"));
        QCOMPARE(address->text(), m_server->url(QStringLiteral("/two")).toString());
        for (const char *name : {"Back", "Forward", "Reload"}) {
            QWidget *button = w->findChild<QToolBar *>()->widgetForAction(
                w->findChild<QAction *>(QStringLiteral("but") + QLatin1String(name)));
            QCOMPARE(QAccessible::queryAccessibleInterface(button)->text(QAccessible::Name), QLatin1String(name));
        }
        QCOMPARE(w->menuBar()->actions().size(), 1);
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
        QVERIFY(webView(w)->isAncestorOf(QApplication::focusWidget())); // the page's keys scroll it
        const auto keyShows = [&](QKeyCombination key, const char *path) {
            QTest::keyClick(QApplication::focusWidget(), key.key(), key.keyboardModifiers());
            return QTest::qWaitFor(
                [&] {
                    return shownTitle(w) == QLatin1String(path + 1)
                           && address->text() == m_server->url(QLatin1String(path)).toString();
                },
                30000);
        };
        QVERIFY(keyShows(Qt::AltModifier | Qt::Key_Left, "/one"));
        QVERIFY(keyShows(Qt::AltModifier | Qt::Key_Right, "/two"));
        const int asked = m_server->asked("GET /two ");
        QVERIFY(keyShows(QKeyCombination(Qt::Key_F5), "/two"));
        QTRY_COMPARE_WITH_TIMEOUT(m_server->asked("GET /two "), asked + 1, 30000);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::AltModifier);
        QTRY_VERIFY(address->hasFocus());
        QCOMPARE(w->windowTitle(), QStringLiteral("MSFT Research"));
    }

    void onlyWebPages_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("shown");
        for (const char *url : {"http://127.0.0.1/a", "HTTPS://Example.com/", "about:blank", "ABOUT:blank"})
            QTest::newRow(url) << QString::fromLatin1(url) << true;
        for (const char *url : {"mailto:a@b.c", "file:///etc/passwd", "data:text/html,x", "javascript:alert(1)",
                                "about:srcdoc", "ftp://127.0.0.1/", "tarnvale-test:x", "blob:http://a/b", "http"})
            QTest::newRow(url) << QString::fromLatin1(url) << false;
    }

    void onlyWebPages()
    {
        QFETCH(QString, url);
        QFETCH(bool, shown);
        QCOMPARE(isWebPageUrl(QUrl(url)), shown);
    }

    // "Research Tools" while the about box has disabled the main window: the
    // Symbol Menu pops and its "Remove" goes through the main window.
    void researchToolsWhileMainWindowDisabled()
    {
        trigger("mnuOpen_Nasdaq");
        find<QPushButton>("butListall")->click();
        grid()->setCurrentCell(2, 1);
        QCOMPARE(grid()->text(), QStringLiteral("IBM"));
        QMainWindow *w = open(QStringLiteral("/one"));
        QVERIFY(w);
        trigger("mnuHelp_About");
        QWidget *about = nullptr;
        for (QWidget *window : QApplication::topLevelWidgets()) {
            if (window->inherits("frmAbout") && window->isVisible())
                about = window;
        }
        QVERIFY(about);
        QVERIFY(!m_window->isEnabled());
        QVERIFY(w->isEnabled());

        QAction *tools = w->menuBar()->findChild<QAction *>(QStringLiteral("mnuTools"));
        QTest::mouseClick(w->menuBar(), Qt::LeftButton, {}, w->menuBar()->actionGeometry(tools).center());
        QMenu *symb = menu()->mnuSymb();
        QVERIFY(QTest::qWaitForWindowExposed(symb));
        QVERIFY(symb->isEnabled());
        QAction *remove = menu()->findChild<QAction *>(QStringLiteral("mnuSymb_Remove"));
        QTest::mouseClick(symb, Qt::LeftButton, {}, symb->actionGeometry(remove).center());
        QCOMPARE(m_prompter->lastText(), QStringLiteral("\"IBM\" has been removed!"));
        m_prompter->messages.clear();
        QVERIFY(!m_window->isEnabled()); // the about box is still open
        about->close();
        QVERIFY(m_window->isEnabled());

        // Exit takes every other window with it: the research window, both
        // calculators and the about box.
        const auto visible = [] {
            QWidgetList windows = QApplication::topLevelWidgets();
            windows.removeIf([](QWidget *window) { return !window->isVisible(); });
            return windows.size();
        };
        for (const char *item : {"mnuCalcs_Shares", "mnuCalcs_Profit", "mnuHelp_About"})
            trigger(item);
        QCOMPARE(visible(), 4); // the main window itself is never shown here
        trigger("mnuMenu_Exit");
        QTRY_COMPARE(visible(), 0);
    }
};

QTEST_MAIN(TestFrmWB)
#include "tst_frmwb.moc"
