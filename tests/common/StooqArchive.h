#pragma once

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QPair>
#include <QString>

#include <archive.h>
#include <archive_entry.h>

// Files shaped like stooq's U.S. daily archive, for the import's tests and
// benchmark.

// A ticker's file: the header, then one row per weekday from first on.
inline QByteArray stooqFile(const QByteArray &ticker, int rows, QDate first = QDate(2020, 1, 6))
{
    QByteArray text = "<TICKER>,<PER>,<DATE>,<TIME>,<OPEN>,<HIGH>,<LOW>,<CLOSE>,<VOL>,<OPENINT>\r\n";
    QDate date = first;
    for (int i = 0; i < rows; ++i, date = date.addDays(date.dayOfWeek() == 5 ? 3 : 1)) {
        const double close = 100.0 + (i * 37 % 101) / 4.0;
        text += ticker + ",D," + date.toString(u"yyyyMMdd").toLatin1() + ",000000," + QByteArray::number(close - 0.5)
                + ',' + QByteArray::number(close + 1.25) + ',' + QByteArray::number(close - 1.75) + ','
                + QByteArray::number(close) + ',' + QByteArray::number(1000 + i) + ",0\r\n";
    }
    return text;
}

// Writes the (name, bytes) entries as a deflated zip; false when that failed.
inline bool writeZip(const QString &path, const QList<QPair<QString, QByteArray>> &entries)
{
    archive *a = archive_write_new();
    bool ok = archive_write_set_format_zip(a) == ARCHIVE_OK
              && archive_write_open_filename(a, path.toLocal8Bit().constData()) == ARCHIVE_OK;
    for (const auto &[name, bytes] : entries) {
        if (!ok)
            break;
        archive_entry *entry = archive_entry_new();
        archive_entry_set_pathname(entry, name.toUtf8().constData());
        archive_entry_set_filetype(entry, AE_IFREG);
        archive_entry_set_perm(entry, 0644);
        archive_entry_set_size(entry, bytes.size());
        ok = archive_write_header(a, entry) == ARCHIVE_OK
             && archive_write_data(a, bytes.constData(), size_t(bytes.size())) == bytes.size();
        archive_entry_free(entry);
    }
    ok = archive_write_close(a) == ARCHIVE_OK && ok;
    archive_write_free(a);
    return ok;
}
