#pragma once

#include <QString>

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
};
