// Import of stooq's U.S. daily archive into a new history store: a zip it
// writes itself of SYMBOLS files of DAYS sessions each (8,000 x 2,500, twenty
// million rows, like the real archive; target >= 500,000 rows/s). Smaller
// runs: bench_import SYMBOLS DAYS. Prints rows, seconds, rows/s and the
// store's bytes per row.
#include "common/BenchStats.h"

#include "history/HistoryImport.h"
#include "history/HistoryStore.h"

#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>

#include <archive.h>
#include <archive_entry.h>

#include <charconv>
#include <cstdint>

namespace {

void append(QByteArray &text, double value)
{
    char buffer[32];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 2).ptr;
    text.append(buffer, end - buffer);
}

void append(QByteArray &text, qint64 value)
{
    char buffer[24];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    text.append(buffer, end - buffer);
}

// One symbol's file as stooq writes it: a random walk over weekdays.
QByteArray symbolFile(const QByteArray &ticker, int days, std::uint64_t seed)
{
    QByteArray text = "<TICKER>,<PER>,<DATE>,<TIME>,<OPEN>,<HIGH>,<LOW>,<CLOSE>,<VOL>,<OPENINT>\r\n";
    text.reserve(days * 72);
    auto next = [&seed] {
        seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        return double(seed >> 11) / double(1ull << 53);
    };
    double close = 10 + 200 * next();
    QDate date(2015, 1, 5);
    for (int i = 0; i < days; ++i, date = date.addDays(date.dayOfWeek() == 5 ? 3 : 1)) {
        const double open = close * (0.99 + 0.02 * next());
        close = close * (0.97 + 0.06 * next());
        text += ticker;
        text += ",D,";
        append(text, qint64(date.year() * 10000 + date.month() * 100 + date.day()));
        text += ",000000,";
        append(text, open);
        text += ',';
        append(text, std::max(open, close) * (1 + 0.01 * next()));
        text += ',';
        append(text, std::min(open, close) * (1 - 0.01 * next()));
        text += ',';
        append(text, close);
        text += ',';
        append(text, qint64(100000 + 5000000 * next()));
        text += ",0\r\n";
    }
    return text;
}

bool writeArchive(const QString &path, int symbols, int days, qint64 *bytes)
{
    archive *a = archive_write_new();
    bool ok = archive_write_set_format_zip(a) == ARCHIVE_OK
              && archive_write_open_filename(a, QFile::encodeName(path).constData()) == ARCHIVE_OK;
    for (int s = 0; ok && s < symbols; ++s) {
        const QByteArray ticker = "S" + QByteArray::number(s, 36).toUpper() + ".US";
        const QByteArray text = symbolFile(ticker, days, std::uint64_t(s) + 1);
        *bytes += text.size();
        archive_entry *entry = archive_entry_new();
        const QByteArray name = "data/daily/us/nasdaq stocks/" + ticker.toLower() + ".txt";
        archive_entry_set_pathname(entry, name.constData());
        archive_entry_set_filetype(entry, AE_IFREG);
        archive_entry_set_perm(entry, 0644);
        archive_entry_set_size(entry, text.size());
        ok = archive_write_header(a, entry) == ARCHIVE_OK
             && archive_write_data(a, text.constData(), size_t(text.size())) == text.size();
        archive_entry_free(entry);
    }
    ok = archive_write_close(a) == ARCHIVE_OK && ok;
    archive_write_free(a);
    return ok;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const int symbols = args.size() > 1 ? args[1].toInt() : 8000;
    const int days = args.size() > 2 ? args[2].toInt() : 2500;
    QTextStream out(stdout);
    if (symbols < 1 || days < 1) {
        out << "usage: bench_import [SYMBOLS [DAYS]]\n";
        return 2;
    }
    QTemporaryDir dir;
    const QString zip = dir.filePath(QStringLiteral("d_us_txt.zip"));
    qint64 textBytes = 0;
    const double writeMs = timeMs([&] { writeArchive(zip, symbols, days, &textBytes); });
    out << "archive: " << symbols << " symbols x " << days << " sessions, " << QFileInfo(zip).size() / 1048576
        << " MiB zipped, " << textBytes / 1048576 << " MiB of text, written in "
        << QString::number(writeMs / 1000, 'f', 1) << " s\n";
    out.flush();

    const QString storePath = dir.filePath(QStringLiteral("history.sqlite"));
    HistoryImport job(zip, storePath);
    HistoryImport::Result result;
    const double cpuBefore = cpuSeconds(RUSAGE_SELF);
    const double ms = timeMs([&] { result = job.run(); });
    const double cpu = cpuSeconds(RUSAGE_SELF) - cpuBefore;
    if (!result.ok) {
        out << "import failed: " << result.failedEntry << ": " << result.error << '\n';
        return 1;
    }
    qint64 storeBytes = 0;
    for (const QString &suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")})
        storeBytes += QFileInfo(storePath + suffix).size();
    const double seconds = ms / 1000;
    out << "import: " << result.rows << " rows of " << result.symbols << " symbols in "
        << QString::number(seconds, 'f', 2) << " s (" << QString::number(cpu, 'f', 2) << " s CPU)\n";
    out << "rate:   " << QString::number(result.rows / seconds, 'f', 0) << " rows/s (target >= 500000)\n";
    out << "store:  " << storeBytes / 1048576 << " MiB, " << QString::number(double(storeBytes) / result.rows, 'f', 1)
        << " bytes per row\n";
    return 0;
}
