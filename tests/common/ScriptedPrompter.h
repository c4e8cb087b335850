#pragma once

#include "widgets/Prompter.h"

#include <QList>
#include <QStringList>

// Answers message and input boxes, file questions and lists from queued
// replies and records what the program showed, so tests can read every text.
class ScriptedPrompter : public Prompter
{
public:
    struct Shown
    {
        QString text;
        Icon icon;
    };

    QList<Shown> messages;
    QStringList inputPrompts;
    QStringList inputTitles;
    QStringList inputAnswers; // consumed in order; empty text (Cancel) when none left
    QList<bool> yesNoAnswers; // consumed in order; No when none left
    struct FileQuestion
    {
        QString caption;
        QString defaultPath;
        QString filter;
    };
    QList<FileQuestion> fileQuestions;
    QStringList saveFileAnswers;    // consumed in order; Cancel when none left
    QStringList openAnswers;        // files and folders to read, in order; Cancel when none left
    QList<QStringList> choiceLists; // the items of every list offered
    QStringList chooseAnswers;      // consumed in order; Cancel when none left

    void message(const QString &text, Icon icon) override { messages.append({text, icon}); }

    bool askYesNo(const QString &text) override
    {
        messages.append({text, Icon::Question});
        return yesNoAnswers.isEmpty() ? false : yesNoAnswers.takeFirst();
    }

    QString input(const QString &prompt, const QString &title, const QString &) override
    {
        inputPrompts.append(prompt);
        inputTitles.append(title);
        return inputAnswers.isEmpty() ? QString() : inputAnswers.takeFirst();
    }

    QString saveFileName(const QString &caption, const QString &defaultPath, const QString &filter) override
    {
        fileQuestions.append({caption, defaultPath, filter});
        return saveFileAnswers.isEmpty() ? QString() : saveFileAnswers.takeFirst();
    }

    QString openFileName(const QString &caption, const QString &startDirectory, const QString &filter) override
    {
        fileQuestions.append({caption, startDirectory, filter});
        return openAnswers.isEmpty() ? QString() : openAnswers.takeFirst();
    }

    QString existingFolder(const QString &caption, const QString &startDirectory) override
    {
        return openFileName(caption, startDirectory, QString());
    }

    QString chooseItem(const QString &prompt, const QString &title, const QStringList &items) override
    {
        inputPrompts.append(prompt);
        inputTitles.append(title);
        choiceLists.append(items);
        return chooseAnswers.isEmpty() ? QString() : chooseAnswers.takeFirst();
    }

    QString lastText() const { return messages.isEmpty() ? QString() : messages.last().text; }
};
