#include "history/HistoryStore.h"

#include "base/ErrorReturn.h"
#include "base/Text.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <QtEndian>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <iterator>
#include <limits>

namespace {

// Stamped into the file's header and its meta table: a file without both is
// someone else's and is never written.
constexpr qint32 kApplicationId = 0x54726E48; // "TrnH"
constexpr auto kFormatName = "tarnvale-history";
// Raised whenever the tables change shape; an older program refuses a newer file.
constexpr int kLayoutVersion = 1;
constexpr QByteArrayView kSqliteMagic("SQLite format 3\0", 16);

// A month of one symbol's bars is one blob of fixed little-endian records in
// ascending dates: Julian day (int32), open, high, low, close (float32),
// volume (int64). A month (under 700 bytes) fits in its b-tree page, so a new
// day rewrites one page per symbol and no overflow chain; merging rewrites
// only the months it touches, and the indicators read back only the newest.
constexpr qsizetype kRecordSize = 28;

// Months since year 0: the key of a chunk.
int monthOf(QDate date)
{
    return date.year() * 12 + date.month() - 1;
}

constexpr const char *kSchema[] = {
    "CREATE TABLE meta(key TEXT PRIMARY KEY, value TEXT NOT NULL) WITHOUT ROWID",
    "CREATE TABLE bars(symbol TEXT NOT NULL, month INTEGER NOT NULL, data BLOB NOT NULL,"
    " PRIMARY KEY(symbol, month)) WITHOUT ROWID",
    // What the blobs hold, so that counts and date ranges never read a blob.
    "CREATE TABLE symbols(symbol TEXT PRIMARY KEY, sessions INTEGER NOT NULL, first INTEGER NOT NULL,"
    " last INTEGER NOT NULL) WITHOUT ROWID",
    // v: the indicators as little-endian doubles in Technical order, NaN when unknown.
    "CREATE TABLE technicals(symbol TEXT PRIMARY KEY, date INTEGER, sessions INTEGER NOT NULL,"
    " v BLOB NOT NULL) WITHOUT ROWID",
    "CREATE TABLE state(key TEXT PRIMARY KEY, value TEXT NOT NULL) WITHOUT ROWID",
};

void putBar(char *out, const DailyBar &bar)
{
    qToLittleEndian<qint32>(qint32(bar.date.toJulianDay()), out);
    const float prices[] = {bar.open, bar.high, bar.low, bar.close};
    for (int i = 0; i < 4; ++i)
        qToLittleEndian<quint32>(std::bit_cast<quint32>(prices[i]), out + 4 + 4 * i);
    qToLittleEndian<qint64>(bar.volume, out + 20);
}

DailyBar takeBar(const char *in)
{
    DailyBar bar;
    bar.date = QDate::fromJulianDay(qFromLittleEndian<qint32>(in));
    float *prices[] = {&bar.open, &bar.high, &bar.low, &bar.close};
    for (int i = 0; i < 4; ++i)
        *prices[i] = std::bit_cast<float>(qFromLittleEndian<quint32>(in + 4 + 4 * i));
    bar.volume = qFromLittleEndian<qint64>(in + 20);
    return bar;
}

QByteArray packBars(const BarSeries &bars)
{
    QByteArray data(qsizetype(bars.size()) * kRecordSize, Qt::Uninitialized);
    for (size_t i = 0; i < bars.size(); ++i)
        putBar(data.data() + qsizetype(i) * kRecordSize, bars[i]);
    return data;
}

void unpackBars(const QByteArray &data, BarSeries &out, QDate from = QDate())
{
    for (qsizetype at = 0; at + kRecordSize <= data.size(); at += kRecordSize) {
        DailyBar bar = takeBar(data.constData() + at);
        if (!from.isValid() || bar.date >= from)
            out.push_back(bar);
    }
}

bool validBar(const DailyBar &bar)
{
    const auto price = [](float p) { return std::isfinite(p) && p > 0; };
    return bar.date.isValid() && price(bar.open) && price(bar.high) && price(bar.low) && price(bar.close)
           && bar.volume >= 0;
}

// The bars worth storing, ascending, one per date: of two bars of a date the
// later given wins, as a stored one loses to a new one.
BarSeries cleanBars(const BarSeries &given)
{
    BarSeries bars;
    bars.reserve(given.size());
    std::copy_if(given.begin(), given.end(), std::back_inserter(bars), validBar);
    std::stable_sort(bars.begin(), bars.end(), [](const auto &a, const auto &b) { return a.date < b.date; });
    BarSeries unique;
    unique.reserve(bars.size());
    for (size_t i = 0; i < bars.size(); ++i) {
        if (i + 1 == bars.size() || bars[i + 1].date != bars[i].date)
            unique.push_back(bars[i]);
    }
    return unique;
}

// Both ascending with unique dates; a bar of added replaces the kept one of its date.
BarSeries mergeBars(const BarSeries &kept, BarSeries::const_iterator from, BarSeries::const_iterator to)
{
    BarSeries merged;
    merged.reserve(kept.size() + size_t(to - from));
    auto k = kept.begin();
    for (; from != to; ++from) {
        while (k != kept.end() && k->date < from->date)
            merged.push_back(*k++);
        if (k != kept.end() && k->date == from->date)
            ++k;
        merged.push_back(*from);
    }
    merged.insert(merged.end(), k, kept.end());
    return merged;
}

QByteArray packValues(const TechnicalRow &row)
{
    QByteArray v(kTechnicalCount * 8, Qt::Uninitialized);
    for (int i = 0; i < kTechnicalCount; ++i)
        qToLittleEndian<quint64>(std::bit_cast<quint64>(row.values[size_t(i)]), v.data() + 8 * i);
    return v;
}

QVariant julian(QDate date)
{
    return date.isValid() ? QVariant(date.toJulianDay()) : QVariant();
}

QDate fromJulian(const QVariant &value)
{
    return value.isNull() ? QDate() : QDate::fromJulianDay(value.toLongLong());
}

std::atomic<int> connectionCount{0};

} // namespace

