// The research window with the real embedded browser, against pages that
// the test serves itself on the loopback interface. Like the program, the
// test does not link the browser library: it is loaded on first use, and the
// window is seen only through Qt's object model.
#include "app/frmMain.h"
#include "common/ScriptedPrompter.h"
#include "common/TestSettings.h"
#include "research/ResearchBrowser.h"
#include "research/frmMenu.h"
#include "screen/ResultGrid.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QHash>
#include <QMainWindow>
#include <QMenuBar>
#include <QMetaMethod>
#include <QPluginLoader>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#if defined(__SANITIZE_ADDRESS__)
// Chromium, inside QtWebEngine, deletes some of its own objects through a
// pointer of a smaller type; AddressSanitizer stops at the first one, before a
// page has even loaded. That check cannot be suppressed by library, so it is
// off for this one test program, the only one that runs the browser; every
// other AddressSanitizer check stays on.
extern "C" const char *__asan_default_options()
{
    return "new_delete_type_mismatch=0";
}
#endif

namespace {

// A tiny HTTP server on 127.0.0.1: answers GET with the page registered for
// the path (404 otherwise) and records every path asked for.
class PageServer : public QObject
{
public:
    PageServer()
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection())
                serve(socket);
        });
    }

    bool start() { return m_server.listen(QHostAddress::LocalHost, 0); }
    QUrl url(const QString &path) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path));
    }
    void page(const QString &path, const QString &html) { m_pages.insert(path, html.toUtf8()); }
    bool asked(const QString &path) const { return m_asked.contains(path); }

private:
    void serve(QTcpSocket *socket)
    {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
            QByteArray &buffer = m_buffers[socket];
            buffer += socket->readAll();
            if (!buffer.contains("\r\n\r\n"))
                return;
            const QList<QByteArray> request = buffer.left(buffer.indexOf("\r\n")).split(' ');
            m_buffers.remove(socket);
            const QString path = request.size() > 1 ? QString::fromLatin1(request[1]) : QString();
            m_asked.append(path);
            const auto found = m_pages.constFind(path);
            const QByteArray body = found != m_pages.cend() ? *found : QByteArray("not here");
            QByteArray reply = found != m_pages.cend() ? "HTTP/1.1 200 OK\r\n" : "HTTP/1.1 404 Not Found\r\n";
            reply += "Content-Type: text/html; charset=utf-8\r\nCache-Control: no-store\r\nConnection: close\r\n";
            reply += "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
            socket->write(reply);
            socket->disconnectFromHost();
        });
    }

    QTcpServer m_server;
    QHash<QString, QByteArray> m_pages;
    QHash<QTcpSocket *, QByteArray> m_buffers;
    QStringList m_asked;
};

// A page whose whole client area is one link, so a click anywhere follows it.
QString linkPage(const QString &title, const QString &attributes, const QString &extra = QString())
{
    return QStringLiteral("<html><head><title>%1</title></head><body style=\"margin:0\">%3"
                          "<a id=\"go\" %2 style=\"position:fixed;left:0;top:0;width:100%;height:100%;"
                          "display:block\">go</a><script>document.addEventListener('mousedown',"
                          "function(){document.title='pressed';},true);</script></body></html>")
        .arg(title, attributes, extra);
}

QString plainPage(const QString &title)
{
    return QStringLiteral("<html><head><title>%1</title></head><body>%1</body></html>").arg(title);
}

// The web view inside the research window, and what it shows, through
// QWebEngineView's properties.
QWidget *webView(QWidget *window)
{
    return window ? window->findChild<QWidget *>(QStringLiteral("WB")) : nullptr;
}

QUrl shownUrl(QWidget *window)
{
    return webView(window)->property("url").toUrl();
}

QString shownTitle(QWidget *window)
{
    return webView(window)->property("title").toString();
}

// Records one of the research window's signals, found by its signature.
std::unique_ptr<QSignalSpy> spyOn(QObject *object, const char *signature)
{
    const QMetaObject *mo = object->metaObject();
    const int index = mo->indexOfSignal(signature);
    return index < 0 ? nullptr : std::make_unique<QSignalSpy>(object, mo->method(index));
}

bool webEngineInProcess()
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libQt6WebEngineCore");
}

} // namespace

// Waits like QTRY_COMPARE, in helpers that hand back a pointer: nullptr on a timeout.
#define WAIT_COMPARE_OR_NULL(expr, expected)                                                                   \
    do {                                                                                                       \
        if (!QTest::qWaitFor([&] { return (expr) == (expected); }, 30000)) {                                  \
            qWarning() << "timed out:" << #expr << (expr);                                                     \
            return nullptr;                                                                                    \
        }                                                                                                      \
    } while (false)

