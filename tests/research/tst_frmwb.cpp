// The research window with the real embedded browser, against pages served on
// loopback by the test. As in the program, the browser library is loaded, not linked.
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
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#if defined(__SANITIZE_ADDRESS__)
// Chromium deletes some of its objects through a pointer of a smaller type, which
// AddressSanitizer cannot skip by library: this one check is off in this one program.
extern "C" const char *__asan_default_options()
{
    return "new_delete_type_mismatch=0";
}
#endif

namespace {

// A tiny HTTP server on 127.0.0.1: answers GET with the page registered for
// the path (404 otherwise) and records every path asked for.
class PageServer : public QTcpServer
{
public:
    QHash<QString, QByteArray> pages;
    QStringList asked;

    PageServer()
    {
        listen(QHostAddress::LocalHost, 0);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection()) {
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    if (!socket->canReadLine() || socket->property("served").toBool())
                        return;
                    socket->setProperty("served", true);
                    const QString path = QString::fromLatin1(socket->readLine().split(' ').value(1));
                    asked.append(path);
                    const QByteArray body = pages.value(path, "not here");
                    socket->write((pages.contains(path) ? "HTTP/1.1 200 OK\r\n" : "HTTP/1.1 404 Not Found\r\n")
                                  + QByteArray("Content-Type: text/html\r\nCache-Control: no-store\r\n")
                                  + "Connection: close\r\nContent-Length: " + QByteArray::number(body.size())
                                  + "\r\n\r\n" + body);
                    socket->disconnectFromHost();
                });
            }
        });
    }

    QUrl url(const QString &p) const { return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(serverPort()).arg(p)); }
};

// A page titled after its path; the whole client area of "/start" is one link
// (with the given attributes) over a frame named "side" and a form aimed at it.
QByteArray page(const QString &title, const QString &link = QString())
{
    QString body = title;
    if (!link.isEmpty())
        body = QStringLiteral("<iframe name=\"side\" src=\"/side\"></iframe>"
                              "<form action=\"/next\" method=\"get\" target=\"side\"></form><a %1 style=\"position:"
                              "fixed;left:0;top:0;width:100%;height:100%\">go</a><script>document.addEventListener("
                              "'mousedown',function(){document.title='pressed';},true);</script>")
                   .arg(link);
    return QStringLiteral("<html><head><title>%1</title></head><body>%2</body></html>").arg(title, body).toUtf8();
}

} // namespace

class TestFrmWB : public QObject
{
    Q_OBJECT

public:
    static void initMain()
    {
        // As the program does, for a browser library loaded after the application object.
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
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
    std::unique_ptr<TestSettings> m_settings;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ScriptedPrompter> m_prompter;
    std::unique_ptr<frmMain> m_main;
    std::unique_ptr<PageServer> m_server;

    // The web view inside the research window, and what it shows.
    static QWidget *webView(QWidget *w) { return w ? w->findChild<QWidget *>(QStringLiteral("WB")) : nullptr; }
    static QUrl shownUrl(QWidget *w) { return webView(w)->property("url").toUrl(); }
    static QString shownTitle(QWidget *w) { return webView(w)->property("title").toString(); }
    frmMenu *menu() { return m_main->symbolMenu(); }
    ResultGrid *grid() { return m_main->grid(); }
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
            if (QTest::qWaitFor([&] { return shownTitle(w) == QLatin1String("pressed") || shownUrl(w) != start; },
                                3000))
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
        for (const QString path : {"one", "two", "next", "side", "after"})
            m_server->pages.insert(u'/' + path, page(path));
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
        m_main.reset();
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
        w->menuBar()->findChild<QAction *>(QStringLiteral("mnuTools"))->trigger(); // "Research Tools"
        QCOMPARE(menu()->lastPopup(), menu()->mnuSymb());
        QTRY_VERIFY(menu()->mnuSymb()->isVisible());
        menu()->mnuSymb()->close();

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
        m_main.reset(); // and it goes with the main window
        QVERIFY(again.isNull());
    }

    void links_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("outcome");
        auto row = [](const char *name, const char *link, const char *outcome) {
            QTest::newRow(name) << QString::fromLatin1(link) << QString::fromLatin1(outcome);
        };
        row("plain", "href=\"/next\"", "navigated");
        row("_self", "href=\"/next\" target=\"_self\"", "navigated");
        row("_SELF", "href=\"/next\" target=\"_SELF\"", "navigated");
        row("_blank", "href=\"/next\" target=\"_blank\"", "refused");
        row("window.open", "href=\"#\" onclick=\"window.open('/next');return false;\"", "refused");
        row("named frame", "href=\"/next\" target=\"side\"", "cancelled");
        row("form into the frame", "href=\"#\" onclick=\"document.forms[0].submit();return false;\"", "cancelled");
    }

    void links()
    {
        QFETCH(QString, link);
        QFETCH(QString, outcome);
        m_server->pages.insert(QStringLiteral("/start"), page(QStringLiteral("start"), link));
        QMainWindow *w = open(QStringLiteral("/start"));
        QVERIFY(w);
        QTRY_VERIFY_WITH_TIMEOUT(m_server->asked.contains(QStringLiteral("/side")), 30000);
        const qsizetype windows = QApplication::topLevelWidgets().size();
        QSignalSpy cancelled(w, SIGNAL(navigationCancelled(QUrl)));
        QSignalSpy refused(w, SIGNAL(newWindowRefused()));
        grid()->setCurrentCell(3, 1); // another cell picked in the main window: the caption waits for a navigation
        QCOMPARE(w->windowTitle(), QStringLiteral("MSFT Research"));
        QVERIFY(clickLink(w));
        if (outcome == QLatin1String("navigated")) {
            QTRY_COMPARE_WITH_TIMEOUT(shownTitle(w), QStringLiteral("next"), 30000); // "/next" loaded
        } else {
            QTRY_VERIFY_WITH_TIMEOUT(!cancelled.isEmpty() || !refused.isEmpty(), 30000);
            // Nothing fetched "/next", and a later page loads in the same window.
            QCOMPARE(open(QStringLiteral("/after")), w);
            QVERIFY(m_server->asked.filter(QStringLiteral("/next")).isEmpty());
        }
        QCOMPARE(refused.count(), outcome == QLatin1String("refused") ? 1 : 0);
        QCOMPARE(cancelled.value(0).value(0).toUrl().path(), outcome == QLatin1String("cancelled") ? "/next" : "");
        QCOMPARE(QApplication::topLevelWidgets().size(), windows);
        QCOMPARE(w->windowTitle(), QStringLiteral("INTC Research"));
    }
};

QTEST_MAIN(TestFrmWB)
#include "tst_frmwb.moc"
