#include "app/ScreenRunner.h"
#include "app/ColumnsDialog.h"
#include "app/TechnicalsPanel.h"

#include "base/CommandLine.h"
#include "base/SettingsTable.h"
#include "base/UserSettings.h"
#include "quoted/TradingCalendar.h"
#include "quotes/UpdateDatabase.h"
#include "screen/GridFill.h"
#include "screen/ResultGrid.h"
#include "screen/ResultsExport.h"
#include "screen/SavedScreens.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTextStream>

#include <algorithm>

namespace {

QString settingText(QSettings &settings, const char *key)
{
    for (const SettingKey &k : kSettingKeys) {
        if (qstrcmp(k.key, key) == 0)
            return settings
                .value(QString::fromLatin1(kSettingsSection) + u'/' + QLatin1String(key), QLatin1String(k.defaultValue))
                .toString();
    }
    return {};
}

} // namespace

ScreenRunner::ScreenRunner(ScreenRunOptions options, const QString &programDir, QObject *parent)
    : QObject(parent)
    , m_options(std::move(options))
    , m_location(InstallLayout::marketLocation(
          programDir, QStandardPaths::writableLocation(QStandardPaths::AppDataLocation), marketFileNames()))
{
    connect(&m_notice, &DesktopNotice::shown, this, &ScreenRunner::notifyNext);
}

ScreenRunner::~ScreenRunner() = default;

int ScreenRunner::run(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    CommandLine::nameProgram(QStringLiteral("Tarnvale"));
    QString error;
    const std::optional<ScreenRunOptions> options = ScreenRun::read(QCoreApplication::arguments(), &error);
    if (!options) {
        QTextStream(stderr) << "tarnvale: " << error << '\n';
        return ScreenRun::BadRequest;
    }
    ScreenRunner runner(*options, QCoreApplication::applicationDirPath());
    connect(&runner, &ScreenRunner::finished, &app, &QCoreApplication::exit, Qt::QueuedConnection);
    runner.start();
    return app.exec();
}

void ScreenRunner::start()
{
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (prepare())
                updateNext();
        },
        Qt::QueuedConnection);
}

void ScreenRunner::end(int status, const QString &why)
{
    if (m_ended)
        return;
    m_ended = true;
    if (!why.isEmpty())
        QTextStream(status == ScreenRun::Success ? stdout : stderr) << why << '\n';
    emit finished(status);
}

bool ScreenRunner::prepare()
{
    if (m_options.tradingDaysOnly) {
        const QDate today = QDateTime::currentDateTime().toTimeZone(TradingCalendar::exchangeZone()).date();
        if (!TradingCalendar::isTradingDay(today)) {
            end(ScreenRun::Success, QStringLiteral("The exchange is closed today: nothing to do."));
            return false;
        }
    }
    // The screens first: a name that is not there is refused before a long update.
    QSettings settings = userSettings();
    SavedScreens saved(settings);
    const QStringList names = m_options.screen.isEmpty() ? saved.notified() : QStringList{saved.find(m_options.screen)};
    for (const QString &name : names) {
        const std::optional<CriteriaBoxes> boxes = saved.load(name);
        if (!boxes) {
            end(ScreenRun::BadRequest, QStringLiteral("There is no screen named \"%1\".").arg(m_options.screen));
            return false;
        }
        int bad = 0;
        const std::optional<ScreenBounds> bounds = readScreenBounds(*boxes, &bad);
        if (!bounds) {
            end(ScreenRun::BadRequest,
                QStringLiteral("Screen \"%1\": %2").arg(name, badBoundsMessage(kCriteria[size_t(bad)])));
            return false;
        }
        const std::optional<TechnicalRanges> technical = readTechnicalRanges(*boxes, &bad);
        if (!technical) {
            end(ScreenRun::BadRequest,
                QStringLiteral("Screen \"%1\": %2").arg(name, badBoundsMessage(kTechnicalMeasures[size_t(bad)])));
            return false;
        }
        m_screens.append({name, *bounds, *technical, {}});
    }
    if (!m_options.exportPath.isEmpty())
        m_columns = ColumnsDialog::load(settings);
    for (const MarketInfo &market : m_options.markets) {
        auto store = std::make_unique<MarketStore>(m_location.directory, m_location.seedDirectory);
        store->selectMarket(market);
        const bool there = QFileInfo::exists(store->filePath())
                           || (!store->seedDirectory().isEmpty()
                               && QFileInfo::exists(QDir(store->seedDirectory()).filePath(store->MarketFileName)));
        if (!there && m_options.onlyExistingMarkets)
            continue;
        if (!there) {
            end(ScreenRun::BadRequest,
                QStringLiteral("There is no market file \"%1\".").arg(QDir::toNativeSeparators(store->filePath())));
            return false;
        }
        QString error;
        if (!store->LoadDatabase(&error)) {
            end(ScreenRun::FileFailure, QStringLiteral("The market file \"%1\" could not be opened. %2")
                                            .arg(QDir::toNativeSeparators(store->filePath()), error));
            return false;
        }
        m_stores.push_back(std::move(store));
    }
    if (m_stores.empty()) {
        end(ScreenRun::BadRequest,
            QStringLiteral("There is no market file in \"%1\".").arg(QDir::toNativeSeparators(m_location.directory)));
        return false;
    }
    return true;
}

