#include "widgets/DialogPrompter.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QRegularExpression>

namespace {
const QString kTitle = QStringLiteral("Tarnvale");
}

void DialogPrompter::message(const QString &text, Icon icon)
{
    const QMessageBox::Icon boxIcon = icon == Icon::Information ? QMessageBox::Information
                                      : icon == Icon::Question  ? QMessageBox::Question
                                                                : QMessageBox::Warning;
    QMessageBox box(boxIcon, kTitle, text, QMessageBox::Ok, m_parent);
    box.exec();
}

bool DialogPrompter::askYesNo(const QString &text)
{
    QMessageBox box(QMessageBox::Question, kTitle, text, QMessageBox::Yes | QMessageBox::No, m_parent);
    return box.exec() == QMessageBox::Yes;
}

QString DialogPrompter::input(const QString &prompt, const QString &title, const QString &defaultText)
{
    bool ok = false;
    const QString text = QInputDialog::getText(m_parent, title, prompt, QLineEdit::Normal, defaultText, &ok);
    return ok ? text : QString();
}

QString DialogPrompter::saveFileName(const QString &caption, const QString &defaultPath, const QString &filter)
{
    // The dialog asks before replacing a file that exists; a name typed
    // without an extension gets the filter's.
    const QFileInfo start(defaultPath);
    QFileDialog dialog(m_parent, caption, start.absolutePath(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.selectFile(start.fileName());
    const QRegularExpressionMatch suffix = QRegularExpression(QStringLiteral("\\*\\.(\\w+)")).match(filter);
    if (suffix.hasMatch())
        dialog.setDefaultSuffix(suffix.captured(1));
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    return dialog.selectedFiles().value(0);
}

QString DialogPrompter::openFileName(const QString &caption, const QString &startDirectory, const QString &filter)
{
    return QFileDialog::getOpenFileName(m_parent, caption, startDirectory, filter);
}

QString DialogPrompter::existingFolder(const QString &caption, const QString &startDirectory)
{
    return QFileDialog::getExistingDirectory(m_parent, caption, startDirectory);
}

QString DialogPrompter::chooseItem(const QString &prompt, const QString &title, const QStringList &items)
{
    // Editable, so that a long list is searched by typing; only an item of
    // the list counts as chosen.
    bool ok = false;
    const QString item = QInputDialog::getItem(m_parent, title, prompt, items, 0, true, &ok);
    return ok && items.contains(item) ? item : QString();
}
