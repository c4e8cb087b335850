#include "market/MarketDatabase.h"

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QtEndian>

#include <cmath>
#include <cstring>

namespace {

class Writer
{
public:
    explicit Writer(qsizetype reserve) { m_out.reserve(reserve); }

    template<typename T>
    void put(T value)
    {
        char bytes[sizeof(T)];
        qToLittleEndian(value, bytes);
        m_out.append(bytes, sizeof(T));
    }

    void putText(const QString &text)
    {
        const QByteArray bytes = text.toLatin1();
        put<quint16>(quint16(bytes.size()));
        m_out.append(bytes);
    }

    QByteArray take() { return std::move(m_out); }

private:
    QByteArray m_out;
};

class Reader
{
public:
    explicit Reader(QByteArrayView data) : m_data(data) {}

    qsizetype remaining() const { return m_data.size() - m_pos; }

    template<typename T>
    bool get(T *value)
    {
        if (remaining() < qsizetype(sizeof(T)))
            return false;
        *value = qFromLittleEndian<T>(m_data.data() + m_pos);
        m_pos += sizeof(T);
        return true;
    }

    bool getText(QString *text)
    {
        quint16 length = 0;
        if (!get(&length) || remaining() < length)
            return false;
        *text = QString::fromLatin1(m_data.data() + m_pos, length);
        m_pos += length;
        return true;
    }

private:
    QByteArrayView m_data;
    qsizetype m_pos = 0;
};

bool fail(QString *error, const QString &why)
{
    if (error)
        *error = why;
    return false;
}

} // namespace

namespace MarketFormat {

QByteArray encode(const MarketDatabase &db)
{
    Writer w(HeaderSize + db.Stocks.size() * (MinRecordSize + 8));
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

std::optional<MarketDatabase> decode(QByteArrayView data, QString *error)
{
    Reader r(data);
    double lastUpdate = 0;
    qint16 dimensions = 0;
    qint32 count = 0;
    qint32 lowerBound = 0;
    if (!r.get(&lastUpdate) || !r.get(&dimensions) || !r.get(&count) || !r.get(&lowerBound)) {
        fail(error, QStringLiteral("The file is too short for its header."));
        return std::nullopt;
    }
    if (dimensions != 1) {
        fail(error, QStringLiteral("The header names %1 array dimensions instead of 1.").arg(dimensions));
        return std::nullopt;
    }
    if (lowerBound != 0) {
        fail(error, QStringLiteral("The header's lower bound is %1 instead of 0.").arg(lowerBound));
        return std::nullopt;
    }
    if (count < 1) {
        fail(error, QStringLiteral("The header claims %1 records; at least 1 is needed.").arg(count));
        return std::nullopt;
    }
    // Each record takes at least MinRecordSize bytes: a count the file cannot
    // hold is refused before anything is sized from it.
    if (count > r.remaining() / MinRecordSize) {
        fail(error, QStringLiteral("The header claims %1 records, more than the file holds.").arg(count));
        return std::nullopt;
    }

    MarketDatabase db;
    db.LastUpdate = lastUpdate;
    db.Stocks.resize(count);
    for (qint32 i = 0; i < count; ++i) {
        StockRecord &s = db.Stocks[i];
        if (!r.getText(&s.Reserved) || !r.getText(&s.Symbol) || !r.get(&s.Last) || !r.get(&s.Spread)
            || !r.get(&s.Volume) || !r.get(&s.High) || !r.get(&s.Low) || !r.get(&s.Change)
            || !r.get(&s.Open)) {
            fail(error, QStringLiteral("Record %1 runs past the end of the file.").arg(i + 1));
            return std::nullopt;
        }
    }
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
