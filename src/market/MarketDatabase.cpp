#include "market/MarketDatabase.h"

#include "base/ErrorReturn.h"

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QtEndian>

#include <cmath>
#include <cstring>

namespace {

// A text's length field is 16 bits: longer texts keep their first 65,535
// characters rather than corrupting every record after them.
quint16 storedLength(const QString &text)
{
    return quint16(qMin<qsizetype>(text.size(), 0xFFFF));
}

// Writes into a buffer sized up front: one allocation for the whole file.
class Writer
{
public:
    explicit Writer(qsizetype size)
        : m_out(size, Qt::Uninitialized)
        , m_at(m_out.data())
    {}

    template <typename T> void put(T value)
    {
        qToLittleEndian(value, m_at);
        m_at += sizeof(T);
    }

    // One byte a character; what Latin-1 cannot hold becomes "?".
    void putText(const QString &text)
    {
        const quint16 length = storedLength(text);
        put<quint16>(length);
        const QChar *in = text.constData();
        for (quint16 i = 0; i < length; ++i)
            *m_at++ = in[i].unicode() < 256 ? char(in[i].unicode()) : '?';
    }

    QByteArray take() { return std::move(m_out); }

private:
    QByteArray m_out;
    char *m_at;
};

class Reader
{
public:
    explicit Reader(QByteArrayView data)
        : m_data(data)
    {}

    qsizetype remaining() const { return m_data.size() - m_pos; }

    template <typename T> bool get(T *value)
    {
        if (remaining() < qsizetype(sizeof(T)))
            return false;
        *value = qFromLittleEndian<T>(m_data.data() + m_pos);
        m_pos += sizeof(T);
        return true;
    }

    bool skipText()
    {
        quint16 length = 0;
        if (!get(&length) || remaining() < length)
            return false;
        m_pos += length;
        return true;
    }

    bool skip(qsizetype bytes)
    {
        if (remaining() < bytes)
            return false;
        m_pos += bytes;
        return true;
    }

private:
    QByteArrayView m_data;
    qsizetype m_pos = 0;
};

// One text of a record already known to lie inside the data. Widening by
// hand into the text's own buffer: a reload reuses the buffers of the list it
// replaces instead of allocating a string for every record, which would
// dominate the load.
const char *readText(const char *at, QString &text)
{
    const quint16 length = qFromLittleEndian<quint16>(at);
    at += 2;
    if (text.size() != length)
        text.resize(length);
    if (length > 0) {
        QChar *out = text.data();
        for (quint16 i = 0; i < length; ++i)
            out[i] = QChar(uchar(at[i]));
    }
    return at + length;
}

} // namespace

namespace MarketFormat {

QByteArray encode(const MarketDatabase &db)
{
    qsizetype size = HeaderSize + db.Stocks.size() * MinRecordSize;
    for (const StockRecord &s : db.Stocks)
        size += storedLength(s.Reserved) + storedLength(s.Symbol);
    Writer w(size);
    w.put<double>(db.LastUpdate);
    w.put<qint16>(1);
    w.put<qint32>(qint32(db.Stocks.size()));
    w.put<qint32>(0);
    for (const StockRecord &s : db.Stocks) {
        w.putText(s.Reserved);
        w.putText(s.Symbol);
        w.put<float>(s.Last);
        w.put<float>(s.Spread);
        w.put<double>(s.Volume);
        w.put<float>(s.High);
        w.put<float>(s.Low);
        w.put<float>(s.Change);
        w.put<float>(s.Open);
    }
    return w.take();
}

bool decodeInto(QByteArrayView data, MarketDatabase &db, QString *error)
{
    Reader r(data);
    double lastUpdate = 0;
    qint16 dimensions = 0;
    qint32 count = 0;
    qint32 lowerBound = 0;
    if (!r.get(&lastUpdate) || !r.get(&dimensions) || !r.get(&count) || !r.get(&lowerBound))
        return fail(error, QStringLiteral("The file is too short for its header."));
    if (dimensions != 1)
        return fail(error, QStringLiteral("The header names %1 array dimensions instead of 1.").arg(dimensions));
    if (lowerBound != 0)
        return fail(error, QStringLiteral("The header's lower bound is %1 instead of 0.").arg(lowerBound));
    if (count < 1)
        return fail(error, QStringLiteral("The header claims %1 records; at least 1 is needed.").arg(count));
    // Each record takes at least MinRecordSize bytes: a count the file cannot
    // hold is refused before anything is sized from it.
    if (count > r.remaining() / MinRecordSize)
        return fail(error, QStringLiteral("The header claims %1 records, more than the file holds.").arg(count));

    // First pass: every record must lie inside the file, so the second pass
    // cannot fail and db is changed only for a sound file.
    Reader check = r;
    for (qint32 i = 0; i < count; ++i) {
        if (!check.skipText() || !check.skipText() || !check.skip(MinRecordSize - 4))
            return fail(error, QStringLiteral("Record %1 runs past the end of the file.").arg(i + 1));
    }

    db.LastUpdate = lastUpdate;
    db.Stocks.resize(count);
    // The first pass proved every record lies inside the data, so this one
    // reads without further checks.
    const char *at = data.data() + HeaderSize;
    for (StockRecord &s : db.Stocks) {
        at = readText(at, s.Reserved);
        at = readText(at, s.Symbol);
        s.Last = qFromLittleEndian<float>(at);
        s.Spread = qFromLittleEndian<float>(at + 4);
        s.Volume = qFromLittleEndian<double>(at + 8);
        s.High = qFromLittleEndian<float>(at + 16);
        s.Low = qFromLittleEndian<float>(at + 20);
        s.Change = qFromLittleEndian<float>(at + 24);
        s.Open = qFromLittleEndian<float>(at + 28);
        at += MinRecordSize - 4;
    }
    return true;
}

std::optional<MarketDatabase> decode(QByteArrayView data, QString *error)
{
    MarketDatabase db;
    if (!decodeInto(data, db, error))
        return std::nullopt;
    return db;
}

} // namespace MarketFormat

namespace {
const QDate kDayZero(1899, 12, 30);
}

double dateToMarketDate(const QDate &date)
{
    return double(kDayZero.daysTo(date));
}

QString marketDateText(double value, const QLocale &locale)
{
    if (!std::isfinite(value) || std::fabs(value) > 3e6)
        return QString();
    // Whole days count from day zero; the fraction is the time of day, taken
    // as a distance from midnight whatever the sign of the day count.
    const double days = std::trunc(value);
    const qint64 seconds = qRound64(std::fabs(value - days) * 86400.0);
    const QTime time = QTime(0, 0).addSecs(seconds % 86400);
    const QDate date = kDayZero.addDays(qint64(days));
    if (days == 0)
        return locale.toString(time, QLocale::ShortFormat);
    if (seconds == 0)
        return locale.toString(date, QLocale::ShortFormat);
    return locale.toString(QDateTime(date, time), QLocale::ShortFormat);
}
