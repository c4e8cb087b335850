#include "quotes/QuoteSourceConfig.h"
#include "quotes/ServiceStatus.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

// The quote source as the program sees it: the service's /status answer, the
// sentence a failure message gains from it, and the configuration file.
class TestQuoteSource : public QObject
{
    Q_OBJECT

private slots:
    void explanation_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("explained"); // "-": no status at all
        const QByteArray ok = "HTTP/1.0 200 OK\r\nContent-Type: application/json\r\n\r\n";
        QTest::newRow("ok") << ok + R"({"source":"stooq","state":"ok","reason":"","quotesDate":"2026-12-04"})"
                            << "";
        QTest::newRow("bad key, no reason given")
            << ok + R"({"source":"massive","state":"unauthorized","reason":"","retryAt":null})"
            << "The quote source refused the request: the API key is missing or not valid. Set it in Tools > Quote "
               "Source...";
        QTest::newRow("stooq turns programs away")
            << ok + R"({"source":"stooq","state":"refused","reason":"A browser check.","retryAt":null})"
            << "A browser check. A free Massive API key avoids this: set it in Tools > Quote Source...";
        QTest::newRow("unreachable")
            << ok + R"({"source":"massive","state":"unreachable","reason":"No route.","retryAt":null})"
            << "No route.";
        QTest::newRow("not found") << QByteArray("HTTP/1.0 404 Not Found\r\n\r\n{}") << "-";
        QTest::newRow("an older service's quote line") << ok + R"("/STATUS",0.00,"N/A","N/A",N/A,N/A,N/A,N/A,N/A)"
                                                       << "-";
        QTest::newRow("cut short") << QByteArray("HTTP/1.0 200 OK\r\n\r\n{\"state\":") << "-";
    }
    void explanation()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QString, explained);
        const std::optional<ServiceStatus> status = parseServiceStatus(reply);
        QCOMPARE(status ? statusExplanation(*status) : QStringLiteral("-"), explained);
    }

    // Written whole with mode 0600 (it holds a key), read back as written;
    // an unknown source or a line break in a value is refused.
    void configFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Tarnvale/quoted.conf"));
        QCOMPARE(readQuoteSourceConfig(path), QuoteSourceConfig{}); // none yet
        const QuoteSourceConfig config{QStringLiteral("massive"), QString(), QStringLiteral("k3y=+/")};
        QVERIFY(writeQuoteSourceConfig(path, config));
        QCOMPARE(readQuoteSourceConfig(path), config);
        struct stat info
        {
        };
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &info), 0);
        QCOMPARE(info.st_mode & 0777, mode_t(0600));

        QString error;
        QVERIFY(!writeQuoteSourceConfig(path, {QStringLiteral("massive"), QString(), QStringLiteral("a\nb")}, &error));
        QVERIFY(!writeQuoteSourceConfig(path, {QStringLiteral("yahoo"), QString(), QString()}, &error));
        QCOMPARE(readQuoteSourceConfig(path), config); // the refused writes changed nothing
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[Source]\nName=yahoo\n");
        file.close();
        QVERIFY(!readQuoteSourceConfig(path, &error));
        QVERIFY(error.contains(QStringLiteral("yahoo")));
    }
};

QTEST_GUILESS_MAIN(TestQuoteSource)
#include "tst_quotesource.moc"
