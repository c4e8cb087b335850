#pragma once

#include "app/Prompter.h"

#include <QPointer>
#include <QWidget>

// Prompter that shows QMessageBox and QInputDialog over a parent window.
class DialogPrompter : public Prompter
{
public:
    explicit DialogPrompter(QWidget *parent) : m_parent(parent) {}

    void message(const QString &text, Icon icon) override;
    bool askYesNo(const QString &text) override;
    QString input(const QString &prompt, const QString &title, const QString &defaultText) override;

private:
    QPointer<QWidget> m_parent;
};
