#pragma once

#include "widgets/Prompter.h"

#include <QPointer>
#include <QWidget>

// Prompter that shows QMessageBox, QInputDialog and QFileDialog over a parent
// window.
class DialogPrompter : public Prompter
{
public:
    explicit DialogPrompter(QWidget *parent)
        : m_parent(parent)
    {}

    void message(const QString &text, Icon icon) override;
    bool askYesNo(const QString &text) override;
    QString input(const QString &prompt, const QString &title, const QString &defaultText) override;
    QString saveFileName(const QString &caption, const QString &defaultPath, const QString &filter) override;
    QString openFileName(const QString &caption, const QString &startDirectory, const QString &filter) override;
    QString existingFolder(const QString &caption, const QString &startDirectory) override;
    QString chooseItem(const QString &prompt, const QString &title, const QStringList &items) override;

private:
    QPointer<QWidget> m_parent;
};
