#include "market/MarketStore.h"
#include "quotes/QuoteFetch.h"
#include "quotes/UpdateDatabase.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <pwd.h>
#include <unistd.h>

namespace {

const QString kNginx = QStringLiteral("/usr/sbin/nginx");

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace

// The quote client against a real web server: Debian's nginx on a loopback
// port, one file per symbol picked by the request's "s" argument.
class TestQuoteNginx : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QProcess m_nginx;
    quint16 m_port = 0;

    QString path(const QString &name) const { return m_dir.filePath(name); }

    void quote(const char *symbol, const QByteArray &line)
    {
        QVERIFY(writeFile(path(QStringLiteral("www/q/%1.csv").arg(QString::fromLatin1(symbol))), line));
    }

private slots:
    void initTestCase()
    {
        if (!QFileInfo(kNginx).isExecutable())
            QSKIP("nginx is not installed (Debian package nginx-light)");
        QVERIFY(m_dir.isValid());
        QDir root(m_dir.path());
        for (const char *sub : {"www/q", "tmp", "logs"})
            QVERIFY(root.mkpath(QString::fromLatin1(sub)));

        {
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
            m_port = probe.serverPort();
        }
        // Run as root, nginx would hand its workers to "nobody", who may not
        // read this private folder; keep them under the same user.
        QString user;
        if (geteuid() == 0)
            user = QStringLiteral("user %1;\n").arg(QString::fromLocal8Bit(getpwuid(geteuid())->pw_name));
        const QString tmp = path(QStringLiteral("tmp"));
        const QString conf = user + QStringLiteral(R"(daemon off;
worker_processes 1;
pid %1/nginx.pid;
error_log %1/logs/error.log;
events { worker_connections 64; }
http {
    access_log %1/logs/access.log;
    client_body_temp_path %2/body;
    proxy_temp_path %2/proxy;
    fastcgi_temp_path %2/fastcgi;
    uwsgi_temp_path %2/uwsgi;
    scgi_temp_path %2/scgi;
    server {
        listen 127.0.0.1:%3;
        root %1/www;
        location = /d/quotes.csv {
            default_type text/csv;
            try_files /q/$arg_s.csv =404;
        }
    }
}
)")
                                           .arg(m_dir.path(), tmp)
                                           .arg(m_port);
        QVERIFY(writeFile(path(QStringLiteral("nginx.conf")), conf.toUtf8()));

        quote("MSFT", "\"MSFT\",27.50,\"6/4/2004\",\"4:00pm\",+0.12,27.40,27.60,27.30,1234567\r\n");
        quote("IBM", "\"IBM\",91.25,\"6/4/2004\",\"4:01pm\",-1.05,92.00,92.10,N/A,N/A\r\n");
        quote("BAD", "\"BAD\",N/A,\"N/A\",\"N/A\",N/A,N/A,N/A,N/A,N/A\r\n");

        m_nginx.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_nginx.start(kNginx, {QStringLiteral("-p"), m_dir.path(), QStringLiteral("-c"),
                               path(QStringLiteral("nginx.conf")), QStringLiteral("-e"),
                               path(QStringLiteral("logs/error.log"))});
        // The pid file appears once nginx listens.
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(path(QStringLiteral("nginx.pid")))
                                     || m_nginx.state() == QProcess::NotRunning,
                                 10000);
        QCOMPARE(m_nginx.state(), QProcess::Running);
    }

    void cleanupTestCase()
    {
        if (m_nginx.state() == QProcess::NotRunning)
            return;
        QSignalSpy ended(&m_nginx, &QProcess::finished);
        m_nginx.terminate();
        QVERIFY(ended.wait(10000));
    }

    void fetchFromNginx()
    {
        QuoteFetch fetch;
        QSignalSpy done(&fetch, &QuoteFetch::finished);
        QVERIFY(fetch.fetch({QStringLiteral("127.0.0.1"), m_port}, QStringLiteral("IBM")));
        QVERIFY(done.wait(10000));
        const auto result = done.first().first().value<QuoteFetch::Result>();
        QVERIFY(result.quote);
        QCOMPARE(result.attempts, 1);
        QCOMPARE(result.quote->Last, 91.25f);
        QCOMPARE(result.quote->Change, -1.05f);
        QCOMPARE(result.quote->High, 92.1f);
        QCOMPARE(result.quote->Low, 0.f);
        QCOMPARE(result.quote->Spread, 0.f);
        QCOMPARE(result.quote->Volume, 0.0);
    }

    // Two symbols with files, one that nginx answers with its 404 page, one
    // whose last trade is N/A: the two are skipped untouched after retries.
    void updateAgainstNginx()
    {
        QTemporaryDir marketDir;
        MarketDatabase db;
        db.LastUpdate = 38142;
        for (const char *s : {"MSFT", "NOPE", "IBM", "BAD"}) {
            db.Stocks.last().Symbol = QString::fromLatin1(s);
            db.Stocks.last().Last = 5;
            db.Stocks.append(StockRecord{});
        }
        QVERIFY(writeMarketFile(marketDir.filePath(QStringLiteral("nyse.bin")), db));
        MarketStore store(marketDir.path());
        store.selectMarket(kNyse);
        QVERIFY(store.LoadDatabase());

        UpdateDatabase update(store, {QStringLiteral("127.0.0.1"), m_port});
        QSignalSpy done(&update, &UpdateDatabase::finished);
        update.start();
        QVERIFY(done.wait(30000));
        const auto result = done.first().first().value<UpdateDatabase::Result>();
        QCOMPARE(result.ending, UpdateDatabase::Ending::Completed);
        QCOMPARE(result.skipped, (QStringList{QStringLiteral("NOPE"), QStringLiteral("BAD")}));

        MarketDatabase disk;
        QVERIFY(readMarketFile(store.filePath(), &disk));
        QCOMPARE(disk.LastUpdate, dateToMarketDate(QDate::currentDate()));
        QCOMPARE(disk.Stocks[0].Last, 27.5f);
        QCOMPARE(disk.Stocks[0].Volume, 1234567.0);
        QCOMPARE(disk.Stocks[0].Spread, float(27.60 - 27.30));
        QCOMPARE(disk.Stocks[1], db.Stocks[1]);
        QCOMPARE(disk.Stocks[2].Last, 91.25f);
        QCOMPARE(disk.Stocks[3], db.Stocks[3]);

        // Every request went out as HTTP/1.0 and nginx took it as such.
        QFile log(path(QStringLiteral("logs/access.log")));
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QByteArray lines = log.readAll();
        QCOMPARE(lines.count("GET /d/quotes.csv?s=NOPE&f=sl1d1t1c1ohgv&e=.csv HTTP/1.0\" 404"), 4);
        QCOMPARE(lines.count("GET /d/quotes.csv?s=MSFT&f=sl1d1t1c1ohgv&e=.csv HTTP/1.0\" 200"), 1);
    }
};

QTEST_GUILESS_MAIN(TestQuoteNginx)
#include "tst_quotenginx.moc"