void ScreenRunner::updateNext()
{
    if (!m_options.update || m_updating >= m_stores.size()) {
        screen();
        return;
    }
    MarketStore &store = *m_stores[m_updating];
    const QString market = store.MarketName;
    const QuoteHost host = quoteHostSetting();
    m_update = new UpdateDatabase(store, host, this);
    m_update->setSaver([this, &store](const MarketStore::Change &change) {
        QString error;
        const bool saved = store.saveChange(change, &error);
        if (!saved)
            m_saveError = store.saveFailureMessage(error);
        return saved;
    });
    auto lastTenth = std::make_shared<int>(0);
    // With the CSV on standard output, the update reports beside it.
    FILE *report = m_options.exportPath == QLatin1String("-") ? stderr : stdout;
    connect(m_update, &UpdateDatabase::progress, this, [market, lastTenth, report](int percent, const QString &symbol) {
        if (percent / 10 <= *lastTenth)
            return;
        *lastTenth = percent / 10;
        QTextStream(report) << market << ": " << UpdateDatabase::progressCaption(percent, symbol).section(u'\r', 0, 0)
                            << '\n';
    });
    connect(m_update, &UpdateDatabase::finished, this,
            [this, market, host, report](const UpdateDatabase::Result &result) {
                m_update->deleteLater();
                m_update = nullptr;
                const QString failure = QString::fromLatin1(ConnectionFailureMessage);
                if (result.ending == UpdateDatabase::Ending::Unreachable) {
                    end(ScreenRun::Unreachable,
                        QStringLiteral("%1: %2 %3").arg(market, failure, result.sourceReason).trimmed());
                    return;
                }
                if (!result.saved) {
                    end(ScreenRun::FileFailure, m_saveError);
                    return;
                }
                QTextStream(report) << market << ": "
                                    << UpdateDatabase::completionMessage(result).replace(QStringLiteral("\n\n"),
                                                                                         QStringLiteral(" "))
                                    << '\n';
                // Every symbol answered and none usable: the service's source refused.
                if (result.refreshed == 0 && !result.skipped.isEmpty()) {
                    if (!isLocalHost(host)) {
                        end(ScreenRun::Unreachable, QStringLiteral("%1: %2").arg(market, failure));
                        return;
                    }
                    connect(&m_status, &ServiceStatusQuery::finished, this,
                            [this, market, failure](const std::optional<ServiceStatus> &status) {
                                end(ScreenRun::Unreachable,
                                    QStringLiteral("%1: %2 %3")
                                        .arg(market, failure, status ? statusExplanation(*status) : QString())
                                        .trimmed());
                            });
                    m_status.ask(host);
                    return;
                }
                ++m_updating;
                updateNext();
            });
    m_update->start();
}

