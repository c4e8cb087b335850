#pragma once

#include <QString>
#include <QStringList>

// Every message box and input box of the program goes through this, so that
// tests can answer them and read their texts. The real one shows modal
// dialogs titled "Tarnvale".
class Prompter
{
public:
    enum class Icon { Information, Exclamation, Question };

    virtual ~Prompter() = default;

    // One OK button.
    virtual void message(const QString &text, Icon icon) = 0;
    // Yes and No buttons, question icon; true for Yes.
    virtual bool askYesNo(const QString &text) = 0;
    // An input box; Cancel gives an empty text.
    virtual QString input(const QString &prompt, const QString &title, const QString &defaultText = QString()) = 0;
    // A file dialog asking where to write a file, starting at defaultPath;
    // filter as in "CSV files (*.csv)". Cancel gives an empty text, as does a
    // prompter that cannot ask.
    virtual QString saveFileName(const QString &caption, const QString &defaultPath, const QString &filter)
    {
        Q_UNUSED(caption)
        Q_UNUSED(defaultPath)
        Q_UNUSED(filter)
        return QString();
    }
    // A file dialog asking for a file to read, starting in startDirectory;
    // filter as above. Cancel gives an empty text, as does a prompter that
    // cannot ask.
    virtual QString openFileName(const QString &caption, const QString &startDirectory, const QString &filter)
    {
        Q_UNUSED(caption)
        Q_UNUSED(startDirectory)
        Q_UNUSED(filter)
        return QString();
    }
    // A dialog asking for a folder to read. Cancel gives an empty text, as
    // does a prompter that cannot ask.
    virtual QString existingFolder(const QString &caption, const QString &startDirectory)
    {
        Q_UNUSED(caption)
        Q_UNUSED(startDirectory)
        return QString();
    }
    // A list to pick one item from; Cancel gives an empty text, as does a
    // prompter that cannot ask.
    virtual QString chooseItem(const QString &prompt, const QString &title, const QStringList &items)
    {
        Q_UNUSED(prompt)
        Q_UNUSED(title)
        Q_UNUSED(items)
        return QString();
    }
};
