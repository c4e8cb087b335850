#pragma once

#include "app/Prompter.h"

#include <QList>
#include <QStringList>

// Answers message and input boxes from queued replies and records what the
// program showed, so tests can read every text.
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

    QString lastText() const { return messages.isEmpty() ? QString() : messages.last().text; }
};
