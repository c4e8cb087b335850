#include "about/AboutInfo.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

class TestAboutInfo : public QObject
{
    Q_OBJECT

private slots:
    void versionLine_data()
    {
        QTest::addColumn<int>("major");
        QTest::addColumn<int>("minor");
        QTest::addColumn<int>("patch");
        QTest::addColumn<QString>("expected");
        QTest::newRow("1.0.3") << 1 << 0 << 3 << "Version: 1.0.3";
        QTest::newRow("minor 10") << 1 << 10 << 3 << "Version: 1.10.3";
        QTest::newRow("all zero") << 0 << 0 << 0 << "Version: 0.0.0";
        QTest::newRow("two digits each") << 12 << 34 << 56 << "Version: 12.34.56";
    }

    void versionLine()
    {
        QFETCH(int, major);
        QFETCH(int, minor);
        QFETCH(int, patch);
        QFETCH(QString, expected);
        QCOMPARE(AboutInfo::versionLine(major, minor, patch), expected);
    }

    void programVersionIsTheProjectVersion()
    {
        QCOMPARE(AboutInfo::programVersionLine(), QStringLiteral("Version: " TARNVALE_PROJECT_VERSION));
    }

    void helpProgramLiesInHelpBesideTheProgram()
    {
#ifdef Q_OS_WIN
        const QString expected = QStringLiteral("C:/Tarnvale/help/tarnvalehelp.exe");
#else
        const QString expected = QStringLiteral("C:/Tarnvale/help/tarnvalehelp");
#endif
        QCOMPARE(AboutInfo::helpProgramPath(QStringLiteral("C:/Tarnvale")), expected);
    }

    void missingHelpProgramIsReportedWithItsPath()
    {
        QTemporaryDir dir;
        QString error;
        QVERIFY(!AboutInfo::startHelpProgram(dir.path(), &error));
        QVERIFY2(error.contains(QDir::toNativeSeparators(AboutInfo::helpProgramPath(dir.path()))), qPrintable(error));
        QVERIFY2(error.contains(QStringLiteral("missing")), qPrintable(error));
        // A caller that does not want the text is fine too.
        QVERIFY(!AboutInfo::startHelpProgram(dir.path(), nullptr));
    }
};

QTEST_GUILESS_MAIN(TestAboutInfo)
#include "tst_aboutinfo.moc"
