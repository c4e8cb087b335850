#include "history/HistoryImport.h"

#include "history/HistoryStore.h"
#include "history/StooqNames.h"
#include "market/MarketStore.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <memory>
#include <vector>

namespace {

constexpr QByteArrayView kHeader = "<TICKER>,<PER>,<DATE>,<TIME>,<OPEN>,<HIGH>,<LOW>,<CLOSE>,<VOL>,<OPENINT>";
constexpr QByteArrayView kSuffix = ".us";
constexpr int kFields = 10;
constexpr qsizetype kReadChunk = 1 << 20;

bool isDataFile(QByteArrayView name)
{
    return name.size() >= 4 && name.last(4).compare(".txt", Qt::CaseInsensitive) == 0;
}

// Where the files come from: one after another, each whole in memory.
class FileSource
{
public:
    enum class Step { File, End, Failed };
    virtual ~FileSource() = default;
    virtual int total() const = 0;
    // The next data file's name and bytes, End after the last one, or Failed
    // with why (name then holds the file that could not be read).
    virtual Step next(QString *name, QByteArray *bytes, QString *why) = 0;
};

class ListSource : public FileSource
{
public:
    ListSource(QString base, QStringList paths)
        : m_base(std::move(base))
        , m_paths(std::move(paths))
    {}
    int total() const override { return int(m_paths.size()); }
    Step next(QString *name, QByteArray *bytes, QString *why) override
    {
        if (m_next >= m_paths.size())
            return Step::End;
        const QString path = m_paths[m_next++];
        *name = m_base.isEmpty() ? QFileInfo(path).fileName() : QDir(m_base).relativeFilePath(path);
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            *why = file.errorString();
            return Step::Failed;
        }
        bytes->resize(file.size());
        if (file.read(bytes->data(), file.size()) != file.size() || !file.atEnd()) {
            *why = file.errorString();
            return Step::Failed;
        }
        return Step::File;
    }

private:
    QString m_base;
    QStringList m_paths;
    qsizetype m_next = 0;
};

struct ArchiveFree
{
    void operator()(archive *a) const { archive_read_free(a); }
};
using ArchiveHandle = std::unique_ptr<archive, ArchiveFree>;

QString archiveError(archive *a)
{
    const char *text = archive_error_string(a);
    return QStringLiteral("cut or damaged: %1").arg(text ? QString::fromUtf8(text) : QStringLiteral("unreadable data"));
}

// directoryOnly reads the zip's directory at its end, which lists every file
// without reading them; a cut archive has none. Otherwise the directory is
// used when there is one, and a cut archive is read from its start as far as
// it goes.
ArchiveHandle openZip(const QString &path, bool directoryOnly, QString *why = nullptr)
{
    ArchiveHandle a(archive_read_new());
    if (directoryOnly)
        archive_read_support_format_zip_seekable(a.get());
    else
        archive_read_support_format_zip(a.get());
    if (archive_read_open_filename(a.get(), QFile::encodeName(path).constData(), size_t(kReadChunk)) != ARCHIVE_OK) {
        if (why)
            *why = archiveError(a.get());
        return ArchiveHandle();
    }
    return a;
}

class ZipSource : public FileSource
{
public:
    explicit ZipSource(const QString &path)
        : m_path(path)
    {
        if (ArchiveHandle listing = openZip(path, true)) {
            archive_entry *entry = nullptr;
            int counted = 0;
            int status = ARCHIVE_OK;
            while ((status = archive_read_next_header(listing.get(), &entry)) == ARCHIVE_OK) {
                if (archive_entry_filetype(entry) == AE_IFREG && isDataFile(archive_entry_pathname(entry)))
                    ++counted;
            }
            m_listed = status == ARCHIVE_EOF;
            m_total = m_listed ? counted : 0;
        }
        m_archive = openZip(path, false, &m_openError);
    }
    int total() const override { return m_total; }
    Step next(QString *name, QByteArray *bytes, QString *why) override
    {
        if (!m_archive) {
            *name = QFileInfo(m_path).fileName();
            *why = m_openError;
            return Step::Failed;
        }
        archive *a = m_archive.get();
        for (;;) {
            archive_entry *entry = nullptr;
            const int status = archive_read_next_header(a, &entry);
            if (status == ARCHIVE_EOF && !m_listed) {
                // Every file up to here was whole, but the directory that
                // should follow them is missing: the download stopped short.
                *name = QFileInfo(m_path).fileName();
                *why = QStringLiteral("cut or damaged: the archive ends without its directory of files");
                return Step::Failed;
            }
            if (status == ARCHIVE_EOF)
                return Step::End;
            if (status < ARCHIVE_WARN) {
                *name = m_lastName.isEmpty() ? QFileInfo(m_path).fileName() : m_lastName;
                *why = archiveError(a);
                return Step::Failed;
            }
            const char *path = archive_entry_pathname_utf8(entry);
            *name = QString::fromUtf8(path ? path : archive_entry_pathname(entry));
            m_lastName = *name;
            if (archive_entry_filetype(entry) != AE_IFREG || !isDataFile(name->toUtf8()))
                continue; // folders and anything else are skipped by the next header
            // One byte more than the entry claims, so that its end is read
            // without growing the buffer.
            const qsizetype expected = archive_entry_size_is_set(entry) ? qsizetype(archive_entry_size(entry)) + 1 : 0;
            bytes->resize(std::max(expected, kReadChunk));
            qsizetype used = 0;
            for (;;) {
                if (used == bytes->size())
                    bytes->resize(bytes->size() * 2);
                const la_ssize_t n = archive_read_data(a, bytes->data() + used, size_t(bytes->size() - used));
                if (n < 0) {
                    *why = archiveError(a);
                    return Step::Failed;
                }
                if (n == 0)
                    break;
                used += qsizetype(n);
            }
            bytes->resize(used);
            return Step::File;
        }
    }

private:
    QString m_path;
    ArchiveHandle m_archive;
    QString m_openError;
    QString m_lastName;
    int m_total = 0;
    bool m_listed = false;
};

