#pragma once

#include "history/HistoryImport.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

class Prompter;
class QProgressDialog;
class QThread;
class QWidget;

// "Database" > "Import History...": asks for stooq's daily archive (the zip,
// one of its .txt files, or a folder unpacked from it), imports the listed
// symbols into the history store beside the market files on a worker thread
// behind a progress dialog that can cancel, and tells the user how it went.
class ImportHistory : public QObject
{
    Q_OBJECT

public:
    // dataFolder holds the market files and the history store; seedFolder
    // the installed market files (empty when none).
    ImportHistory(QWidget *window, Prompter &prompter, QString dataFolder, QString seedFolder);
    // Cancels a running import and waits for the file in progress, which is
    // then not stored.
    ~ImportHistory() override;

    // Asks where to import from, then starts; nothing happens when the user
    // cancels a question.
    void ask();
    // Imports from source (an archive, a folder or a .txt file).
    void start(const QString &source);
    bool isRunning() const { return m_job != nullptr; }

    // What the user is told when an import has ended.
    static QString outcomeMessage(const HistoryImport::Result &result);

signals:
    void finished(const HistoryImport::Result &result);

private:
    void showProgress(const HistoryImport::Progress &progress);
    void done();

    QWidget *m_window;
    Prompter &m_prompter;
    QString m_dataFolder;
    QString m_seedFolder;
    std::unique_ptr<HistoryImport> m_job;
    HistoryImport::Result m_result;
    QThread *m_thread = nullptr;
    QPointer<QProgressDialog> m_dialog;
};