class TestFrmWB : public QObject
{
    Q_OBJECT

public:
    static void initMain()
    {
        // As the program does, for a browser library loaded after the application object.
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
        // Chromium's sandbox cannot run as root or inside the build
        // containers; only the tests turn it off.
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
        if (!qEnvironmentVariableIsSet("QTWEBENGINE_CHROMIUM_FLAGS"))
            qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu --no-first-run --disable-background-networking "
                                                  "--disable-component-update --disable-sync");
        // Xvfb has no GPU: software compositing, and no OpenGL in the process
        // at all. Mesa's driver would be unloaded before the leak check runs,
        // leaving its leaks with stacks that no suppression can name.
        qputenv("QT_XCB_GL_INTEGRATION", "none");
        qputenv("QT_QUICK_BACKEND", "software");
    }

private:
    std::unique_ptr<TestSettings> m_settings;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ScriptedPrompter> m_prompter;
    std::unique_ptr<frmMain> m_main;
    std::unique_ptr<PageServer> m_server;

    frmMenu *menu() { return m_main->symbolMenu(); }
    ResultGrid *grid() { return m_main->grid(); }

    // Three rows of symbols, written as a fill writes them; the current cell
    // on row 1's SYMBOL cell.
    void fillGrid()
    {
        ResultGrid *g = grid();
        for (const char *symbol : {"MSFT", "IBM", "INTC"}) {
            g->appendRow(QStringLiteral("*"));
            g->setCurrentCell(g->rows() - 2, 1);
            g->setText(QString::fromLatin1(symbol));
        }
        g->setCurrentCell(1, 1);
    }

    ResearchBrowser *browser() { return menu()->researchBrowser(); }

    QMainWindow *window() { return browser() ? qobject_cast<QMainWindow *>(browser()->window()) : nullptr; }

    static int researchWindows()
    {
        int n = 0;
        for (QWidget *w : QApplication::topLevelWidgets())
            n += (w->objectName() == QLatin1String("frmWB") && w->isVisible()) ? 1 : 0;
        return n;
    }

    // Opens path in the research window and waits until it has loaded.
    QMainWindow *open(const QString &path)
    {
        browser()->open(menu(), m_server->url(path));
        QMainWindow *w = window();
        if (!w || !webView(w))
            return nullptr;
        if (!QTest::qWaitForWindowExposed(w))
            return nullptr;
        WAIT_COMPARE_OR_NULL(shownUrl(w), m_server->url(path));
        WAIT_COMPARE_OR_NULL(shownTitle(w), path.mid(1));
        return w;
    }

    // Clicks the middle of the page, all of which is one link, as a user
    // would. A page that is still settling may drop a click, so it clicks
    // again until the page has seen the press (its title turns to
    // "pressed") or has moved on.
    static bool clickLink(QWidget *w)
    {
        const QUrl start = shownUrl(w);
        auto reacted = [&] { return shownTitle(w) == QLatin1String("pressed") || shownUrl(w) != start; };
        for (int attempt = 0; attempt < 10; ++attempt) {
            QWidget *surface = webView(w)->focusProxy();
            if (!surface)
                return false;
            QTest::mouseClick(surface, Qt::LeftButton, {}, surface->rect().center());
            if (QTest::qWaitFor(reacted, 3000))
                return true;
        }
        return false;
    }