std::unique_ptr<FileSource> sourceFor(const QString &path)
{
    const QFileInfo info(path);
    if (info.isDir()) {
        QStringList paths;
        QDirIterator it(path, {QStringLiteral("*.txt"), QStringLiteral("*.TXT")}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            paths.append(it.next());
        paths.sort(); // the same order on every run
        return std::make_unique<ListSource>(path, paths);
    }
    if (isDataFile(path.toUtf8()) || !info.exists())
        return std::make_unique<ListSource>(QString(), QStringList{path});
    return std::make_unique<ZipSource>(path);
}

template <typename T> bool numberOf(QByteArrayView field, T *value)
{
    const char *end = field.data() + field.size();
    const auto [ptr, ec] = std::from_chars(field.data(), end, *value);
    return ec == std::errc() && ptr == end;
}

QDate dateOf(QByteArrayView field)
{
    if (field.size() != 8)
        return {};
    int digits[8];
    for (int i = 0; i < 8; ++i) {
        digits[i] = field[i] - '0';
        if (digits[i] < 0 || digits[i] > 9)
            return {};
    }
    const int year = digits[0] * 1000 + digits[1] * 100 + digits[2] * 10 + digits[3];
    return QDate(year, digits[4] * 10 + digits[5], digits[6] * 10 + digits[7]);
}

// Reads one file into bars by symbol; maps each ticker to the market files'
// spelling once per run of rows, as a file holds one ticker throughout.
class FileParser
{
public:
    explicit FileParser(const std::optional<QSet<QString>> &wanted)
    {
        if (wanted) {
            m_byName.emplace();
            for (const QString &symbol : *wanted)
                m_byName->insert(upstreamName(symbol.toLatin1(), kSuffix), symbol);
            m_byName->remove(QByteArray());
        }
    }

    bool parse(QByteArrayView text, QHash<QString, BarSeries> *out, int *skipped, QString *why)
    {
        out->clear();
        *skipped = 0;
        m_skippedTickers.clear();
        if (text.isEmpty())
            return true; // the archive has files of symbols without sessions
        qsizetype pos = 0;
        int line = 0;
        BarSeries *series = nullptr;
        QByteArray ticker;
        QByteArrayView fields[kFields];
        while (pos < text.size()) {
            qsizetype end = text.indexOf('\n', pos);
            if (end < 0)
                end = text.size();
            QByteArrayView row = text.sliced(pos, end - pos);
            pos = end + 1;
            ++line;
            if (row.endsWith('\r'))
                row.chop(1);
            if (line == 1) {
                if (row.startsWith("\xEF\xBB\xBF"))
                    row = row.sliced(3);
                if (row != kHeader) {
                    *why = QStringLiteral("not a stooq daily file (the first line is not %1)")
                               .arg(QLatin1StringView(kHeader));
                    return false;
                }
                continue;
            }
            if (row.isEmpty())
                continue;
            int count = 0;
            qsizetype start = 0;
            for (qsizetype i = 0; i <= row.size() && count < kFields; ++i) {
                if (i == row.size() || row[i] == ',') {
                    fields[count++] = row.sliced(start, i - start);
                    start = i + 1;
                }
            }
            if (count != kFields || start <= row.size())
                return fail(why, line, QStringLiteral("not %1 fields").arg(kFields));
            if (fields[1] != "D")
                return fail(why, line, QStringLiteral("not a daily row"));
            if (fields[0] != ticker) {
                ticker = fields[0].toByteArray();
                const QString symbol = symbolOf(ticker);
                series = symbol.isEmpty() ? nullptr : &(*out)[symbol];
                if (!series && !m_skippedTickers.contains(ticker)) {
                    m_skippedTickers.insert(ticker);
                    ++*skipped;
                }
            }
            if (!series)
                continue;
            DailyBar bar;
            bar.date = dateOf(fields[2]);
            double volume = 0;
            if (!bar.date.isValid() || !numberOf(fields[4], &bar.open) || !numberOf(fields[5], &bar.high)
                || !numberOf(fields[6], &bar.low) || !numberOf(fields[7], &bar.close) || !numberOf(fields[8], &volume)
                || !std::isfinite(volume) || volume < 0)
                return fail(why, line, QStringLiteral("a date or number that cannot be read"));
            bar.volume = qint64(std::llround(volume));
            series->push_back(bar);
        }
        for (BarSeries &bars : *out)
            inDateOrder(bars);
        return true;
    }

private:
    static bool fail(QString *why, int line, const QString &what)
    {
        *why = QStringLiteral("line %1: %2").arg(line).arg(what);
        return false;
    }

    QString symbolOf(const QByteArray &ticker) const
    {
        if (m_byName)
            return m_byName->value(ticker.toLower());
        return QString::fromLatin1(symbolOfUpstreamName(ticker, kSuffix));
    }

    // Ascending dates, one bar a date (the later row wins); the files come
    // sorted, so this is usually one pass that changes nothing.
    static void inDateOrder(BarSeries &bars)
    {
        const auto before = [](const DailyBar &a, const DailyBar &b) { return a.date < b.date; };
        const auto after = [](const DailyBar &a, const DailyBar &b) { return !(a.date < b.date); };
        if (std::adjacent_find(bars.begin(), bars.end(), after) == bars.end())
            return;
        std::stable_sort(bars.begin(), bars.end(), before);
        BarSeries unique;
        for (const DailyBar &bar : bars) {
            if (!unique.empty() && unique.back().date == bar.date)
                unique.back() = bar;
            else
                unique.push_back(bar);
        }
        bars.swap(unique);
    }

    std::optional<QHash<QByteArray, QString>> m_byName; // upstream name -> market symbol
    QSet<QByteArray> m_skippedTickers;
};

} // namespace

