// Writes the sample quotes snapshot that ships with tarnvale-quoted: one
// made-up but plausible quote for every symbol of the given symbol lists
// (one symbol a line, "#" starts a comment). The values depend only on the
// symbol, so every build writes the same file.
#include "quoted/QuoteLine.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>
#include <QTextStream>

#include <cmath>
#include <cstdint>

namespace {

// splitmix64: small, well mixed and the same on every platform.
class SampleNumbers
{
public:
    explicit SampleNumbers(QByteArrayView symbol)
    {
        m_state = 14695981039346656037ull; // FNV-1a of the symbol as the seed
        for (char c : symbol) {
            m_state ^= static_cast<unsigned char>(c);
            m_state *= 1099511628211ull;
        }
    }

    std::uint64_t next()
    {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    // A whole number from low to high inclusive.
    qint64 between(qint64 low, qint64 high) { return low + qint64(next() % std::uint64_t(high - low + 1)); }

private:
    std::uint64_t m_state;
};

QuoteLine sampleQuote(const QByteArray &symbol)
{
    SampleNumbers rng(symbol);
    // Prices in cents; the bands give a spread of cheap, middling and dear stocks.
    static const qint64 bands[][2] = {{300, 2000}, {2000, 8000}, {8000, 40000}};
    const auto &band = bands[rng.between(0, 2)];
    const qint64 last = rng.between(band[0], band[1]);
    const qint64 change = last * rng.between(-400, 400) / 10000; // within 4%
    const qint64 open = qMax<qint64>(1, last - change + last * rng.between(-50, 50) / 10000);
    const qint64 high = qMax(open, last) + last * rng.between(0, 150) / 10000;
    const qint64 low = qMax<qint64>(1, qMin(open, last) - last * rng.between(0, 150) / 10000);

    QuoteLine quote;
    quote.symbol = symbol;
    quote.last = last / 100.0;
    quote.date = QDate(2024, 6, 7);
    quote.time = QTime(16, 0);
    quote.change = change / 100.0;
    quote.open = open / 100.0;
    quote.high = high / 100.0;
    quote.low = low / 100.0;
    quote.volume = rng.between(1000, 200000) * 100;
    return quote;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream err(stderr);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 3) {
        err << "usage: tarnvale-mkquotes OUT.csv SYMBOLS.txt...\n";
        return 2;
    }

    QByteArray text;
    text += "# SAMPLE DATA: made-up quotes for trying Tarnvale without a quote service.\n"
            "# They are not real market prices.\n"
            "#\n"
            "# tarnvale-quoted answers from this file and re-reads it when it changes.\n"
            "# One quote a line; date yyyy-MM-dd, time HH:mm, N/A or empty for a\n"
            "# missing value (all but symbol and last), \".\" as the decimal point.\n";
    text += quoteSnapshotHeader() + '\n';

    QSet<QByteArray> seen;
    for (qsizetype i = 2; i < args.size(); ++i) {
        QFile list(args[i]);
        if (!list.open(QIODevice::ReadOnly | QIODevice::Text)) {
            err << args[i] << ": " << list.errorString() << '\n';
            return 1;
        }
        while (!list.atEnd()) {
            const QByteArray symbol = list.readLine().split('#').first().trimmed();
            if (symbol.isEmpty() || seen.contains(quoteSymbolKey(symbol)))
                continue;
            seen.insert(quoteSymbolKey(symbol));
            text += quoteSnapshotRow(sampleQuote(symbol)) + '\n';
        }
    }

    // The file must read back whole; a symbol the snapshot cannot hold is an
    // error in the list, not something to ship.
    QStringList warnings;
    QString why;
    const std::optional<QuoteSnapshot> check = parseQuoteSnapshot(text, &warnings, &why);
    if (!check || !warnings.isEmpty()) {
        err << "tarnvale-mkquotes: " << (check ? warnings.join(QStringLiteral("; ")) : why) << '\n';
        return 1;
    }

    const QString out = args[1];
    QDir().mkpath(QFileInfo(out).absolutePath());
    QSaveFile file(out);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
        err << out << ": " << file.errorString() << '\n';
        return 1;
    }
    return 0;
}
