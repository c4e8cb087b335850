// The research window on a page served on 127.0.0.1: time from asking for
// the first page (loading the browser library on the way, as the first click
// does) to the page loaded, then the resident memory of the program (and of
// the browser's helper processes) after the window has been opened and
// closed five times.
#include "common/BenchStats.h"
#include "common/BenchWindow.h"

#include "research/ResearchBrowser.h"
#include "research/frmMenu.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <cstdio>

namespace {

// One page of text and a table, for every path.
class PageServer : public QTcpServer
{
public:
    PageServer()
    {
        listen(QHostAddress::LocalHost, 0);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection()) {
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
                connect(socket, &QTcpSocket::readyRead, socket, [socket] {
                    if (!socket->canReadLine() || socket->property("served").toBool())
                        return;
                    socket->setProperty("served", true);
                    QByteArray body = "<html><head><title>page</title></head><body><h1>Research</h1><table>";
                    for (int i = 0; i < 200; ++i)
                        body += "<tr><td>row " + QByteArray::number(i) + "</td><td>12.34</td><td>5,678</td></tr>";
                    body += "</table></body></html>";
                    socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\nContent-Length: "
                                  + QByteArray::number(body.size()) + "\r\n\r\n" + body);
                    socket->disconnectFromHost();
                });
            }
        });
    }
    QUrl url(int n) const { return QUrl(QStringLiteral("http://127.0.0.1:%1/p%2").arg(serverPort()).arg(n)); }
};

// Resident memory of every process started below pid (the browser's helpers).
long helpersKb(int pid)
{
    QHash<int, int> parent;
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool ok = false;
        const int p = entry.toInt(&ok);
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!ok || !stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        parent.insert(p, text.mid(text.lastIndexOf(')') + 2).split(' ').value(1).toInt());
    }
    long kb = 0;
    for (auto it = parent.cbegin(); it != parent.cend(); ++it) {
        for (int up = it.value(); up > 1; up = parent.value(up, 0)) {
            if (up == pid) {
                kb += qMax(0L, statusKb("VmRSS:", it.key())); // one may have ended meanwhile
                break;
            }
        }
    }
    return kb;
}

double mib(long kb)
{
    return double(kb) / 1024.0;
}

template <typename Open, typename Close> int measure(Open openPage, Close closeWindow, int pid);

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    MainWindowBench bench;
    bench.window().show();
    frmMenu *menu = bench.window().symbolMenu();
    menu->setBrowserDirectory(QStringLiteral(TARNVALE_BIN_DIR));
    PageServer server;
    const int pid = int(QCoreApplication::applicationPid());
    std::printf("research window, page on 127.0.0.1 (%s platform)\n", qPrintable(QGuiApplication::platformName()));
    std::printf("  before the first page:   program %6.1f MiB\n", mib(statusKb("VmRSS:", pid)));

    // Opens page n and waits until it has loaded; milliseconds, or -1.
    auto openPage = [&](int n) -> double {
        QElapsedTimer t;
        t.start();
        ResearchBrowser *browser = menu->researchBrowser();
        if (!browser)
            return -1;
        browser->open(menu, server.url(n));
        QWidget *view = browser->window() ? browser->window()->findChild<QWidget *>(QStringLiteral("WB")) : nullptr;
        if (!view)
            return -1;
        QSignalSpy loaded(view, SIGNAL(loadFinished(bool)));
        if (!loaded.wait(30000) || !loaded.value(0).value(0).toBool())
            return -1;
        return double(t.nsecsElapsed()) / 1e6;
    };
    auto closeWindow = [&] {
        QPointer<QWidget> window = menu->researchBrowser()->window();
        window->close();
        // The window deletes itself once closed (qWaitFor runs deferred deletions).
        return QTest::qWaitFor([&] { return window.isNull(); }, 10000);
    };

    int result = 0;
    QTimer::singleShot(0, &app, [&] {
        result = measure(openPage, closeWindow, pid);
        QCoreApplication::quit();
    });
    app.exec();
    return result;
}

namespace {

template <typename Open, typename Close> int measure(Open openPage, Close closeWindow, int pid)
{
    const double first = openPage(0);
    if (first < 0)
        return 1;
    std::printf("  first page loaded:       %7.1f ms  [target <= 1500 ms]   program %6.1f MiB, helpers %6.1f MiB\n",
                first, mib(statusKb("VmRSS:", pid)), mib(helpersKb(pid)));
    const double second = openPage(1);
    std::printf("  next page, same window:  %7.1f ms\n", second);
    if (!closeWindow())
        return 2;
    for (int round = 1; round <= 5; ++round) {
        if (openPage(round + 1) < 0 || !closeWindow())
            return 3;
        std::printf("  opened and closed %dx:    program %6.1f MiB, helpers %6.1f MiB\n", round,
                    mib(statusKb("VmRSS:", pid)), mib(helpersKb(pid)));
    }
    std::printf("  peak of the program:     %6.1f MiB\n", mib(statusKb("VmHWM:", pid)));
    return 0;
}

} // namespace