struct HistoryStore::Private
{
    // Prepared once, reused by every call; each is finished after use so that
    // no statement holds a read snapshot between calls (a reader would then
    // miss the writer's commits).
    struct Statements
    {
        QSqlQuery chunk, chunksFrom, newestChunks, writeChunk, symbol, writeSymbol, symbolList, summary,
            writeTechnicals, allTechnicals, oneTechnicals, state, writeState;
    };

    QString path;
    QString connection;
    bool writable = false;
    QSqlDatabase db;
    std::optional<Statements> sql;

    explicit Private(const QString &file)
        : path(file)
        , connection(QStringLiteral("tarnvale-history-%1").arg(connectionCount++))
        , db(QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection))
    {
        db.setDatabaseName(file);
    }

    ~Private()
    {
        sql.reset();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(connection);
    }

    QString failure(const QString &what, const QSqlError &why) const
    {
        return QStringLiteral("The history store %1 %2: %3").arg(quoted(path), what, why.text());
    }

    // Two processes share the file: a reader and a writer wait for each other
    // a while instead of failing at once.
    bool connect(bool readOnly, QString *error)
    {
        db.close();
        db.setConnectOptions(readOnly ? QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000;QSQLITE_OPEN_READONLY")
                                      : QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
        if (!db.open())
            return fail(error, failure(QStringLiteral("could not be opened"), db.lastError()));
        return true;
    }

    bool run(const QString &statement, QString *error)
    {
        QSqlQuery q(db);
        if (!q.exec(statement))
            return fail(error, failure(QStringLiteral("could not be written"), q.lastError()));
        return true;
    }

    // Lays out an empty file; a file another process laid out meanwhile is
    // left to check().
    bool create(QString *error)
    {
        if (!run(QStringLiteral("BEGIN IMMEDIATE"), error))
            return false;
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("SELECT count(*) FROM sqlite_schema")) || !q.next()) {
            rollback();
            return fail(error, failure(QStringLiteral("could not be read"), q.lastError()));
        }
        const bool empty = q.value(0).toInt() == 0;
        q.finish();
        if (empty) {
            QStringList statements;
            for (const char *s : kSchema)
                statements << latin(s);
            statements << QStringLiteral("INSERT INTO meta VALUES('format', '%1'), ('version', '%2')")
                              .arg(latin(kFormatName))
                              .arg(kLayoutVersion)
                       << QStringLiteral("PRAGMA application_id = %1").arg(kApplicationId);
            for (const QString &s : std::as_const(statements)) {
                if (!run(s, error)) {
                    rollback();
                    return false;
                }
            }
        }
        return commit(error);
    }

    bool check(QString *error)
    {
        const auto refuse = [&](const QString &why) {
            return fail(error, QStringLiteral("%1 %2; it was left as it is.").arg(quoted(path), why));
        };
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("PRAGMA application_id")) || !q.next())
            return refuse(QStringLiteral("is damaged or not a database (%1)").arg(q.lastError().text()));
        if (q.value(0).toInt() != kApplicationId)
            return refuse(QStringLiteral("is another program's database, not a history store"));
        if (!q.exec(QStringLiteral("SELECT key, value FROM meta")))
            return refuse(QStringLiteral("is a damaged history store (%1)").arg(q.lastError().text()));
        QHash<QString, QString> meta;
        while (q.next())
            meta.insert(q.value(0).toString(), q.value(1).toString());
        bool numeric = false;
        const int version = meta.value(QStringLiteral("version")).toInt(&numeric);
        if (meta.value(QStringLiteral("format")) != latin(kFormatName))
            return refuse(QStringLiteral("is another program's database, not a history store"));
        if (numeric && version > kLayoutVersion)
            return refuse(QStringLiteral("was written by a newer version of Tarnvale (layout %1)").arg(version));
        if (!numeric || version < 1)
            return refuse(QStringLiteral("is a damaged history store (no layout version)"));
        return true;
    }

    bool prepare(QString *error)
    {
        sql.emplace();
        const std::pair<QSqlQuery *, const char *> statements[] = {
            {&sql->chunk, "SELECT data FROM bars WHERE symbol = ? AND month = ?"},
            {&sql->chunksFrom, "SELECT data FROM bars WHERE symbol = ? AND month >= ? ORDER BY month"},
            {&sql->newestChunks, "SELECT data FROM bars WHERE symbol = ? ORDER BY month DESC"},
            {&sql->writeChunk, "INSERT OR REPLACE INTO bars VALUES(?, ?, ?)"},
            {&sql->symbol, "SELECT sessions, first, last FROM symbols WHERE symbol = ?"},
            {&sql->writeSymbol, "INSERT OR REPLACE INTO symbols VALUES(?, ?, ?, ?)"},
            {&sql->symbolList, "SELECT symbol FROM symbols ORDER BY symbol"},
            {&sql->summary, "SELECT sum(sessions), min(first), max(last) FROM symbols"},
            {&sql->writeTechnicals, "INSERT OR REPLACE INTO technicals VALUES(?, ?, ?, ?)"},
            {&sql->allTechnicals, "SELECT symbol, date, sessions, v FROM technicals ORDER BY symbol"},
            {&sql->oneTechnicals, "SELECT symbol, date, sessions, v FROM technicals WHERE symbol = ?"},
            {&sql->state, "SELECT value FROM state WHERE key = ?"},
            {&sql->writeState, "INSERT OR REPLACE INTO state VALUES(?, ?)"},
        };
        for (const auto &[query, text] : statements) {
            *query = QSqlQuery(db);
            query->setForwardOnly(true);
            if (!query->prepare(latin(text)))
                return fail(error, failure(QStringLiteral("could not be read"), query->lastError()));
        }
        return true;
    }

    static bool exec(QSqlQuery &q, std::initializer_list<QVariant> values)
    {
        int i = 0;
        for (const QVariant &v : values)
            q.bindValue(i++, v);
        return q.exec();
    }

    bool written(QSqlQuery &q, std::initializer_list<QVariant> values, QString *error)
    {
        if (exec(q, values))
            return true;
        return fail(error, failure(QStringLiteral("could not be written"), q.lastError()));
    }

    void rollback() { QSqlQuery(db).exec(QStringLiteral("ROLLBACK")); }

    bool commit(QString *error)
    {
        QSqlQuery q(db);
        if (q.exec(QStringLiteral("COMMIT")))
            return true;
        const QString why = failure(QStringLiteral("could not be written"), q.lastError());
        rollback();
        return fail(error, why);
    }

    // One month of a symbol's bars; empty when it has none that month.
    bool readChunk(const QString &symbol, int month, BarSeries &out, QString *error)
    {
        out.clear();
        QSqlQuery &q = sql->chunk;
        if (!exec(q, {symbol, month}))
            return fail(error, failure(QStringLiteral("could not be read"), q.lastError()));
        if (q.next())
            unpackBars(q.value(0).toByteArray(), out);
        q.finish();
        return true;
    }

    bool addSymbol(const QString &symbol, const BarSeries &given, QString *error);
};