private slots:
    void init()
    {
        m_settings = std::make_unique<TestSettings>();
        m_dir = std::make_unique<QTemporaryDir>();
        m_prompter = std::make_unique<ScriptedPrompter>();
        m_main = std::make_unique<frmMain>(m_dir->path(), m_prompter.get());
        menu()->setBrowserDirectory(QStringLiteral(TARNVALE_BIN_DIR));
        m_server = std::make_unique<PageServer>();
        QVERIFY(m_server->start());
        fillGrid();
    }

    void cleanup()
    {
        m_main.reset();
        m_server.reset();
        QVERIFY(m_prompter->messages.isEmpty() || QTest::currentTestFailed());
        m_prompter.reset();
    }

    void libraryLoadsOnFirstUseOnly()
    {
        // A main window with a filled grid and its Symbol Menu: nothing of
        // QtWebEngine is in the process yet.
        QVERIFY(menu());
        QVERIFY(!webEngineInProcess());
        QVERIFY(browser());
        QVERIFY(webEngineInProcess());
        QVERIFY(!browser()->window());
        QCOMPARE(researchWindows(), 0);
        // The same library, loaded again, is the same plugin.
        QPluginLoader loader(QStringLiteral(TARNVALE_BIN_DIR "/tarnvale_browser"));
        QVERIFY2(loader.load(), qPrintable(loader.errorString()));
        QCOMPARE(qobject_cast<ResearchBrowser *>(loader.instance()), browser());
    }

    void firstPageCreatesWindowCentredAtDesignSize()
    {
        m_server->page(QStringLiteral("/one"), plainPage(QStringLiteral("one")));
        QMainWindow *w = open(QStringLiteral("/one"));
        QVERIFY(w);
        QCOMPARE(researchWindows(), 1);
        QCOMPARE(w->objectName(), QStringLiteral("frmWB"));
        QVERIFY(!w->isModal());
        QCOMPARE(w->windowTitle(), QStringLiteral("MSFT Research"));
        const double scale = w->logicalDpiX() / 96.0;
        QCOMPARE(webView(w)->size(), QSize(qRound(860 * scale), qRound(458 * scale)));
        QCOMPARE(w->centralWidget(), webView(w));
        QAction *tools = w->menuBar()->findChild<QAction *>(QStringLiteral("mnuTools"));
        QVERIFY(tools);
        QCOMPARE(tools->text(), QStringLiteral("Research Tools"));
        QVERIFY(!tools->menu());
        const QPoint centre = w->frameGeometry().center();
        const QPoint screenCentre = w->screen()->availableGeometry().center();
        QVERIFY2((centre - screenCentre).manhattanLength() <= 40,
                 qPrintable(QStringLiteral("%1,%2").arg(centre.x()).arg(centre.y())));
        // The main window stays usable while it is open.
        QVERIFY(m_main->isEnabled());
    }

    void secondPageReusesTheWindow()
    {
        m_server->page(QStringLiteral("/one"), plainPage(QStringLiteral("one")));
        m_server->page(QStringLiteral("/two"), plainPage(QStringLiteral("two")));
        QMainWindow *first = open(QStringLiteral("/one"));
        QVERIFY(first);
        grid()->setCurrentCell(2, 1);
        QMainWindow *second = open(QStringLiteral("/two"));
        QCOMPARE(second, first);
        QCOMPARE(researchWindows(), 1);
        QCOMPARE(second->windowTitle(), QStringLiteral("IBM Research"));
    }

    void closedWindowIsMadeAgain()
    {
        m_server->page(QStringLiteral("/one"), plainPage(QStringLiteral("one")));
        QPointer<QMainWindow> first = open(QStringLiteral("/one"));
        QVERIFY(first);
        first->close();
        QTRY_VERIFY(first.isNull());
        QCOMPARE(researchWindows(), 0);
        QMainWindow *second = open(QStringLiteral("/one"));
        QVERIFY(second);
        QCOMPARE(researchWindows(), 1);
    }

    void plainAndSelfLinksNavigate_data()
    {
        QTest::addColumn<QString>("attributes");
        QTest::newRow("plain") << QStringLiteral("href=\"/next\"");
        QTest::newRow("_self") << QStringLiteral("href=\"/next\" target=\"_self\"");
        QTest::newRow("_SELF") << QStringLiteral("href=\"/next\" target=\"_SELF\"");
    }

    void plainAndSelfLinksNavigate()
    {
        QFETCH(QString, attributes);
        m_server->page(QStringLiteral("/start"), linkPage(QStringLiteral("start"), attributes));
        m_server->page(QStringLiteral("/next"), plainPage(QStringLiteral("next")));
        QMainWindow *w = open(QStringLiteral("/start"));
        QVERIFY(w);
        auto cancelled = spyOn(w, "navigationCancelled(QUrl)");
        QVERIFY(cancelled);
        QVERIFY(clickLink(w));
        QTRY_COMPARE_WITH_TIMEOUT(shownUrl(w), m_server->url(QStringLiteral("/next")), 30000);
        QTRY_COMPARE_WITH_TIMEOUT(shownTitle(w), QStringLiteral("next"), 30000);
        QCOMPARE(cancelled->count(), 0);
        QCOMPARE(researchWindows(), 1);
    }

    void newWindowsNeverOpen_data()
    {
        QTest::addColumn<QString>("attributes");
        QTest::newRow("target=_blank") << QStringLiteral("href=\"/popup\" target=\"_blank\"");
        QTest::newRow("window.open") << QStringLiteral("href=\"#\" onclick=\"window.open('/popup');return false;\"");
        QTest::newRow("unknown target") << QStringLiteral("href=\"/popup\" target=\"elsewhere\"");
    }

    void newWindowsNeverOpen()
    {
        QFETCH(QString, attributes);
        m_server->page(QStringLiteral("/start"), linkPage(QStringLiteral("start"), attributes));
        m_server->page(QStringLiteral("/popup"), plainPage(QStringLiteral("popup")));
        m_server->page(QStringLiteral("/after"), plainPage(QStringLiteral("after")));
        QMainWindow *w = open(QStringLiteral("/start"));
        QVERIFY(w);
        const int windowsBefore = int(QApplication::topLevelWidgets().size());
        auto refused = spyOn(w, "newWindowRefused()");
        QVERIFY(refused);
        QVERIFY(clickLink(w));
        QTRY_COMPARE_WITH_TIMEOUT(refused->count(), 1, 30000);
        // A later page loads normally, and by then nothing has asked for the pop-up.
        QCOMPARE(open(QStringLiteral("/after")), w);
        QVERIFY(!m_server->asked(QStringLiteral("/popup")));
        QCOMPARE(int(QApplication::topLevelWidgets().size()), windowsBefore);
        QCOMPARE(researchWindows(), 1);
    }

    void linkIntoNamedFrameIsCancelled_data()
    {
        QTest::addColumn<QString>("frameAttributes");
        QTest::newRow("link") << QStringLiteral("href=\"/framed\" target=\"side\"");
        QTest::newRow("form") << QStringLiteral("href=\"#\" onclick=\"document.forms[0].submit();return false;\"");
    }

    void linkIntoNamedFrameIsCancelled()
    {
        QFETCH(QString, frameAttributes);
        // A link and a form of the page aimed at one of its frames.
        const QString frame = QStringLiteral("<iframe name=\"side\" src=\"/side\" style=\"width:50px;height:50px\"></iframe>"
                                             "<form action=\"/framed\" method=\"get\" target=\"side\"></form>");
        m_server->page(QStringLiteral("/start"), linkPage(QStringLiteral("start"), frameAttributes, frame));
        m_server->page(QStringLiteral("/side"), plainPage(QStringLiteral("side")));
        m_server->page(QStringLiteral("/framed"), plainPage(QStringLiteral("framed")));
        m_server->page(QStringLiteral("/after"), plainPage(QStringLiteral("after")));
        QMainWindow *w = open(QStringLiteral("/start"));
        QVERIFY(w);
        QTRY_VERIFY_WITH_TIMEOUT(m_server->asked(QStringLiteral("/side")), 30000);
        auto cancelled = spyOn(w, "navigationCancelled(QUrl)");
        QVERIFY(cancelled);
        QVERIFY(clickLink(w));
        QTRY_VERIFY_WITH_TIMEOUT(cancelled->count() >= 1, 30000);
        QCOMPARE(cancelled->first().first().toUrl().path(), QStringLiteral("/framed"));
        // The page stays; a later page loads normally, and the frame never got its page.
        QCOMPARE(shownUrl(w), m_server->url(QStringLiteral("/start")));
        QCOMPARE(open(QStringLiteral("/after")), w);
        QVERIFY(!m_server->asked(QStringLiteral("/framed")));
    }

    void captionFollowsTheGridNotThePage()
    {
        m_server->page(QStringLiteral("/start"), linkPage(QStringLiteral("start"), QStringLiteral("href=\"/next\"")));
        m_server->page(QStringLiteral("/next"), plainPage(QStringLiteral("next")));
        QMainWindow *w = open(QStringLiteral("/start"));
        QVERIFY(w);
        QCOMPARE(w->windowTitle(), QStringLiteral("MSFT Research"));

        // Another cell picked in the main window, then a link followed.
        grid()->setCurrentCell(3, 1);
        QCOMPARE(w->windowTitle(), QStringLiteral("MSFT Research"));
        QVERIFY(clickLink(w));
        QTRY_COMPARE_WITH_TIMEOUT(shownTitle(w), QStringLiteral("next"), 30000);
        QCOMPARE(w->windowTitle(), QStringLiteral("INTC Research"));

        // A resize, with an empty cell current.
        grid()->setCurrentCell(3, 4);
        w->resize(w->width() - 40, w->height() - 30);
        QTRY_COMPARE(w->windowTitle(), QStringLiteral(" Research"));
        QTRY_COMPARE(webView(w)->size(), w->centralWidget()->size());
    }

    void researchToolsPopsTheSymbolMenu()
    {
        m_server->page(QStringLiteral("/one"), plainPage(QStringLiteral("one")));
        QMainWindow *w = open(QStringLiteral("/one"));
        QVERIFY(w);
        QAction *tools = w->menuBar()->findChild<QAction *>(QStringLiteral("mnuTools"));
        QVERIFY(tools);
        tools->trigger();
        QCOMPARE(menu()->lastPopup(), menu()->mnuSymb());
        QTRY_VERIFY(menu()->mnuSymb()->isVisible());
        menu()->mnuSymb()->close();
    }

    void windowGoesWithTheMainWindow()
    {
        m_server->page(QStringLiteral("/one"), plainPage(QStringLiteral("one")));
        QPointer<QMainWindow> w = open(QStringLiteral("/one"));
        QVERIFY(w);
        m_main.reset();
        QVERIFY(w.isNull());
    }
};

QTEST_MAIN(TestFrmWB)
#include "tst_frmwb.moc"
