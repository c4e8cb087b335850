#include "base/Text.h"
#include "common/QuoteAnswers.h"
#include "common/TestFiles.h"
#include "history/HistoryCsv.h"
#include "market/MarketStore.h"
#include "screen/SavedScreens.h"

#include <QDBusConnection>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// Stands in for the desktop's notification service on the test's own bus.
class FakeNotifications : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QStringList shown;

public slots:
    uint Notify(const QString &app, uint replaces, const QString &, const QString &summary, const QString &body,
                const QStringList &, const QVariantMap &, int timeout)
    {
        shown << QStringLiteral("%1 %2 %3|%4|%5").arg(app).arg(replaces).arg(timeout).arg(summary, body);
        return uint(shown.size());
    }
};

// The real program as a timer runs it: no display, a copy of it in a folder
// that holds its market files, its own settings, a loopback quote service.
class TestScreenRun : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<LoopbackServer> m_service;
    FakeNotifications m_notifications;
    QString path(const char *name) const { return m_dir.filePath(latin(name)); }

    void writeMarket(const char *name, const QStringList &symbols)
    {
        MarketDatabase db;
        for (const QString &symbol : symbols)
            db.Stocks.insert(db.listedCount(), {{}, symbol, symbol == u"CCC" ? 5 : 0.25f, 0, 100, 0, 0, 0, 0});
        QVERIFY(writeMarketFile(path(name), db));
    }

    // The symbols of the Nasdaq file whose last price is below 1.
    QString cheapNasdaq() const
    {
        MarketDatabase db;
        QString cheap;
        for (const StockRecord &s : readMarketFile(path("nasdaq.bin"), &db) ? db.Stocks : QList<StockRecord>())
            cheap += s.Last < 1 ? s.Symbol : QString();
        return cheap;
    }

    QProcess *run(const QString &arguments, bool bus = true)
    {
        auto *program = new QProcess(this);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(latin(name));
        env.insert(latin("XDG_CONFIG_HOME"), path("config"));
        if (!bus)
            env.insert(latin("DBUS_SESSION_BUS_ADDRESS"), latin("unix:path=") + path("no-bus"));
        program->setProcessEnvironment(env);
        program->start(path("tarnvale"), QString(arguments).replace(u'@', m_dir.path()).split(u' '));
        QSignalSpy(program, &QProcess::finished).wait(60'000); // the exit code tells if it did not end
        return program;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(QFile::copy(latin(TARNVALE_BIN_DIR "/tarnvale"), path("tarnvale")));
        QVERIFY(QFile::setPermissions(path("tarnvale"), QFile::ReadOwner | QFile::ExeOwner));
        QVERIFY(QDBusConnection::sessionBus().registerService(latin("org.freedesktop.Notifications"))
                && QDBusConnection::sessionBus().registerObject(latin("/org/freedesktop/Notifications"),
                                                                &m_notifications, QDBusConnection::ExportAllSlots));
    }

    // AAA and BBB pass the "Penny" screen, and DDD on the other market.
    void init()
    {
        m_service = std::make_unique<LoopbackServer>();
        m_notifications.shown.clear();
        writeMarket("nasdaq.bin", {latin("AAA"), latin("BBB"), latin("CCC")});
        writeMarket("nyse.bin", {latin("DDD")});
        QFile::remove(path("notified-screens.json"));
        QSettings settings(path("config/Tarnvale/Tarnvale.conf"), QSettings::IniFormat);
        settings.setValue(latin("Service/QuoteHost"), QStringLiteral("127.0.0.1:%1").arg(m_service->port()));
        CriteriaBoxes boxes;
        boxes[0] = {true, latin("0.10"), latin("0.50")};
        SavedScreens screens(settings);
        QVERIFY(screens.save(latin("Penny"), boxes) && screens.setNotified(latin("Penny"), true));
        boxes[technicalBox(4)] = {true, latin("0"), latin("30")}; // RSI(14)
        QVERIFY(screens.save(latin("Oversold"), boxes));
        boxes[technicalBox(4)].ticked = false;
        boxes[0].start = latin("5");
        QVERIFY(screens.save(latin("None"), boxes));
    }

    // "setup|status|arguments|pattern": setup 1 takes the service away, 2 has its source
    // refuse, 3 marks the Nasdaq file read-only, 4 has the service hold no
    // indicators; the pattern is of the output, or errors. The service's
    // indicators give AAA an RSI of 20, BBB one of 80 and DDD none.
    void statuses_data()
    {
        QTest::addColumn<QString>("row");
        QTest::newRow("update, then screen") << "0|0|--update nasdaq --screen penny|^Nasdaq: Updating: 33%\n"
                                                "Nasdaq: Updating: 67%\nNasdaq: Updating: 100%\n"
                                                "Nasdaq: The update has been completed!.*\nCCC\n$";
        QTest::newRow("screen both markets") << "0|0|--screen Penny|^AAA\nBBB\nDDD\n$";
        QTest::newRow("export to a file") << "0|0|--screen Penny --market nyse --export @/out.csv|^DDD\n$";
        QTest::newRow("export to output")
            << "0|0|--screen Penny --market nasdaq --export -|^#,SYMBOL,LAST,.*\r\n1,AAA,0.25,.*\r\n2,BBB,0.25,.*\r\n$";
        QTest::newRow("no match") << "0|0|--screen None|^$";
        QTest::newRow("technical range") << "0|0|--screen oversold|^AAA\n$";
        QTest::newRow("no indicators") << "4|3|--screen Oversold|fetched\\. No price history";
        QTest::newRow("unknown screen") << "0|2|--screen Nope|no screen named \"Nope\"";
        QTest::newRow("bad option") << "0|2|--screen Penny --bogus|Unknown option";
        QTest::newRow("service gone") << "1|3|--update all|^Nasdaq: There was an error";
        QTest::newRow("source refuses") << "2|3|--update nasdaq|error .* Turned away\\.";
        QTest::newRow("market read-only") << "3|4|--update nasdaq|could not be saved";
        QTest::newRow("export unwritable") << "0|4|--screen Penny --export @/no/out.csv|exported";
    }

    void statuses()
    {
        QFETCH(QString, row);
        const int setup = row.section(u'|', 0, 0).toInt();
        const int status = row.section(u'|', 1, 1).toInt();
        const QString arguments = row.section(u'|', 2, 2);
        m_service->setScript([setup](QTcpSocket *socket, const QByteArray &request) {
            const QByteArray symbol = ServiceAnswer::symbolOf(request);
            if (LoopbackServer::path(request) == "/technicals.csv") {
                if (setup == 4)
                    return LoopbackServer::send(
                        socket, {LoopbackServer::http(503, "text/plain", "No price history is stored.")});
                std::vector<TechnicalRow> rows(2);
                for (size_t i = 0; i < rows.size(); ++i) {
                    rows[i].symbol = latin(i ? "BBB" : "AAA");
                    rows[i].date = QDate(2026, 11, 25);
                    rows[i].values[size_t(Technical::Close)] = 0.25;
                    rows[i].values[size_t(Technical::Rsi14)] = i ? 80 : 20;
                }
                return LoopbackServer::send(socket, {LoopbackServer::http(200, "text/csv", technicalsCsv(rows))});
            }
            if (LoopbackServer::path(request) == "/status")
                return LoopbackServer::send(socket, {LoopbackServer::http(200, "application/json",
                                                                          R"({"source":"massive","state":"refused",)"
                                                                          R"("reason":"Turned away."})")});
            LoopbackServer::send(socket, {ServiceAnswer::reply(
                                             setup == 2 ? '"' + symbol + "\",0.00,\"N/A\",\"N/A\",N/A,N/A,N/A,N/A,N/A"
                                                        : ServiceAnswer::line(symbol, symbol == "CCC" ? "0.2" : "9"))});
        });
        if (setup == 1)
            m_service->stop();
        if (setup == 3)
            QVERIFY(QFile::setPermissions(path("nasdaq.bin"), QFile::ReadOwner));
        QProcess *program = run(arguments);
        QFile::setPermissions(path("nasdaq.bin"), QFile::ReadOwner | QFile::WriteOwner);
        const QString got =
            QString::fromUtf8(status ? program->readAllStandardError() : program->readAllStandardOutput());
        QCOMPARE(program->exitCode(), status);
        const QRegularExpression pattern(row.section(u'|', 3), QRegularExpression::DotMatchesEverythingOption);
        QVERIFY2(pattern.match(got).hasMatch(), qPrintable(got));
        // Only an update that ended well saved its quotes: CCC went below 1, the others above.
        QCOMPARE(cheapNasdaq(), latin(status == 0 && arguments.contains(latin("--update")) ? "CCC" : "AAABBB"));
        QVERIFY(status || !arguments.contains(latin("out.csv"))
                || fileBytes(path("out.csv")).contains("\r\n1,DDD,0.25,"));
    }

    // A notice tells only of the stocks new to "Penny" since its last one,
    // over runs with a stock added before some; without a bus it is printed.
    void notifications_data()
    {
        QTest::addColumn<QStringList>("added"); // to the NYSE list before each run; "" for none
        QTest::addColumn<bool>("bus");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<QString>("out"); // of the last run
        const QString first = latin("Tarnvale 0 -1|Tarnvale: Penny|3 stocks entered: AAA, BBB, DDD");
        const QString more = latin("Tarnvale 0 -1|Tarnvale: Penny|1 stock entered: EEE");
        QTest::newRow("new") << QStringList{{}} << true << QStringList{first} << QString();
        QTest::newRow("same") << QStringList{{}, {}} << true << QStringList{first} << QString();
        QTest::newRow("one more") << QStringList{{}, {}, latin("EEE")} << true << QStringList{first, more} << QString();
        QTest::newRow("no bus") << QStringList{{}, latin("EEE")} << false << QStringList()
                                << latin("Tarnvale: Penny\n1 stock entered: EEE\n");
    }

    void notifications()
    {
        QFETCH(QStringList, added);
        QFETCH(bool, bus);
        QStringList nyse{latin("DDD")};
        QProcess *program = nullptr;
        for (const QString &symbol : added) {
            if (!symbol.isEmpty())
                writeMarket("nyse.bin", nyse << symbol);
            program = run(latin("--notify"), bus);
            QCOMPARE(program->exitCode(), 0);
        }
        QTEST(m_notifications.shown, "shown");
        QTEST(QString::fromUtf8(program->readAllStandardOutput()), "out");
    }
};

QTEST_GUILESS_MAIN(TestScreenRun)
#include "tst_screenrun.moc"
