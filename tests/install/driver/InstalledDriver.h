#pragma once

#include <QGenericPlugin>
#include <QStringList>

class QWidget;

// Drives an installed copy of the program from inside its own process, the
// way a user would through its menus and dialogs. Qt loads it into the
// program as a generic plugin (QT_QPA_GENERIC_PLUGINS), so the program under
// test is exactly the installed executable.
//
// TARNVALE_DRIVER_STEPS: steps separated by ",":
//   open:NASDAQ | open:NYSE   choose the market from "Market" > "Open Market"
//   add:SYMBOL                "Database" > "Add Symbol", typing SYMBOL
//   report                    write the status caption and its file
//   quit                      "Market" > "Exit"
// TARNVALE_DRIVER_REPORT: file that receives "caption=", "file=" and
// "message=" lines.
class InstalledDriver : public QObject
{
    Q_OBJECT

public:
    InstalledDriver();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void runSteps();
    void trigger(QWidget *main, const QString &action);
    void write(const QString &line);

    QStringList m_steps;
    QString m_reportPath;
    QString m_typed;
};

class InstalledDriverPlugin : public QGenericPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "driver.json")

public:
    QObject *create(const QString &key, const QString &parameters) override;
};