HistoryImport::HistoryImport(QString source, QString storePath)
    : m_source(std::move(source))
    , m_storePath(std::move(storePath))
{}

void HistoryImport::setWanted(const QSet<QString> &symbols)
{
    m_wanted = symbols;
}

void HistoryImport::setProgressHandler(std::function<void(const Progress &)> handler)
{
    m_progress = std::move(handler);
}

HistoryImport::Result HistoryImport::run()
{
    Result result;
    std::unique_ptr<HistoryStore> store = HistoryStore::open(m_storePath, HistoryStore::Mode::ReadWrite, &result.error);
    if (!store)
        return result;

    std::unique_ptr<FileSource> source = sourceFor(m_source);
    FileParser parser(m_wanted);
    Progress progress;
    progress.filesTotal = source->total();
    QSet<QString> stored;
    QByteArray bytes; // reused: resizing it never clears its bytes
    QHash<QString, BarSeries> bySymbol;
    QString name;
    QString why;
    for (;;) {
        if (m_cancel.load(std::memory_order_relaxed)) {
            result.cancelled = true;
            break;
        }
        const FileSource::Step step = source->next(&name, &bytes, &why);
        if (step == FileSource::Step::End) {
            result.ok = true;
            break;
        }
        int skipped = 0;
        if (step == FileSource::Step::Failed || !parser.parse(bytes, &bySymbol, &skipped, &why)) {
            result.failedEntry = name;
            result.error = why;
            break;
        }
        result.skipped += skipped;
        qint64 rows = 0;
        for (const BarSeries &bars : std::as_const(bySymbol))
            rows += qint64(bars.size());
        if (m_cancel.load(std::memory_order_relaxed)) {
            result.cancelled = true;
            break;
        }
        if (rows > 0 && !store->addBars(bySymbol, &why)) {
            result.failedEntry = name;
            result.error = why;
            break;
        }
        for (auto it = bySymbol.cbegin(); it != bySymbol.cend(); ++it) {
            if (!it->empty())
                stored.insert(it.key());
        }
        result.rows += rows;
        ++result.files;
        progress.filesDone = result.files;
        progress.rows = result.rows;
        if (m_progress)
            m_progress(progress);
    }
    result.symbols = int(stored.size());
    return result;
}

std::optional<QSet<QString>> HistoryImport::marketSymbols(const QString &dataFolder, const QString &seedFolder,
                                                          QString *error)
{
    QSet<QString> symbols;
    for (const QString &fileName : marketFileNames()) {
        QString path = QDir(dataFolder).filePath(fileName);
        if (!QFileInfo::exists(path) && !seedFolder.isEmpty())
            path = QDir(seedFolder).filePath(fileName);
        if (!QFileInfo::exists(path))
            continue;
        MarketDatabase db;
        QString why;
        if (!readMarketFile(path, &db, &why)) {
            if (error)
                *error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), why);
            return std::nullopt;
        }
        for (qsizetype i = 0; i < db.listedCount(); ++i)
            symbols.insert(db.Stocks[i].Symbol.trimmed());
    }
    return symbols;
}