bool HistoryStore::Private::addSymbol(const QString &symbol, const BarSeries &given, QString *error)
{
    const BarSeries added = cleanBars(given);
    if (added.empty() || symbol.isEmpty())
        return true;

    qint64 sessions = 0;
    QDate first = added.front().date, last = added.back().date;
    QSqlQuery &held = sql->symbol;
    if (!exec(held, {symbol}))
        return fail(error, failure(QStringLiteral("could not be read"), held.lastError()));
    if (held.next()) {
        sessions = held.value(0).toLongLong();
        first = std::min(first, fromJulian(held.value(1)));
        last = std::max(last, fromJulian(held.value(2)));
    }
    held.finish();

    BarSeries kept;
    for (auto from = added.begin(); from != added.end();) {
        const int month = monthOf(from->date);
        const auto to =
            std::find_if(from, added.end(), [month](const DailyBar &b) { return monthOf(b.date) != month; });
        if (sessions > 0 && !readChunk(symbol, month, kept, error))
            return false;
        const BarSeries merged = mergeBars(kept, from, to);
        sessions += qint64(merged.size()) - qint64(kept.size());
        if (!written(sql->writeChunk, {symbol, month, packBars(merged)}, error))
            return false;
        from = to;
    }
    if (!written(sql->writeSymbol, {symbol, sessions, julian(first), julian(last)}, error))
        return false;

    // The indicators need only the newest sessions: the newest months until
    // there are enough of them.
    std::vector<BarSeries> months;
    size_t count = 0;
    QSqlQuery &newest = sql->newestChunks;
    if (!exec(newest, {symbol}))
        return fail(error, failure(QStringLiteral("could not be read"), newest.lastError()));
    while (count < size_t(kTechnicalSessions) && newest.next()) {
        months.emplace_back();
        unpackBars(newest.value(0).toByteArray(), months.back());
        count += months.back().size();
    }
    newest.finish();
    BarSeries tail;
    tail.reserve(count);
    for (auto it = months.rbegin(); it != months.rend(); ++it)
        tail.insert(tail.end(), it->begin(), it->end());
    if (tail.size() > size_t(kTechnicalSessions))
        tail.erase(tail.begin(), tail.end() - kTechnicalSessions);
    TechnicalRow row = computeTechnicals(symbol, tail);
    row.sessions = int(sessions);
    return written(sql->writeTechnicals, {symbol, julian(row.date), row.sessions, packValues(row)}, error);
}

