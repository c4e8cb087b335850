#pragma once

#include "common/BenchFixtures.h"

#include "app/frmMain.h"
#include "widgets/Prompter.h"

#include <QAction>
#include <QCoreApplication>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>

// A prompter that shows nothing and answers every question with No or an
// empty text, for benchmarks that drive the real windows; a message is
// printed, so that a benchmark never hides why a step did nothing.
class SilentPrompter : public Prompter
{
public:
    void message(const QString &text, Icon) override { std::fprintf(stderr, "message: %s\n", qPrintable(text)); }
    bool askYesNo(const QString &) override { return false; }
    QString input(const QString &, const QString &, const QString &) override { return QString(); }
};

// The window benchmarks draw on the offscreen platform unless one is named.
// Call before the QApplication is made.
inline void preferOffscreen()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

// Keeps the user's settings out of a benchmark: while it lives, the settings
// store is a temporary folder.
class TemporarySettings
{
public:
    TemporarySettings()
    {
        QStandardPaths::setTestModeEnabled(true);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.path());
    }

private:
    QTemporaryDir m_dir;
};

// The main window on a program folder of its own (temporary, as are the
// settings), holding the given Nasdaq market file if one is given. Needs
// the QApplication.
class MainWindowBench
{
public:
    explicit MainWindowBench(const MarketDatabase *nasdaq = nullptr)
        : m_written(m_dir.isValid()
                    && (!nasdaq || writeMarketFile(m_dir.filePath(QStringLiteral("nasdaq.bin")), *nasdaq)))
        , m_window(std::make_unique<frmMain>(m_dir.path(), &m_prompter))
    {}

    frmMain &window() { return *m_window; }

    // Shows the window at the given size and opens the Nasdaq market from its
    // menu, as the user would; false when the market file could not be
    // written.
    bool openNasdaq(int width, int height)
    {
        if (!m_written)
            return false;
        m_window->show();
        m_window->resize(width, height);
        QCoreApplication::processEvents();
        m_window->findChild<QAction *>(QStringLiteral("mnuOpen_Nasdaq"))->trigger();
        QCoreApplication::processEvents();
        return true;
    }

private:
    TemporarySettings m_settings;
    QTemporaryDir m_dir;
    SilentPrompter m_prompter;
    bool m_written;
    std::unique_ptr<frmMain> m_window;
};
