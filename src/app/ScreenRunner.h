#pragma once

#include "app/DesktopNotice.h"
#include "base/InstallLayout.h"
#include "quotes/ServiceGet.h"
#include "quotes/ServiceStatus.h"
#include "screen/ScreenNotice.h"
#include "screen/ScreenRunOptions.h"
#include "screen/Screening.h"

#include <QObject>

#include <memory>
#include <vector>

class UpdateDatabase;

// The program without a window: updates the markets, runs the saved screens,
// prints or exports their matches and tells of the stocks that entered them,
// one step after the other from the event loop, then finished() with the
// exit status. Nothing on this road asks a person anything.
class ScreenRunner : public QObject
{
    Q_OBJECT

public:
    ScreenRunner(ScreenRunOptions options, const QString &programDir, QObject *parent = nullptr);
    ~ScreenRunner() override;

    // The whole program for these arguments, on a QCoreApplication: no
    // display is needed.
    static int run(int argc, char *argv[]);

    void start();

signals:
    void finished(int status);

private:
    struct Screen
    {
        QString name;
        ScreenBounds bounds;
        TechnicalRanges technical;
        QStringList symbols; // the matches, in the grid's order
    };

    bool prepare();
    void updateNext();
    void onUpdated(const QString &marketName, int lastTenth);
    void screen();
    void match(const TechnicalTable *table);
    void notifyNext();
    void end(int status, const QString &why = QString());

    ScreenRunOptions m_options;
    InstallLayout::MarketLocation m_location;
    std::vector<std::unique_ptr<MarketStore>> m_stores;
    size_t m_updating = 0;
    UpdateDatabase *m_update = nullptr;
    QString m_saveError;
    ServiceStatusQuery m_status;
    ServiceGet m_technicals;
    QList<int> m_columns; // the technical columns the window shows, exported alike
    QList<Screen> m_screens;
    ScreenNotice::Kept m_kept;
    QList<std::pair<QString, QString>> m_notices; // title, body
    DesktopNotice m_notice;
    bool m_ended = false;
};
