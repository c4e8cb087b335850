#include "InstalledDriver.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTextStream>
#include <QTimer>

InstalledDriver::InstalledDriver()
{
    m_steps = qEnvironmentVariable("TARNVALE_DRIVER_STEPS").split(u',', Qt::SkipEmptyParts);
    m_reportPath = qEnvironmentVariable("TARNVALE_DRIVER_REPORT");
    qApp->installEventFilter(this);
    // Runs once the program has built its main window and entered its loop.
    QTimer::singleShot(0, this, &InstalledDriver::runSteps);
}

void InstalledDriver::write(const QString &line)
{
    QFile report(m_reportPath);
    if (report.open(QIODevice::Append | QIODevice::Text))
        QTextStream(&report) << QString(line).replace(u'\n', QStringLiteral(" | ")) << '\n';
}

void InstalledDriver::trigger(QWidget *main, const QString &action)
{
    auto *item = main->findChild<QAction *>(action);
    if (!item) {
        write(QStringLiteral("error=no action ") + action);
        return;
    }
    item->trigger();
}

void InstalledDriver::runSteps()
{
    QWidget *main = nullptr;
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget *w : windows) {
        if (w->objectName() == QLatin1String("frmMain"))
            main = w;
    }
    if (!main) {
        write(QStringLiteral("error=no main window"));
        QCoreApplication::exit(3);
        return;
    }
    for (const QString &step : std::as_const(m_steps)) {
        const QString verb = step.section(u':', 0, 0);
        const QString arg = step.section(u':', 1);
        if (verb == QLatin1String("open")) {
            trigger(main,
                    arg == QLatin1String("NYSE") ? QStringLiteral("mnuOpen_NYSE") : QStringLiteral("mnuOpen_Nasdaq"));
        } else if (verb == QLatin1String("add")) {
            m_typed = arg;
            trigger(main, QStringLiteral("mnuMarket_AddSymbol")); // returns once its dialogs are answered
        } else if (verb == QLatin1String("report")) {
            const auto *caption = main->findChild<QLabel *>(QStringLiteral("lblDBInfo"));
            write(QStringLiteral("caption=") + (caption ? caption->text() : QString()));
            write(QStringLiteral("file=") + (caption ? caption->toolTip() : QString()));
        } else if (verb == QLatin1String("quit")) {
            trigger(main, QStringLiteral("mnuMenu_Exit"));
        }
    }
}

bool InstalledDriver::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::Show)
        return false;
    // Answers each dialog once it is up, from the dialog's own loop.
    if (auto *input = qobject_cast<QInputDialog *>(watched)) {
        QTimer::singleShot(0, input, [input, text = m_typed] {
            input->setTextValue(text);
            input->accept();
        });
    } else if (auto *box = qobject_cast<QMessageBox *>(watched)) {
        write(QStringLiteral("message=") + box->text());
        QTimer::singleShot(0, box, [box] {
            if (QAbstractButton *ok = box->button(QMessageBox::Ok))
                ok->click();
            else
                box->reject();
        });
    }
    return false;
}

QObject *InstalledDriverPlugin::create(const QString &key, const QString &)
{
    return key.compare(QLatin1String("tarnvaletestdriver"), Qt::CaseInsensitive) == 0 ? new InstalledDriver : nullptr;
}
