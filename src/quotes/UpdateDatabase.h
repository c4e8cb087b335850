#pragma once

#include "market/MarketStore.h"
#include "quotes/QuoteFetch.h"
#include "quotes/QuoteHost.h"
#include "quotes/ServiceStatus.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

// The message when the quote service cannot be reached, for the update and
// the live quote alike.
inline constexpr char ConnectionFailureMessage[] =
    "There was an error while updating the market database! Try again in a few moments.";
inline constexpr char UpdateCompletedMessage[] = "The update has been completed!";

// Refreshes every listed stock of the open market from the quote service, one
// symbol at a time in list order. A symbol that gets no usable quote after its
// retries is skipped with its record untouched. When every symbol has been
// through and at least one was refreshed, LastUpdate becomes today and the
// market is saved. Stopping, or a service that cannot be reached, saves what
// was refreshed so far and leaves LastUpdate alone; so does an update that
// refreshed nothing.
//
// The symbols asked for are those listed when the update starts. A reply is
// stored only into a record that still holds the symbol it was asked for,
// found again by that symbol if the list has changed meanwhile; a symbol no
// longer listed is passed over, and its reply written nowhere. The save
// carries the refreshed quotes as its change, so that a market saved by
// another copy of the program meanwhile gets them on top of its own changes.
class UpdateDatabase : public QObject
{
    Q_OBJECT

public:
    enum class Ending {
        Completed,   // every listed symbol was asked for; dated when one was refreshed
        Stopped,     // cancel()
        Unreachable, // no answer for the first symbol, or for several in a row
    };
    Q_ENUM(Ending)

    struct Result
    {
        Ending ending = Ending::Completed;
        qsizetype refreshed = 0;
        QStringList skipped;  // symbols without a usable quote, in list order
        bool saved = true;    // false when the save failed (the saver has reported it)
        QDate quotesDate;     // the latest trade date among the refreshed quotes
        QString sourceReason; // when the service could not be reached: why, as a local service tells it
    };

    // Symbols in a row without a byte of answer before the update gives up;
    // for the first symbol of the update one is enough.
    static constexpr int UnansweredInARow = 3;
    // How many skipped symbols the completion message names.
    static constexpr qsizetype NamedSkipped = 5;

    UpdateDatabase(MarketStore &store, const QuoteHost &host, QObject *parent = nullptr);

    void setTimeouts(int connectMs, int replyMs) { m_fetch.setTimeouts(connectMs, replyMs); }
    // Replaces the plain MarketStore save, e.g. by one that reports failures.
    using Saver = std::function<bool(const MarketStore::Change &)>;
    void setSaver(Saver saver) { m_saver = std::move(saver); }

    // Starts from the first listed stock; the work runs from the event loop.
    void start();
    // Stops at once: saves what was refreshed and emits finished().
    void cancel();
    bool running() const { return m_running; }

    // (index + 1) of count as a whole percent, halves to the even neighbour.
    static int progressPercent(qsizetype index, qsizetype count);
    // "Updating: P%" CR LF "Updating: SYMBOL".
    static QString progressCaption(int percent, const QString &symbol);
    // "The update has been completed!", the trading date of the quotes
    // stored, whether nothing was refreshed, and what was skipped, if anything.
    static QString completionMessage(const Result &result);

signals:
    // After every symbol that was asked for, refreshed or skipped.
    void progress(int percent, const QString &symbol);
    void finished(const UpdateDatabase::Result &result);

private:
    void next();
    void onFetched(const QuoteFetch::Result &fetched);
    void end(Ending ending);
    // Where the record of m_symbols[i] is now, or -1 when it is no longer listed.
    qsizetype locate(qsizetype i);

    MarketStore &m_store;
    QuoteHost m_host;
    QuoteFetch m_fetch;
    ServiceStatusQuery m_status;
    Saver m_saver;
    Result m_result;
    QList<std::pair<QString, ParsedQuote>> m_stored; // by symbol, in the order stored
    QStringList m_symbols;                           // as listed at the start, empty ones included
    // Which occurrence of its symbol m_symbols[i] is (1 for the first), and 0
    // when the symbol is listed once only.
    QList<int> m_occurrence;
    qsizetype m_index = 0; // into m_symbols
    qsizetype m_shift = 0; // where m_symbols[i] was last found: at i + m_shift
    qsizetype m_requested = 0;
    int m_unanswered = 0;
    quint64 m_generation = 0;
    bool m_running = false;
};
