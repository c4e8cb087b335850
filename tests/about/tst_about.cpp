#include "about/AboutInfo.h"
#include "common/OpenedWindow.h"
#include "common/ScriptedPrompter.h"
#include "common/TestSettings.h"
#include "common/TestFiles.h"
#include "screen/Criteria.h"
#include "screen/GridFill.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTextDocument>

#include <optional>

using namespace Qt::StringLiterals;

class TestAbout : public QObject
{
    Q_OBJECT

    std::optional<TestSettings> m_settings;
    QTemporaryDir m_dir;
    ScriptedPrompter m_prompter;

private slots:
    void init() { m_settings.emplace(); }

    void cleanup()
    {
        // No about box outlives its main window.
        for (QWidget *window : QApplication::topLevelWidgets())
            QVERIFY2(!window->isVisible(), qPrintable(window->objectName()));
    }

    void aboutBoxKeepsTheMainWindowWaiting()
    {
        frmMain w(m_dir.path(), &m_prompter);
        QPointer<QWidget> about = choose(w, "mnuHelp_About");
        QVERIFY(about);
        QCOMPARE(about->findChild<QLabel *>(u"Image1"_s)->pixmap().size(), QSize(400, 134));
        QCOMPARE(about->findChild<QLabel *>(u"lblAbout"_s)->text(),
                 QStringLiteral("Version: " TARNVALE_PROJECT_VERSION));
        QVERIFY(!w.isEnabled() && about->isEnabled());

        // Escape closes it, and so does Enter; a new box each time.
        for (const Qt::Key key : {Qt::Key_Escape, Qt::Key_Return}) {
            QVERIFY(QTest::qWaitForWindowActive(about));
            QTest::keyClick(about, key);
            QVERIFY(w.isEnabled());
            QTRY_VERIFY(about.isNull());
            about = choose(w, "mnuHelp_About");
            QVERIFY(about && !w.isEnabled());
        }
        // Left open, it goes with the main window.
    }

    void helpTopics_data()
    {
        QTest::addColumn<int>("permissions"); // of the stand-in help program; 0: none there
        QTest::addColumn<QString>("reason");  // in the message; none when it starts
        QTest::newRow("stand-in") << int(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner) << QString();
        QTest::newRow("missing") << 0 << u"is missing"_s;
        QTest::newRow("not executable") << int(QFile::ReadOwner | QFile::WriteOwner) << u"could not be started"_s;
    }

    // Every choice starts a new copy, with no arguments, or says again why not.
    void helpTopics()
    {
        QFETCH(int, permissions);
        QFETCH(QString, reason);
        QTemporaryDir dir; // the program directory
        ScriptedPrompter prompter;
        const QString log = dir.filePath(u"launches.txt"_s);
        if (permissions) {
            QVERIFY(QDir(dir.path()).mkpath(u"help"_s));
            QFile script(AboutInfo::helpProgramPath(dir.path()));
            QVERIFY(script.open(QIODevice::WriteOnly));
            script.write("#!/bin/sh\necho \"started $#\" >> '" + log.toUtf8() + "'\n");
            script.close();
            QVERIFY(script.setPermissions(QFile::Permissions(permissions)));
        }
        frmMain w(dir.path(), &prompter);
        choose(w, "mnuHelp_Topics");
        choose(w, "mnuHelp_Topics");
        QVERIFY(w.isEnabled());
        QTRY_COMPARE(fileBytes(log), reason.isEmpty() ? QByteArray("started 0\nstarted 0\n") : QByteArray());
        QCOMPARE(prompter.messages.size(), reason.isEmpty() ? 0 : 2);
        const QString path = QDir::toNativeSeparators(dir.path() + u"/help/tarnvalehelp"_s);
        for (const ScriptedPrompter::Shown &m : prompter.messages) {
            QCOMPARE(m.icon, Prompter::Icon::Exclamation);
            QVERIFY2(m.text.contains(u'"' + path) && m.text.contains(reason), qPrintable(m.text));
        }
    }

    // The guide, as its reader sees it, explains every menu item, panel,
    // button, criterion and column, the quote service and the messages; the
    // help program is built where the launcher looks for it.
    void guideExplainsEveryCommand()
    {
        const QFileInfo program(AboutInfo::helpProgramPath(QStringLiteral(TARNVALE_BIN_DIR)));
        QVERIFY2(program.isFile() && program.isExecutable(), qPrintable(program.filePath()));
        QTextDocument document;
        document.setHtml(QString::fromUtf8(fileBytes(QStringLiteral(TARNVALE_HELP_GUIDE))));
        const QString guide = document.toPlainText().simplified();

        frmMain w(m_dir.path(), &m_prompter);
        QStringList texts =
            u"Symbol Menu|Short Interest|Research Tools|Share count out of range|must be above 0|"
            "is not a number|[Service]|QuoteHost|tarnvale-quoted|is missing|could not be started"_s.split(u'|');
        for (QAction *a : w.findChildren<QAction *>())
            texts << QString(a->text()).remove(u'&'); // as shown, without the access key's mark
        for (QGroupBox *g : w.findChildren<QGroupBox *>())
            texts << g->title();
        for (QPushButton *b : w.findChildren<QPushButton *>())
            texts << b->text();
        for (const Criterion &c : kCriteria)
            texts << QString::fromLatin1(c.caption);
        for (const GridColumn &c : kGridColumns)
            texts << QString::fromLatin1(c.header);
        QVERIFY(texts.contains(u"Possible Profit"_s));
        texts.removeIf([&guide](const QString &t) { return guide.contains(t.simplified()); });
        QVERIFY2(texts.isEmpty(), qPrintable(texts.join(u" | "_s))); // those the guide misses
    }
};

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