HistoryStore::HistoryStore(std::unique_ptr<Private> d)
    : d(std::move(d))
{}

HistoryStore::~HistoryStore() = default;

std::unique_ptr<HistoryStore> HistoryStore::open(const QString &path, Mode mode, QString *error)
{
    const QFileInfo info(path);
    const bool fresh = !info.exists() || (info.isFile() && info.size() == 0);
    if (fresh && mode == Mode::ReadOnly) {
        fail(error, QStringLiteral("There is no history store %1 yet.").arg(quoted(path)));
        return nullptr;
    }
    if (!fresh) {
        // Told apart before SQLite sees the file, which it might otherwise
        // take for a database to recover.
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            fail(error,
                 QStringLiteral("The history store %1 could not be read: %2").arg(quoted(path), file.errorString()));
            return nullptr;
        }
        if (file.read(kSqliteMagic.size()) != kSqliteMagic) {
            fail(error, QStringLiteral("%1 is damaged or not a database; it was left as it is.").arg(quoted(path)));
            return nullptr;
        }
    }

    auto d = std::make_unique<Private>(path);
    // An existing file is checked over a read-only connection first, so that
    // nothing of a refused file is ever written.
    if (!fresh && !(d->connect(true, error) && d->check(error)))
        return nullptr;
    if (mode == Mode::ReadWrite) {
        if (!d->connect(false, error) || (fresh && !d->create(error)) || !d->check(error)
            || !d->run(QStringLiteral("PRAGMA journal_mode = WAL"), error)
            || !d->run(QStringLiteral("PRAGMA synchronous = NORMAL"), error))
            return nullptr;
        d->writable = true;
    }
    if (!d->prepare(error))
        return nullptr;
    return std::unique_ptr<HistoryStore>(new HistoryStore(std::move(d)));
}

