#include "about/AboutInfo.h"
#include "app/frmMain.h"
#include "common/ScriptedPrompter.h"
#include "common/TestSettings.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenuBar>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>

namespace {

QWidget *openAbout()
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget *w : windows) {
        if (w->objectName() == QStringLiteral("frmAbout") && w->isVisible())
            return w;
    }
    return nullptr;
}

void trigger(frmMain &w, const char *name)
{
    QAction *a = w.findChild<QAction *>(QString::fromLatin1(name));
    QVERIFY2(a, name);
    a->trigger();
}

} // namespace

class TestFrmAbout : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestSettings> m_settings;
    std::unique_ptr<QTemporaryDir> m_dir;

    QString launchLog() const { return m_dir->filePath(QStringLiteral("launches.txt")); }

    // A stand-in help program that notes each start and its argument count.
    void writeStandIn(QFile::Permissions permissions)
    {
        QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("help")));
        QFile script(AboutInfo::helpProgramPath(m_dir->path()));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\necho \"started $#\" >> '" + launchLog().toUtf8() + "'\n");
        script.close();
        QVERIFY(script.setPermissions(permissions));
    }

    QStringList launches() const
    {
        QFile log(launchLog());
        if (!log.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(log.readAll()).split(u'\n', Qt::SkipEmptyParts);
    }

private slots:
    void init()
    {
        m_settings = std::make_unique<TestSettings>();
        m_dir = std::make_unique<QTemporaryDir>();
    }

    void cleanup() { QVERIFY(!openAbout()); }

    void aboutBoxShowsBannerAndVersion()
    {
        ScriptedPrompter prompter;
        frmMain w(m_dir->path(), &prompter);
        w.show();
        trigger(w, "mnuHelp_About");
        QWidget *about = openAbout();
        QVERIFY(about);
        QCOMPARE(about->windowTitle(), QStringLiteral("About"));

        auto *banner = about->findChild<QLabel *>(QStringLiteral("Image1"));
        QVERIFY(banner);
        QCOMPARE(banner->pixmap().size(), QSize(400, 134));
        QVERIFY(about->width() >= 401 && about->height() >= 219);
        QCOMPARE(about->minimumSize(), about->maximumSize());

        auto *version = about->findChild<QLabel *>(QStringLiteral("lblAbout"));
        QVERIFY(version);
        QCOMPARE(version->text(), QStringLiteral("Version: " TARNVALE_PROJECT_VERSION));
        QCOMPARE(version->font().family(), QStringLiteral("Verdana"));
        QCOMPARE(version->font().pointSizeF(), 9.75);
        QVERIFY(version->font().bold());
        QCOMPARE(version->palette().color(QPalette::WindowText), QColor(64, 64, 64));

        // Its close box is the only way out.
        QVERIFY(about->findChildren<QAbstractButton *>().isEmpty());
        QVERIFY(about->windowFlags() & Qt::WindowCloseButtonHint);
        about->close();
        QVERIFY(prompter.messages.isEmpty());
    }

    void mainWindowWaitsWhileTheAboutBoxIsOpen()
    {
        ScriptedPrompter prompter;
        frmMain w(m_dir->path(), &prompter);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(w.isEnabled());
        trigger(w, "mnuHelp_About");
        QPointer<QWidget> about = openAbout();
        QVERIFY(about);
        QVERIFY(!w.isEnabled());
        QVERIFY(about->isEnabled());
        QVERIFY(!w.menuBar()->isEnabled());

        QVERIFY(about->close());
        QVERIFY(w.isEnabled());
        QTRY_VERIFY(about.isNull());

        // And again: a new box each time, the main window back each time.
        trigger(w, "mnuHelp_About");
        QVERIFY(openAbout());
        QVERIFY(!w.isEnabled());
        openAbout()->close();
        QVERIFY(w.isEnabled());
    }

    void aboutBoxGoesWithTheMainWindow()
    {
        ScriptedPrompter prompter;
        QPointer<QWidget> about;
        {
            frmMain w(m_dir->path(), &prompter);
            trigger(w, "mnuHelp_About");
            about = openAbout();
            QVERIFY(about);
        }
        QVERIFY(about.isNull());
    }

    void helpTopicsStartsANewCopyEachTime()
    {
        writeStandIn(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup);
        ScriptedPrompter prompter;
        frmMain w(m_dir->path(), &prompter);
        w.show();
        trigger(w, "mnuHelp_Topics");
        trigger(w, "mnuHelp_Topics");
        QTRY_COMPARE(launches(), (QStringList{"started 0", "started 0"}));
        QVERIFY(prompter.messages.isEmpty());
        QVERIFY(w.isEnabled());
    }

    void missingHelpProgramIsReported()
    {
        ScriptedPrompter prompter;
        frmMain w(m_dir->path(), &prompter);
        w.show();
        trigger(w, "mnuHelp_Topics");
        QCOMPARE(prompter.messages.size(), 1);
        QCOMPARE(prompter.messages.first().icon, Prompter::Icon::Exclamation);
        const QString path = QDir::toNativeSeparators(m_dir->path() + QStringLiteral("/help/tarnvalehelp"));
        QVERIFY2(prompter.lastText().contains(u'"' + path), qPrintable(prompter.lastText()));
        QVERIFY(w.isEnabled());
        // Every choice tries again and says so again.
        trigger(w, "mnuHelp_Topics");
        QCOMPARE(prompter.messages.size(), 2);
        QVERIFY(w.isEnabled());
    }

    void helpProgramThatCannotStartIsReported()
    {
        writeStandIn(QFile::ReadOwner | QFile::WriteOwner);
        ScriptedPrompter prompter;
        frmMain w(m_dir->path(), &prompter);
        trigger(w, "mnuHelp_Topics");
        QCOMPARE(prompter.messages.size(), 1);
        QCOMPARE(prompter.messages.first().icon, Prompter::Icon::Exclamation);
        QVERIFY2(prompter.lastText().contains(QDir::toNativeSeparators(AboutInfo::helpProgramPath(m_dir->path()))),
                 qPrintable(prompter.lastText()));
        QVERIFY2(prompter.lastText().contains(QStringLiteral("could not be started")), qPrintable(prompter.lastText()));
        QVERIFY(launches().isEmpty());
        QVERIFY(w.isEnabled());
    }
};

QTEST_MAIN(TestFrmAbout)
#include "tst_frmabout.moc"
