#pragma once

#include "quoted/GroupedDaily.h"

#include <QByteArray>
#include <QDate>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class HistoryStore;
class QThread;

// The quote service's price history: the answers to
//   GET /history.csv?s=SYMBOL[&from=YYYY-MM-DD]   one symbol's daily bars
//   GET /technicals.csv                           every symbol's indicators
// from the history store. A symbol the store lacks is asked of the keyed
// source once, however many clients wait for it, and kept. The technicals
// table is built on a thread of its own and served from memory until the
// store changes, by this process or another.
class HistoryService : public QObject
{
    Q_OBJECT

public:
    // A whole HTTP answer, handed over once it is ready (perhaps at once).
    using Answer = std::function<void(const QByteArray &answer)>;

    explicit HistoryService(QObject *parent = nullptr);
    ~HistoryService() override;

    // Opens the store, creating it (and its folder) when nothing is there.
    // When it cannot, the history is answered with 503 and the reason;
    // false, with that reason.
    bool open(const QString &path, QString *error = nullptr);
    // The store of the service's own thread; nullptr when it could not be opened.
    HistoryStore *store() const { return m_store.get(); }

    // The keyed source that fetches a symbol the store lacks, and whose daily
    // answers are stored (not owned); nullptr when there is none with a key.
    void setSource(GroupedDailySource *source);

    void history(const QByteArray &symbol, QDate from, Answer answer);
    void technicals(Answer answer);

private:
    struct Waiting
    {
        QDate from;
        Answer answer;
    };
    // The files' sizes and times: another process's write changes them.
    using Stamp = QList<qint64>;

    void fetched(const QByteArray &symbol, const FetchedHistory &fetched);
    QByteArray historyAnswer(const QString &symbol, QDate from) const;
    QByteArray unavailable() const;
    Stamp stamp() const;
    void buildTechnicals();
    void storeChanged() { ++m_generation; }

    std::unique_ptr<HistoryStore> m_store;
    QString m_error; // why there is no store
    GroupedDailySource *m_source = nullptr;
    QHash<QString, QList<Waiting>> m_fetching; // symbol -> clients waiting for its history

    QByteArray m_technicals; // the whole answer, while m_builtFrom is the store's stamp
    Stamp m_builtFrom;
    quint64 m_generation = 0; // counts this process's writes
    quint64 m_builtGeneration = 0;
    QThread *m_builder = nullptr;
    QList<Answer> m_technicalsWaiting;
};