QString HistoryStore::path() const
{
    return d->path;
}

bool HistoryStore::addBars(const QHash<QString, BarSeries> &bySymbol, QString *error)
{
    if (!d->writable)
        return fail(error, QStringLiteral("The history store %1 is open for reading only.").arg(quoted(d->path)));
    QStringList symbols = bySymbol.keys();
    symbols.sort(); // the b-tree's order: fewer pages touched
    // IMMEDIATE takes the write lock before the first read, so that a writer
    // in another process makes this one wait rather than fail half-way.
    if (!d->run(QStringLiteral("BEGIN IMMEDIATE"), error))
        return false;
    for (const QString &symbol : std::as_const(symbols)) {
        if (!d->addSymbol(symbol, bySymbol.value(symbol), error)) {
            d->sql->chunk.finish();
            d->sql->symbol.finish();
            d->sql->newestChunks.finish();
            d->rollback();
            return false;
        }
    }
    return d->commit(error);
}

BarSeries HistoryStore::bars(const QString &symbol, QDate from) const
{
    BarSeries out;
    QSqlQuery &q = d->sql->chunksFrom;
    if (!Private::exec(q, {symbol, from.isValid() ? monthOf(from) : std::numeric_limits<int>::min()}))
        return out;
    while (q.next())
        unpackBars(q.value(0).toByteArray(), out, from);
    q.finish();
    return out;
}

bool HistoryStore::hasBars(const QString &symbol) const
{
    QSqlQuery &q = d->sql->symbol;
    const bool has = Private::exec(q, {symbol}) && q.next();
    q.finish();
    return has;
}

QStringList HistoryStore::symbols() const
{
    QStringList out;
    QSqlQuery &q = d->sql->symbolList;
    if (q.exec()) {
        while (q.next())
            out << q.value(0).toString();
    }
    q.finish();
    return out;
}

namespace {

// sum(sessions), min(first), max(last) of the symbols table.
QVariant summary(QSqlQuery &q, int column)
{
    QVariant value;
    if (q.exec() && q.next())
        value = q.value(column);
    q.finish();
    return value;
}

TechnicalRow technicalRow(const QSqlQuery &q)
{
    TechnicalRow row;
    row.symbol = q.value(0).toString();
    row.date = fromJulian(q.value(1));
    row.sessions = q.value(2).toInt();
    const QByteArray v = q.value(3).toByteArray();
    for (int i = 0; i < kTechnicalCount && 8 * (i + 1) <= v.size(); ++i)
        row.values[size_t(i)] = std::bit_cast<double>(qFromLittleEndian<quint64>(v.constData() + 8 * i));
    return row;
}

} // namespace

QDate HistoryStore::newestDate() const
{
    return fromJulian(summary(d->sql->summary, 2));
}

QDate HistoryStore::oldestDate() const
{
    return fromJulian(summary(d->sql->summary, 1));
}

qint64 HistoryStore::barCount() const
{
    return summary(d->sql->summary, 0).toLongLong();
}

std::vector<TechnicalRow> HistoryStore::technicals() const
{
    std::vector<TechnicalRow> rows;
    QSqlQuery &q = d->sql->allTechnicals;
    if (q.exec()) {
        while (q.next())
            rows.push_back(technicalRow(q));
    }
    q.finish();
    return rows;
}

std::optional<TechnicalRow> HistoryStore::technicals(const QString &symbol) const
{
    std::optional<TechnicalRow> row;
    QSqlQuery &q = d->sql->oneTechnicals;
    if (Private::exec(q, {symbol}) && q.next())
        row = technicalRow(q);
    q.finish();
    return row;
}

QString HistoryStore::state(const QString &key) const
{
    QString value;
    QSqlQuery &q = d->sql->state;
    if (Private::exec(q, {key}) && q.next())
        value = q.value(0).toString();
    q.finish();
    return value;
}

bool HistoryStore::setState(const QString &key, const QString &value, QString *error)
{
    if (!d->writable)
        return fail(error, QStringLiteral("The history store %1 is open for reading only.").arg(quoted(d->path)));
    return d->written(d->sql->writeState, {key, value}, error);
}

QString historyStorePath(const QString &dataFolder)
{
    return dataFolder + u'/' + latin(HistoryStore::kFileName);
}
