#include "app/ImportHistory.h"

#include "history/HistoryStore.h"
#include "widgets/Prompter.h"

#include <QDir>
#include <QLocale>
#include <QProgressDialog>
#include <QStandardPaths>
#include <QThread>

namespace {

const QString kTitle = QStringLiteral("Import History");
const QString kFromFile = QStringLiteral("The downloaded archive (.zip) or one of its files (.txt)");
const QString kFromFolder = QStringLiteral("A folder unpacked from the archive");

QString counted(qint64 n, const char *one, const char *many)
{
    return QStringLiteral("%1 %2").arg(QLocale().toString(n), QLatin1StringView(n == 1 ? one : many));
}

} // namespace

ImportHistory::ImportHistory(QWidget *window, Prompter &prompter, QString dataFolder, QString seedFolder)
    : QObject(window)
    , m_window(window)
    , m_prompter(prompter)
    , m_dataFolder(std::move(dataFolder))
    , m_seedFolder(std::move(seedFolder))
{}

ImportHistory::~ImportHistory()
{
    if (m_thread) {
        // Stops before the next file; the one being read is left out.
        m_job->cancel();
        m_thread->wait();
        delete m_thread;
    }
}

void ImportHistory::ask()
{
    if (isRunning())
        return;
    const QString from = m_prompter.chooseItem(QStringLiteral("Import stooq's U.S. daily history from:"), kTitle,
                                               {kFromFile, kFromFolder});
    const QString downloads = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    QString source;
    if (from == kFromFile)
        source = m_prompter.openFileName(kTitle, downloads, QStringLiteral("stooq daily history (*.zip *.txt)"));
    else if (from == kFromFolder)
        source = m_prompter.existingFolder(kTitle, downloads);
    if (!source.isEmpty())
        start(source);
}

void ImportHistory::start(const QString &source)
{
    if (isRunning())
        return;
    QString why;
    const std::optional<QSet<QString>> symbols = HistoryImport::marketSymbols(m_dataFolder, m_seedFolder, &why);
    if (!symbols) {
        m_prompter.message(QStringLiteral("The market files could not be read. %1").arg(why),
                           Prompter::Icon::Exclamation);
        return;
    }
    m_job = std::make_unique<HistoryImport>(source, historyStorePath(m_dataFolder));
    m_job->setWanted(*symbols);
    // Called on the worker: the dialog is updated on this object's thread.
    m_job->setProgressHandler([this](const HistoryImport::Progress &progress) {
        QMetaObject::invokeMethod(
            this, [this, progress] { showProgress(progress); }, Qt::QueuedConnection);
    });

    m_dialog =
        new QProgressDialog(QStringLiteral("Importing history from \"%1\"...").arg(QDir::toNativeSeparators(source)),
                            QStringLiteral("Cancel"), 0, 0, m_window);
    m_dialog->setObjectName(QStringLiteral("dlgImportHistory"));
    m_dialog->setWindowTitle(kTitle);
    m_dialog->setWindowModality(Qt::WindowModal);
    m_dialog->setAutoClose(false);
    m_dialog->setAutoReset(false);
    m_dialog->setMinimumDuration(0);
    // The dialog hides at once; the worker ends after the file in progress,
    // which is then not stored, and the outcome is told.
    connect(m_dialog, &QProgressDialog::canceled, this, [this] {
        if (m_job)
            m_job->cancel();
    });
    m_dialog->show();

    HistoryImport *job = m_job.get();
    m_thread = QThread::create([this, job] { m_result = job->run(); });
    connect(m_thread, &QThread::finished, this, &ImportHistory::done);
    m_thread->start();
}

void ImportHistory::showProgress(const HistoryImport::Progress &progress)
{
    if (!m_dialog || m_dialog->wasCanceled())
        return;
    m_dialog->setMaximum(progress.filesTotal);
    m_dialog->setValue(progress.filesTotal > 0 ? progress.filesDone : 0);
    m_dialog->setLabelText(
        QStringLiteral("Imported %1 of %2, %3.")
            .arg(QLocale().toString(progress.filesDone),
                 progress.filesTotal > 0 ? QLocale().toString(progress.filesTotal) : QStringLiteral("?"),
                 counted(progress.rows, "row", "rows")));
}

void ImportHistory::done()
{
    m_thread->deleteLater();
    m_thread = nullptr;
    m_job.reset();
    if (m_dialog)
        m_dialog->deleteLater();
    const HistoryImport::Result result = m_result;
    m_prompter.message(outcomeMessage(result),
                       result.ok || result.cancelled ? Prompter::Icon::Information : Prompter::Icon::Exclamation);
    emit finished(result);
}

QString ImportHistory::outcomeMessage(const HistoryImport::Result &result)
{
    const QString stored = QStringLiteral("%1 with %2 from %3")
                               .arg(counted(result.symbols, "symbol", "symbols"), counted(result.rows, "row", "rows"),
                                    counted(result.files, "file", "files"));
    QString text;
    if (result.ok)
        text = QStringLiteral("The history was imported: %1.").arg(stored);
    else if (result.cancelled)
        text = QStringLiteral("The import was cancelled. Imported before that: %1; nothing of the file in progress.")
                   .arg(stored);
    else if (result.failedEntry.isEmpty())
        text = QStringLiteral("The history could not be imported. %1").arg(result.error);
    else
        text = QStringLiteral("\"%1\" could not be read (%2). Imported before it: %3; nothing of it.")
                   .arg(result.failedEntry, result.error, stored);
    if (result.skipped > 0)
        text +=
            QStringLiteral(" Left out, not in the market files: %1.").arg(counted(result.skipped, "symbol", "symbols"));
    return text;
}
