#pragma once

#include "app/frmMain.h"
#include "common/ScriptedPrompter.h"
#include "common/TestSettings.h"
#include "market/MarketStore.h"
#include "screen/ResultGrid.h"

#include <QAbstractButton>
#include <QAction>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// What every main-window suite sets up for each test: a settings store and a
// market folder of its own, a prompter that answers every box, and the main
// window over that folder.
class MainWindowTest : public QObject
{
protected:
    std::unique_ptr<TestSettings> m_settings;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ScriptedPrompter> m_prompter;
    std::unique_ptr<frmMain> m_window;

    // A fresh store and folder, with nasdaq.bin holding the given market.
    bool setUpMarket(const MarketDatabase &nasdaq)
    {
        m_settings = std::make_unique<TestSettings>();
        m_dir = std::make_unique<QTemporaryDir>();
        return m_dir->isValid() && writeMarketFile(marketPath(), nasdaq);
    }

    // The main window over the folder, shown and exposed, with NASDAQ opened
    // unless asked otherwise.
    bool showWindow(bool openNasdaq = true)
    {
        m_prompter = std::make_unique<ScriptedPrompter>();
        m_window = std::make_unique<frmMain>(m_dir->path(), m_prompter.get());
        m_window->show();
        if (!QTest::qWaitForWindowExposed(m_window.get()))
            return false;
        if (openNasdaq)
            trigger("mnuOpen_Nasdaq");
        return true;
    }

    QString marketPath(const char *file = "nasdaq.bin") const { return m_dir->filePath(QString::fromLatin1(file)); }

    MarketDatabase onDisk(const char *file = "nasdaq.bin") const
    {
        MarketDatabase db;
        readMarketFile(marketPath(file), &db);
        return db;
    }

    template <typename T = QAction> T *find(const char *name) const
    {
        return m_window->findChild<T *>(QString::fromLatin1(name));
    }
    void trigger(const char *action) const { find(action)->trigger(); }
    void click(const char *button) const { QTest::mouseClick(find<QAbstractButton>(button), Qt::LeftButton); }

    // The program's settings store, as the test's own store holds it.
    static QSettings store()
    {
        return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Tarnvale"),
                         QStringLiteral("Tarnvale"));
    }
    // Sends the program's quote requests to a loopback port.
    static void pointQuotesAt(quint16 port)
    {
        store().setValue(QStringLiteral("Service/QuoteHost"), QStringLiteral("127.0.0.1:") + QString::number(port));
    }
    // The texts of a grid column below the header row, the marker row's included.
    QStringList column(int col) const
    {
        QStringList texts;
        for (int r = 1; r < m_window->grid()->rows(); ++r)
            texts << m_window->grid()->text(r, col);
        return texts;
    }

    // A market of the given symbols and nothing else, as the list keeps it.
    static MarketDatabase marketOf(std::initializer_list<const char *> symbols, double lastUpdate = 0)
    {
        MarketDatabase db;
        db.LastUpdate = lastUpdate;
        for (const char *s : symbols) {
            db.Stocks.last().Symbol = QString::fromLatin1(s);
            db.Stocks.append(StockRecord{});
        }
        return db;
    }
};