void ScreenRunner::screen()
{
    if (m_screens.isEmpty()) {
        end(ScreenRun::Success);
        return;
    }
    const bool technical =
        !m_columns.isEmpty()
        || std::any_of(m_screens.cbegin(), m_screens.cend(), [](const Screen &s) { return anyTicked(s.technical); });
    if (!technical) {
        match(nullptr);
        return;
    }
    // One table of the service's indicators serves every screen of this run.
    connect(&m_technicals, &ServiceGet::finished, this, [this](const ServiceGet::Reply &reply) {
        QString why;
        const std::optional<TechnicalTable> table = TechnicalsPanel::tableOf(reply, &why);
        if (!table) {
            end(ScreenRun::Unreachable,
                QStringLiteral("The technical indicators could not be fetched. %1").arg(why).trimmed());
            return;
        }
        match(&*table);
    });
    m_technicals.get(quoteHostSetting(), QStringLiteral("/technicals.csv"));
}

void ScreenRunner::match(const TechnicalTable *table)
{
    QSettings settings = userSettings();
    const PersonalAmounts amounts =
        readPersonalAmounts(settingText(settings, "Capital"), settingText(settings, "Commission"));
    const TechnicalTable none;
    for (Screen &s : m_screens) {
        ResultGrid grid;
        setupGrid(grid, m_columns);
        for (const auto &store : m_stores) {
            const MarketDatabase &db = store->database();
            const QList<int> matches = matchStocks(db, s.bounds, s.technical, table ? *table : none);
            addResultRows(grid, db, matches, amounts, NumberFormat::Symbols(), {m_columns, table});
            for (int i : matches)
                s.symbols.append(db.Stocks[i].Symbol);
        }
        if (m_options.screen.isEmpty())
            continue;
        // The CSV on standard output takes the place of the list.
        if (m_options.exportPath != QLatin1String("-")) {
            QTextStream out(stdout);
            for (const QString &symbol : std::as_const(s.symbols))
                out << symbol << '\n';
        }
        QString error;
        if (m_options.exportPath == QLatin1String("-")) {
            QTextStream(stdout) << QString::fromUtf8(ResultsExport::csv(grid));
        } else if (!m_options.exportPath.isEmpty() && !ResultsExport::write(grid, m_options.exportPath, &error)) {
            end(ScreenRun::FileFailure, QStringLiteral("The results could not be exported to \"%1\". %2")
                                            .arg(QDir::toNativeSeparators(m_options.exportPath), error));
            return;
        }
    }
    if (!m_options.notify) {
        end(ScreenRun::Success);
        return;
    }
    QString error;
    const std::optional<ScreenNotice::Kept> kept =
        ScreenNotice::readKept(QDir(m_location.directory).filePath(QLatin1String(ScreenNotice::FileName)), &error);
    if (!kept) {
        end(ScreenRun::FileFailure, error);
        return;
    }
    m_kept = *kept;
    for (const Screen &s : std::as_const(m_screens)) {
        const QString body = ScreenNotice::update(m_kept, s.name, s.symbols);
        if (!body.isEmpty())
            m_notices.append({ScreenNotice::title(s.name), body});
    }
    notifyNext();
}

void ScreenRunner::notifyNext()
{
    if (!m_notices.isEmpty()) {
        const auto [title, body] = m_notices.takeFirst();
        m_notice.show(title, body);
        return;
    }
    // Kept only once told: a run that fails before here tells again next time.
    QString error;
    if (!ScreenNotice::writeKept(QDir(m_location.directory).filePath(QLatin1String(ScreenNotice::FileName)), m_kept,
                                 &error)) {
        end(ScreenRun::FileFailure, QStringLiteral("The screens' last matches could not be kept. %1").arg(error));
        return;
    }
    end(ScreenRun::Success);
}
